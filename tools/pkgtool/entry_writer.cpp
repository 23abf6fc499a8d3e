#include "tools/pkgtool/entry_writer.h"

#include <cstdio>
#include <filesystem>

#include "install/entry_data.h"
#include "install/file_entry.h"
#include "package/strings.h"

namespace setup::tools {

namespace {

std::string ErrorMessage(SetupContext& context, int error) {
  if (error == RESULT_ABORTED) return "the package data could not be read (a volume is missing)";
  char text[1024];
  FormatErrorText(context, text, sizeof text, error);
  std::string message = text;
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::string number = "error " + std::to_string(error);
  return message.empty() ? number + ": " + context.run.errorSubject : message + " (" + number + ")";
}

}  // namespace

bool WriteEntryFile(PackageFile& package, const uint8_t* entry, const std::string& hostPath,
                    std::string* message) {
  SetupContext& context = package.context();
  char target[kTargetPathSize];
  ToEnginePath(hostPath.c_str(), target, sizeof target);
  CopyText(context.targetPath, kTargetPathSize, target);
  context.run.errorNumber = 0;
  char temporary[kPathSize];
  int result = WriteEntryToTemporary(context, entry, target, temporary, kPathSize, 0, 0);
  if (result != 0) {
    *message = ErrorMessage(context, result);
    return false;
  }
  std::string hostTemporary = temporary;
  for (char& c : hostTemporary) {
    if (c == '\\') c = '/';
  }
  if (EntryFlags(entry) & FEF_UNINSTALLER) {
    // Nothing checks the uninstaller's contents but its stream and its size.
    std::error_code ec;
    uint64_t size = std::filesystem::file_size(hostTemporary, ec);
    if (context.decoder.LastResult() != STREAM_OK || ec || size != EntryFileSize(entry)) {
      std::filesystem::remove(hostTemporary, ec);
      *message = "the uninstaller's data does not decode to its size";
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(hostTemporary, hostPath, ec);
  if (ec) {
    std::filesystem::remove(hostTemporary, ec);
    *message = "cannot write " + hostPath;
    return false;
  }
  return true;
}

}  // namespace setup::tools
