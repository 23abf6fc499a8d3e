#include "tools/pkgtool/entry_writer.h"

#include <unistd.h>

#include <vector>

#include "base/errors.h"
#include "install/entry_data.h"
#include "package/file_entry.h"

namespace fs = std::filesystem;

namespace setup::tools {

namespace {

constexpr size_t kShortScratch = 200;

std::string Describe(int error, const char* subject) {
  std::string what;
  switch (error) {
    case RESULT_ABORTED: return "the package data could not be read (a volume is missing)";
    case ERR_OUT_OF_MEMORY: what = "out of memory"; break;
    case ERR_DISK_CANCELLED: what = "cancelled at the disk prompt"; break;
    case ERR_OPEN: what = "cannot open"; break;
    case ERR_CREATE: what = "cannot create"; break;
    case ERR_CORRUPT: what = "corrupt or unreadable data"; break;
    case ERR_WRITE: what = "damaged patch data or a failed write"; break;
    case ERR_WRITE_SHORT: what = "disk full"; break;
    case ERR_CHECKSUM: what = "checksum mismatch"; break;
    case ERR_REPLACE: what = "cannot replace"; break;
    default: what = "error"; break;
  }
  what += " (error " + std::to_string(error) + ")";
  if (subject != nullptr && *subject != '\0') {
    std::string s = subject;
    for (char& c : s) {
      if (c == '\\') c = '/';
    }
    what += ": " + s;
  }
  return what;
}

}  // namespace

bool EntryWriter::Write(const uint8_t* entry, const fs::path& target, std::string* message) {
  SetupContext& context = package_.context();
  std::string host = target.string();
  std::vector<char> engineTarget(host.size() + 1);
  std::vector<char> temporary(host.size() + 16);
  ToEnginePath(host.c_str(), engineTarget.data(), static_cast<uint32_t>(engineTarget.size()));
  CopyText(context.targetPath, kTargetPathSize, engineTarget.data());
  context.run.error.number = 0;
  int result = WriteEntryToTemporary(context, entry, engineTarget.data(), temporary.data(),
                                     static_cast<uint32_t>(temporary.size()), 0, 0);
  if (result != 0) {
    *message = Describe(result, context.run.error.subject);
    return false;
  }
  std::string hostTemporary = temporary.data();
  for (char& c : hostTemporary) {
    if (c == '\\') c = '/';
  }
  std::error_code ec;
  if (EntryFlags(entry) & FEF_UNINSTALLER) {
    // Nothing checks the uninstaller's contents but its stream and its size.
    uint64_t size = fs::file_size(hostTemporary, ec);
    if (context.reader.decoder.LastResult() != STREAM_OK || ec || size != EntryFileSize(entry)) {
      fs::remove(hostTemporary, ec);
      *message = "the uninstaller's data does not decode to its size";
      return false;
    }
  }
  fs::rename(hostTemporary, target, ec);
  if (ec) {
    fs::remove(hostTemporary, ec);
    *message = "cannot write " + target.string();
    return false;
  }
  return true;
}

}  // namespace setup::tools
