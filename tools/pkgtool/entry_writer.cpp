#include "tools/pkgtool/entry_writer.h"

#include <unistd.h>

#include <cstring>
#include <vector>

#include "base/errors.h"
#include "install/entry_data.h"
#include "package/file_entry.h"
#include "tools/pkgtool/describe.h"

namespace fs = std::filesystem;

namespace setup::tools {

namespace {

std::string HostText(const char* engine) {
  std::string s = engine;
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

}  // namespace

std::string EntryWriter::Describe(int error, const uint8_t* entry, const fs::path& target) {
  SetupContext& context = package_.context();
  if (error == RESULT_ABORTED) {
    return "the package data could not be read: the volume " +
           PrintablePath(HostText(context.reader.fileName)) + " is missing or cut short";
  }
  // A volume that cannot be opened, or whose data cannot be read, is the
  // subject of ERR_CORRUPT.
  if (error == ERR_CORRUPT && context.reader.volume != 0 &&
      std::strcmp(context.run.error.subject, context.reader.fileName) == 0) {
    return "the package data could not be read: the volume " +
           PrintablePath(HostText(context.reader.fileName)) + " is missing, cut short or damaged";
  }
  if (error == ERR_CHECKSUM && context.run.error.wrongSize) {
    uint64_t fileSize = EntryFileSize(entry);
    if (context.run.error.sizeFound > fileSize) {
      return "its data comes to more than its fileSize of " + std::to_string(fileSize) +
             " bytes (writing stopped there)";
    }
    return "its data comes to " + std::to_string(context.run.error.sizeFound) +
           " bytes, not its fileSize of " + std::to_string(fileSize);
  }
  std::string what;
  switch (error) {
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
  // Files in the scratch folder are ours; the user knows the target.
  std::string subject = HostText(context.run.error.subject);
  if (subject.rfind(scratch_.string(), 0) == 0) subject = target.string();
  if (!subject.empty()) what += ": " + PrintablePath(subject);
  return what;
}

bool EntryWriter::Write(const uint8_t* entry, const fs::path& target, std::string* message) {
  SetupContext& context = package_.context();
  std::string host = (scratch_ / "entry").string();
  std::vector<char> engineTarget(host.size() + 1);
  std::vector<char> temporary(host.size() + 16);
  ToEnginePath(host.c_str(), engineTarget.data(), static_cast<uint32_t>(engineTarget.size()));
  CopyText(context.targetPath, kTargetPathSize, engineTarget.data());
  RecordError(context.run.error, ERR_NONE, nullptr);
  int result = WriteEntryToTemporary(context, entry, engineTarget.data(), temporary.data(),
                                     static_cast<uint32_t>(temporary.size()), 0, 0);
  if (result != 0) {
    *message = Describe(result, entry, target);
    return false;
  }
  std::string hostTemporary = HostText(temporary.data());
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
    std::error_code ignored;
    fs::remove(hostTemporary, ignored);
    *message = "cannot write " + PrintablePath(target.string()) + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace setup::tools
