// Reading the uninstall log back: the one reader behind the uninstaller and
// `pkgtool uninstall-log`.
//
// The log is a run of records in the uninstaller's own record stream (8-byte
// headers: u16 type, u16 flags, u32 length), in the order the setup writes
// them: the file record, at most one shortcut record, at most one
// registration record, the end header (see uninstall_log.h for the items).
// Every header, count and counted string is checked against its record and
// the file before anything is handed out, so that the items of a log this
// reader accepted can be walked without further checks.
//
// The reader reports what is wrong and where (a LogProblem); the caller
// decides what to tell the user.
#pragma once

#include <cstddef>
#include <cstdint>

namespace setup {

enum LogProblemKind : int {
  LOG_PROBLEM_NONE = 0,
  LOG_OFFSET_PAST_END,      // the log would start past the end of the file
  LOG_HEADER_PAST_END,      // a record header runs past the end of the file
  LOG_NO_FILE_RECORD,       // the first record is not the file record (type)
  LOG_HEADER_FLAGS,         // a header has flags (type, value: the flags)
  LOG_RECORD_PAST_END,      // a record runs past the end of the file (type, value: its length)
  LOG_COUNT_TOO_LARGE,      // a count the payload cannot hold (type, value: the count)
  LOG_ITEM_PAST_RECORD,     // an item, or the count (item kLogNoItem), runs past its record
  LOG_BYTES_AFTER_ITEMS,    // bytes left after the last item (type, value: how many)
  LOG_RECORD_OUT_OF_PLACE,  // a record of a type or at a place the log does not have (type)
  LOG_END_WITH_PAYLOAD,     // the end header has a length (value)
  LOG_BYTES_AFTER_END,      // bytes follow the end header (value: how many)
};

constexpr uint32_t kLogNoItem = 0xFFFFFFFFu;

struct LogProblem {
  LogProblemKind kind;
  size_t at;        // offset of the record header concerned
  uint16_t type;    // that record's type
  uint32_t value;   // see the kind
  uint32_t item;    // the item that ran over, or kLogNoItem
  uint32_t length;  // the record's payload length
};

// A counted string of the log: not NUL-terminated.
struct LogText {
  const char* text;
  uint16_t length;
};

struct LoggedFileItem {
  LogText folder;  // "." or ".\sub" inside the destination folder, else in full
  LogText name;
  uint8_t flags;   // LOG_SHARED_COUNTED, LOG_FONT_ADDED, LOG_SELF_REGISTERED
};

struct LoggedShortcutItem {
  LogText folder;
  LogText link;
};

// The records of one log, checked; item pointers point into the file.
struct UninstallLogRecords {
  bool present;      // false: an end header stood where the log begins
  size_t offset;     // of the file record's header
  size_t endOffset;  // of the end header
  uint32_t fileCount;
  const uint8_t* fileItems;
  bool hasShortcuts;
  uint32_t shortcutCount;
  const uint8_t* shortcutItems;
  bool hasRegistration;
  uint32_t registrationRoot;
  LogText registrationKey;
};

// Reads the log whose first header is at `offset`. With `toFirstEnd` the log
// ends at the first end header, whatever follows (the view of a reader that
// walks the stream, and an end header right at `offset` means no log was
// appended: present false); without it the end header must be the file's
// last 8 bytes and the log must begin with the file record.
LogProblem ReadUninstallLog(const uint8_t* file, size_t size, size_t offset, bool toFirstEnd,
                            UninstallLogRecords* out);

// Walk the items of an accepted log: each call reads one item at `*cursor`
// and moves the cursor past it. Only for item runs the reader accepted.
void NextLoggedFile(const uint8_t** cursor, LoggedFileItem* out);
void NextLoggedShortcut(const uint8_t** cursor, LoggedShortcutItem* out);

// Copies a log text into `out` (size bytes) with its NUL; false when it was
// cut, or when it holds a NUL of its own: the setup writes texts that end
// at their NUL, so such a text names nothing the setup made.
bool CopyLogText(const LogText& text, char* out, uint32_t size);

}  // namespace setup
