// The uninstall log reader on an arbitrary uninstaller file, searched from its
// end and read at an offset the first two bytes choose.
//
// Checks: no crash or out-of-bounds read; a log found by the search reads the
// same at its own offset, and ends at the file's last 8 bytes.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "tools/pkgtool/uninstall_log_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> file(data, size);
  setup::tools::LogReadResult found = setup::tools::FindUninstallLog(file);
  if (found.log) {
    setup::tools::LogReadResult again = setup::tools::ReadUninstallLogAt(file, found.log->offset);
    if (!again.log || again.log->files != found.log->files ||
        again.log->endOffset + 8 != size) {
      std::abort();
    }
  } else if (found.error.empty()) {
    std::abort();
  }
  if (size >= 2) {
    uint64_t at = data[0] | data[1] << 8;
    setup::tools::LogReadResult read = setup::tools::ReadUninstallLogAt(file, at);
    if (!read.log && read.error.empty()) std::abort();
  }
  return 0;
}
