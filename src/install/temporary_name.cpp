#include "install/temporary_name.h"

#include "base/file_io.h"
#include "base/text.h"

namespace setup {

bool FormTemporaryName(Platform& platform, const char* path, const char* extension, char* out,
                       uint32_t size) {
  // A path cut to fit would name another file.
  if (TextLength(path) >= size) return false;
  CopyText(out, size, path);
  if (!ReplaceExtension(out, size, extension)) return false;
  uint32_t last = TextLength(out) - 1;
  for (;;) {
    FileHandle existing = OpenForRead(platform, out);
    if (existing == kInvalidFile) return true;
    CloseFile(platform, &existing);
    if (out[last] >= 'Z') return false;
    ++out[last];
  }
}

}  // namespace setup
