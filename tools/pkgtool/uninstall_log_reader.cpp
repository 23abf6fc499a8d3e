#include "tools/pkgtool/uninstall_log_reader.h"

#include <algorithm>
#include <cstdio>

namespace setup::tools {

namespace {

constexpr uint64_t kHeaderSize = 8;
// A file item takes at least two empty counted strings and its flags byte.
constexpr uint64_t kSmallestFileItem = 5;
constexpr uint64_t kSmallestShortcutItem = 4;

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

std::string At(uint64_t offset) { return " at offset " + std::to_string(offset); }

// Reads little-endian fields from [position, limit) of the file; the first
// read that would pass the limit fails and every later one with it.
class Cursor {
 public:
  Cursor(std::span<const uint8_t> file, uint64_t position, uint64_t limit)
      : file_(file), position_(position), limit_(limit < file.size() ? limit : file.size()) {}

  bool Take(uint64_t n, const uint8_t** out) {
    if (!ok_ || position_ > limit_ || limit_ - position_ < n) {
      ok_ = false;
      return false;
    }
    *out = file_.data() + position_;
    position_ += n;
    return true;
  }
  uint32_t U32() {
    const uint8_t* p = nullptr;
    if (!Take(4, &p)) return 0;
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
  }
  uint16_t U16() {
    const uint8_t* p = nullptr;
    if (!Take(2, &p)) return 0;
    return static_cast<uint16_t>(p[0] | p[1] << 8);
  }
  uint8_t U8() {
    const uint8_t* p = nullptr;
    return Take(1, &p) ? *p : 0;
  }
  std::string Counted() {
    uint16_t n = U16();
    const uint8_t* p = nullptr;
    if (!Take(n, &p)) return {};
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  bool ok() const { return ok_; }
  uint64_t position() const { return position_; }
  uint64_t left() const { return position_ <= limit_ ? limit_ - position_ : 0; }

 private:
  std::span<const uint8_t> file_;
  uint64_t position_;
  uint64_t limit_;
  bool ok_ = true;
};

struct Header {
  uint16_t type;
  uint16_t flags;
  uint32_t length;
};

// Reads the header at `at`; `first` asks for the file record, which the log
// must begin with, before anything else of the header is judged.
bool ReadHeader(std::span<const uint8_t> file, uint64_t at, bool first, Header* header,
                std::string* error) {
  Cursor c(file, at, file.size());
  header->type = c.U16();
  header->flags = c.U16();
  header->length = c.U32();
  if (!c.ok()) {
    *error = "a record header runs past the end of the file" + At(at);
    return false;
  }
  if (first && header->type != kLogFilesType) {
    *error = "no file record" + At(at) + " (type " + Hex(header->type) + ")";
    return false;
  }
  if (header->flags != 0) {
    *error = "record " + Hex(header->type) + At(at) + " has flags " + Hex(header->flags) +
             " (the log writes 0)";
    return false;
  }
  if (header->length > file.size() - at - kHeaderSize) {
    *error = "record " + Hex(header->type) + At(at) + " is " + std::to_string(header->length) +
             " bytes long, past the end of the file";
    return false;
  }
  return true;
}

// Checks that a record's payload was read exactly, no item short, none over.
bool Exact(const Cursor& c, const Header& h, uint64_t at, const std::string& what,
           std::string* error) {
  if (!c.ok()) {
    *error = what + " runs past its record's length (" + std::to_string(h.length) + " bytes)" +
             At(at);
    return false;
  }
  if (c.left() != 0) {
    *error = "record " + Hex(h.type) + At(at) + " has " + std::to_string(c.left()) +
             " bytes after its last item";
    return false;
  }
  return true;
}

bool ReadFiles(std::span<const uint8_t> file, uint64_t at, const Header& h, UninstallLog* log,
               std::string* error) {
  Cursor c(file, at + kHeaderSize, at + kHeaderSize + h.length);
  uint32_t count = c.U32();
  if (!c.ok()) return Exact(c, h, at, "the file record's count", error);
  // A count the payload cannot hold is refused before anything is reserved.
  if (count > c.left() / kSmallestFileItem) {
    *error = "the file record" + At(at) + " counts " + std::to_string(count) +
             " items, more than its " + std::to_string(h.length) + " bytes hold";
    return false;
  }
  for (uint32_t i = 0; i < count && c.ok(); ++i) {
    LoggedFile item;
    item.folder = c.Counted();
    item.name = c.Counted();
    item.flags = c.U8();
    if (!c.ok()) return Exact(c, h, at, "file item " + std::to_string(i), error);
    log->files.push_back(std::move(item));
  }
  return Exact(c, h, at, "the file record", error);
}

bool ReadShortcuts(std::span<const uint8_t> file, uint64_t at, const Header& h, UninstallLog* log,
                   std::string* error) {
  Cursor c(file, at + kHeaderSize, at + kHeaderSize + h.length);
  uint32_t count = c.U32();
  if (!c.ok()) return Exact(c, h, at, "the shortcut record's count", error);
  if (count > c.left() / kSmallestShortcutItem) {
    *error = "the shortcut record" + At(at) + " counts " + std::to_string(count) +
             " items, more than its " + std::to_string(h.length) + " bytes hold";
    return false;
  }
  log->shortcuts.emplace();
  for (uint32_t i = 0; i < count; ++i) {
    LoggedShortcut item;
    item.folder = c.Counted();
    item.link = c.Counted();
    if (!c.ok()) return Exact(c, h, at, "shortcut item " + std::to_string(i), error);
    log->shortcuts->push_back(std::move(item));
  }
  return Exact(c, h, at, "the shortcut record", error);
}

bool ReadRegistration(std::span<const uint8_t> file, uint64_t at, const Header& h,
                      UninstallLog* log, std::string* error) {
  Cursor c(file, at + kHeaderSize, at + kHeaderSize + h.length);
  log->registrationRoot = c.U32();
  log->registrationKey = c.Counted();
  return Exact(c, h, at, "the registration record", error);
}

LogReadResult ReadLog(std::span<const uint8_t> file, uint64_t offset, bool toFirstEnd) {
  LogReadResult result;
  UninstallLog log;
  log.offset = offset;
  if (offset > file.size()) {
    result.error = "offset " + std::to_string(offset) + " lies past the end of the file (" +
                   std::to_string(file.size()) + " bytes)";
    return result;
  }
  // The records must come in the order the setup writes them: files, then
  // at most one shortcut record, at most one registration, the end.
  int stage = 0;
  uint64_t at = offset;
  for (;;) {
    Header h{};
    if (!ReadHeader(file, at, stage == 0 && !toFirstEnd, &h, &result.error)) return result;
    bool read = false;
    if (stage == 0 && h.type == kLogFilesType) {
      read = ReadFiles(file, at, h, &log, &result.error);
      stage = 1;
    } else if (h.type == kLogShortcutsType && stage == 1) {
      read = ReadShortcuts(file, at, h, &log, &result.error);
      stage = 2;
    } else if (h.type == kLogRegistrationType && stage >= 1 && stage <= 2) {
      read = ReadRegistration(file, at, h, &log, &result.error);
      stage = 3;
    } else if (h.type == kLogEndType) {
      if (h.length != 0) {
        result.error = "the end record" + At(at) + " has a payload of " +
                       std::to_string(h.length) + " bytes";
        return result;
      }
      if (stage == 0) {
        log.present = false;
      } else if (!toFirstEnd && at + kHeaderSize != file.size()) {
        result.error = std::to_string(file.size() - at - kHeaderSize) +
                       " bytes follow the end record" + At(at);
        return result;
      }
      log.endOffset = at;
      result.log = std::move(log);
      return result;
    } else {
      result.error = "record " + Hex(h.type) + At(at) + " does not belong here in the log";
      return result;
    }
    if (!read) return result;
    at += kHeaderSize + h.length;
  }
}

}  // namespace

LogReadResult ReadUninstallLogAt(std::span<const uint8_t> file, uint64_t offset) {
  return ReadLog(file, offset, false);
}

LogReadResult ReadUninstallerStream(std::span<const uint8_t> file, uint64_t offset) {
  return ReadLog(file, offset, true);
}

LogReadResult FindUninstallLog(std::span<const uint8_t> file) {
  LogReadResult result;
  static constexpr uint8_t kEnd[kHeaderSize] = {0x7F, 0x7F, 0, 0, 0, 0, 0, 0};
  if (file.size() < 2 * kHeaderSize + 4 ||
      !std::equal(kEnd, kEnd + kHeaderSize, file.end() - kHeaderSize)) {
    result.error = "the file does not end with an end record: it carries no uninstall log, or a "
                   "damaged one";
    return result;
  }
  // The smallest log: a file record with no items, then the end header.
  std::string nearest;
  for (uint64_t at = file.size() - 2 * kHeaderSize - 4 + 1; at-- > 0;) {
    const uint8_t* p = file.data() + at;
    if (p[0] != 0x35 || p[1] != 0x12 || p[2] != 0 || p[3] != 0) continue;
    LogReadResult candidate = ReadUninstallLogAt(file, at);
    if (candidate.log) return candidate;
    if (nearest.empty()) nearest = candidate.error;
  }
  result.error = nearest.empty()
                     ? "no file record found before the end record"
                     : "no well-formed uninstall log ends at the end record; the nearest: " + nearest;
  return result;
}

}  // namespace setup::tools
