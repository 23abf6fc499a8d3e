#include "tools/pkgtool/uninstall_log_reader.h"

#include <algorithm>
#include <cstdio>

namespace setup::tools {

namespace {

constexpr uint64_t kHeaderSize = 8;

std::string Hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(v));
  return text;
}

std::string At(uint64_t offset) { return " at offset " + std::to_string(offset); }

std::string Text(const LogText& text) { return std::string(text.text, text.length); }

// What a record is called in a message about its items.
std::string RecordName(uint16_t type) {
  switch (type) {
    case kLogFilesType: return "the file record";
    case kLogShortcutsType: return "the shortcut record";
    case kLogRegistrationType: return "the registration record";
    default: return "record " + Hex(type);
  }
}

std::string ItemName(const LogProblem& p) {
  if (p.item == kLogNoItem) {
    return p.type == kLogRegistrationType ? RecordName(p.type) : RecordName(p.type) + "'s count";
  }
  return (p.type == kLogFilesType ? "file item " : "shortcut item ") + std::to_string(p.item);
}

std::string Describe(const LogProblem& p, uint64_t fileSize) {
  switch (p.kind) {
    case LOG_PROBLEM_NONE: return {};
    case LOG_OFFSET_PAST_END:
      return "offset " + std::to_string(p.at) + " lies past the end of the file (" +
             std::to_string(fileSize) + " bytes)";
    case LOG_HEADER_PAST_END: return "a record header runs past the end of the file" + At(p.at);
    case LOG_NO_FILE_RECORD: return "no file record" + At(p.at) + " (type " + Hex(p.type) + ")";
    case LOG_HEADER_FLAGS:
      return "record " + Hex(p.type) + At(p.at) + " has flags " + Hex(p.value) + " (the log writes 0)";
    case LOG_RECORD_PAST_END:
      return "record " + Hex(p.type) + At(p.at) + " is " + std::to_string(p.value) +
             " bytes long, past the end of the file";
    case LOG_COUNT_TOO_LARGE:
      return RecordName(p.type) + At(p.at) + " counts " + std::to_string(p.value) +
             " items, more than its " + std::to_string(p.length) + " bytes hold";
    case LOG_ITEM_PAST_RECORD:
      return ItemName(p) + " runs past its record's length (" + std::to_string(p.length) + " bytes)" +
             At(p.at);
    case LOG_BYTES_AFTER_ITEMS:
      return "record " + Hex(p.type) + At(p.at) + " has " + std::to_string(p.value) +
             " bytes after its last item";
    case LOG_RECORD_OUT_OF_PLACE: return "record " + Hex(p.type) + At(p.at) + " does not belong here in the log";
    case LOG_END_WITH_PAYLOAD:
      return "the end record" + At(p.at) + " has a payload of " + std::to_string(p.value) + " bytes";
    case LOG_BYTES_AFTER_END: return std::to_string(p.value) + " bytes follow the end record" + At(p.at);
  }
  return "unknown problem" + At(p.at);
}

LogReadResult ReadLog(std::span<const uint8_t> file, uint64_t offset, bool toFirstEnd) {
  LogReadResult result;
  if (offset > file.size()) {
    result.error = Describe(LogProblem{LOG_OFFSET_PAST_END, static_cast<size_t>(offset), 0, 0, 0, 0},
                            file.size());
    return result;
  }
  UninstallLogRecords records;
  LogProblem problem = ReadUninstallLog(file.data(), file.size(), offset, toFirstEnd, &records);
  if (problem.kind != LOG_PROBLEM_NONE) {
    result.error = Describe(problem, file.size());
    return result;
  }
  UninstallLog log;
  log.present = records.present;
  log.offset = records.offset;
  log.endOffset = records.endOffset;
  const uint8_t* cursor = records.fileItems;
  for (uint32_t i = 0; i < records.fileCount; ++i) {
    LoggedFileItem item;
    NextLoggedFile(&cursor, &item);
    log.files.push_back(LoggedFile{Text(item.folder), Text(item.name), item.flags});
  }
  if (records.hasShortcuts) {
    log.shortcuts.emplace();
    cursor = records.shortcutItems;
    for (uint32_t i = 0; i < records.shortcutCount; ++i) {
      LoggedShortcutItem item;
      NextLoggedShortcut(&cursor, &item);
      log.shortcuts->push_back(LoggedShortcut{Text(item.folder), Text(item.link)});
    }
  }
  if (records.hasRegistration) {
    log.registrationRoot = records.registrationRoot;
    log.registrationKey = Text(records.registrationKey);
  }
  result.log = std::move(log);
  return result;
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
