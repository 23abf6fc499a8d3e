// pkgtool uninstall-log: the log appended to an installed uninstaller, record
// by record, with names escaped as every pkgtool listing escapes them.
#include <filesystem>
#include <fstream>
#include <vector>

#include "tools/pkgtool/commands.h"
#include "tools/pkgtool/describe.h"
#include "tools/pkgtool/uninstall_log_reader.h"

namespace setup::tools {

namespace {

// An installed uninstaller is a small program; anything far larger is not one.
constexpr uint64_t kLargestUninstaller = 1ull << 30;

// A counted string may hold NUL bytes, which a C text would end at.
std::string Shown(const std::string& text) {
  std::string out;
  size_t from = 0;
  for (;;) {
    size_t nul = text.find('\0', from);
    out += Printable(text.substr(from, nul == std::string::npos ? nul : nul - from).c_str());
    if (nul == std::string::npos) break;
    out += "\\x00";
    from = nul + 1;
  }
  return "\"" + out + "\"";
}

std::string FileFlagNames(uint8_t flags) {
  std::string out;
  if (flags & 0x01) out += " shared";
  if (flags & 0x02) out += " font";
  if (flags & 0x04) out += " self-registered";
  if (flags & ~0x07) out += " other";
  return out;
}

std::string RootName(uint32_t root) {
  switch (root) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    default: {
      char text[16];
      std::snprintf(text, sizeof text, "root 0x%08X", root);
      return text;
    }
  }
}

}  // namespace

int PrintUninstallLog(const std::string& path, std::optional<uint64_t> offset, std::ostream& out,
                      std::ostream& err) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    err << "pkgtool: " << PrintablePath(path) << ": "
        << (std::filesystem::exists(path, ec) ? "not a file" : "no such file") << "\n";
    return 1;
  }
  uint64_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kLargestUninstaller) {
    err << "pkgtool: " << PrintablePath(path) << ": too large for an uninstaller\n";
    return 1;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    err << "pkgtool: " << PrintablePath(path) << ": cannot be read\n";
    return 1;
  }
  LogReadResult read = offset ? ReadUninstallLogAt(bytes, *offset) : FindUninstallLog(bytes);
  if (!read.log) {
    err << "pkgtool: " << PrintablePath(path) << ": " << read.error << "\n";
    return 1;
  }
  const UninstallLog& log = *read.log;
  out << "log at offset " << log.offset << "\n";
  out << "files: " << log.files.size() << "\n";
  for (const LoggedFile& f : log.files) {
    char flags[8];
    std::snprintf(flags, sizeof flags, "0x%02X", f.flags);
    out << "  " << Shown(f.folder) << " " << Shown(f.name) << " flags " << flags
        << FileFlagNames(f.flags) << "\n";
  }
  if (log.shortcuts) {
    out << "shortcuts: " << log.shortcuts->size() << "\n";
    for (const LoggedShortcut& s : *log.shortcuts) {
      out << "  " << Shown(s.folder) << " " << Shown(s.link) << "\n";
    }
  }
  if (log.registrationRoot) {
    out << "registration: " << RootName(*log.registrationRoot) << " "
        << Shown(log.registrationKey) << "\n";
  }
  out << "end at offset " << log.endOffset << "\n";
  return 0;
}

}  // namespace setup::tools
