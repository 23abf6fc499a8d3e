#include "install/uninstall_log_reader.h"

#include "base/bytes.h"
#include "install/uninstall_log.h"

namespace setup {

namespace {

constexpr size_t kHeaderSize = 8;
// A file item holds at least two empty counted strings and its flags byte,
// a shortcut item two empty counted strings.
constexpr uint32_t kSmallestFileItem = 5;
constexpr uint32_t kSmallestShortcutItem = 4;

LogProblem Problem(LogProblemKind kind, size_t at, uint16_t type = 0, uint32_t value = 0,
                   uint32_t item = kLogNoItem, uint32_t length = 0) {
  return LogProblem{kind, at, type, value, item, length};
}

// Reads little-endian fields from [position, limit); the first read that
// would pass the limit fails, and every later one with it.
class Cursor {
 public:
  Cursor(const uint8_t* begin, size_t size) : p_(begin), left_(size) {}
  const uint8_t* Take(size_t n) {
    if (!ok_ || left_ < n) {
      ok_ = false;
      return nullptr;
    }
    const uint8_t* at = p_;
    p_ += n;
    left_ -= n;
    return at;
  }
  uint32_t U32() {
    const uint8_t* p = Take(4);
    return p != nullptr ? ReadU32(p) : 0;
  }
  void Counted() {
    const uint8_t* p = Take(2);
    if (p != nullptr) Take(ReadU16(p));
  }
  bool ok() const { return ok_; }
  size_t left() const { return left_; }
  const uint8_t* position() const { return p_; }

 private:
  const uint8_t* p_;
  size_t left_;
  bool ok_ = true;
};

// Checks a record of items: its count, then each item, then that nothing is
// left. `strings` is the number of counted strings per item, `tail` the
// bytes after them.
LogProblem CheckItems(const uint8_t* payload, size_t at, uint16_t type, uint32_t length,
                      int strings, size_t tail, uint32_t smallest, uint32_t* count,
                      const uint8_t** items) {
  Cursor c(payload, length);
  *count = c.U32();
  if (!c.ok()) return Problem(LOG_ITEM_PAST_RECORD, at, type, 0, kLogNoItem, length);
  // A count the payload cannot hold is refused before any item is read.
  if (*count > c.left() / smallest) return Problem(LOG_COUNT_TOO_LARGE, at, type, *count, kLogNoItem, length);
  *items = c.position();
  for (uint32_t i = 0; i < *count; ++i) {
    for (int s = 0; s < strings; ++s) c.Counted();
    c.Take(tail);
    if (!c.ok()) return Problem(LOG_ITEM_PAST_RECORD, at, type, 0, i, length);
  }
  if (c.left() != 0) {
    return Problem(LOG_BYTES_AFTER_ITEMS, at, type, static_cast<uint32_t>(c.left()), kLogNoItem, length);
  }
  return Problem(LOG_PROBLEM_NONE, at);
}

LogText ReadText(const uint8_t** cursor) {
  LogText text{reinterpret_cast<const char*>(*cursor + 2), ReadU16(*cursor)};
  *cursor += 2 + text.length;
  return text;
}

}  // namespace

LogProblem ReadUninstallLog(const uint8_t* file, size_t size, size_t offset, bool toFirstEnd,
                            UninstallLogRecords* out) {
  *out = UninstallLogRecords{};
  out->present = true;
  out->offset = offset;
  if (offset > size) return Problem(LOG_OFFSET_PAST_END, offset);
  // The records come in the order the setup writes them: files, then at most
  // one shortcut record, at most one registration, the end.
  enum { kStart, kFiles, kShortcuts, kRegistration } stage = kStart;
  size_t at = offset;
  for (;;) {
    if (size - at < kHeaderSize) return Problem(LOG_HEADER_PAST_END, at);
    uint16_t type = ReadU16(file + at);
    uint16_t flags = ReadU16(file + at + 2);
    uint32_t length = ReadU32(file + at + 4);
    if (stage == kStart && !toFirstEnd && type != LOG_FILES) return Problem(LOG_NO_FILE_RECORD, at, type);
    if (flags != 0) return Problem(LOG_HEADER_FLAGS, at, type, flags);
    if (length > size - at - kHeaderSize) return Problem(LOG_RECORD_PAST_END, at, type, length);
    const uint8_t* payload = file + at + kHeaderSize;
    LogProblem problem = Problem(LOG_PROBLEM_NONE, at);
    if (type == LOG_FILES && stage == kStart) {
      problem = CheckItems(payload, at, type, length, 2, 1, kSmallestFileItem, &out->fileCount,
                           &out->fileItems);
      stage = kFiles;
    } else if (type == LOG_SHORTCUTS && stage == kFiles) {
      out->hasShortcuts = true;
      problem = CheckItems(payload, at, type, length, 2, 0, kSmallestShortcutItem,
                           &out->shortcutCount, &out->shortcutItems);
      stage = kShortcuts;
    } else if (type == LOG_REGISTRATION && (stage == kFiles || stage == kShortcuts)) {
      Cursor c(payload, length);
      out->registrationRoot = c.U32();
      const uint8_t* key = c.position();
      c.Counted();
      if (!c.ok()) return Problem(LOG_ITEM_PAST_RECORD, at, type, 0, kLogNoItem, length);
      if (c.left() != 0) {
        return Problem(LOG_BYTES_AFTER_ITEMS, at, type, static_cast<uint32_t>(c.left()), kLogNoItem, length);
      }
      out->hasRegistration = true;
      out->registrationKey = ReadText(&key);
      stage = kRegistration;
    } else if (type == LOG_END) {
      if (length != 0) return Problem(LOG_END_WITH_PAYLOAD, at, type, length);
      if (stage == kStart) {
        out->present = false;
      } else if (!toFirstEnd && at + kHeaderSize != size) {
        return Problem(LOG_BYTES_AFTER_END, at, type, static_cast<uint32_t>(size - at - kHeaderSize));
      }
      out->endOffset = at;
      return Problem(LOG_PROBLEM_NONE, at);
    } else {
      return Problem(LOG_RECORD_OUT_OF_PLACE, at, type);
    }
    if (problem.kind != LOG_PROBLEM_NONE) return problem;
    at += kHeaderSize + length;
  }
}

void NextLoggedFile(const uint8_t** cursor, LoggedFileItem* out) {
  out->folder = ReadText(cursor);
  out->name = ReadText(cursor);
  out->flags = **cursor;
  ++*cursor;
}

void NextLoggedShortcut(const uint8_t** cursor, LoggedShortcutItem* out) {
  out->folder = ReadText(cursor);
  out->link = ReadText(cursor);
}

bool CopyLogText(const LogText& text, char* out, uint32_t size) {
  uint32_t n = text.length < size ? text.length : size - 1;
  bool whole = n == text.length;
  for (uint32_t i = 0; i < n; ++i) {
    out[i] = text.text[i];
    if (out[i] == '\0') whole = false;
  }
  out[n] = '\0';
  return whole;
}

}  // namespace setup
