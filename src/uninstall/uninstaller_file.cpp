#include "uninstall/uninstaller_file.h"

#include "base/bytes.h"
#include "base/file_io.h"
#include "install/uninstall_log.h"
#include "package/package_state.h"
#include "uninstall/uninstall_texts.h"

namespace setup {

namespace {

constexpr size_t kHeaderSize = 8;
// PE layout: the DOS header's e_lfanew, the signature and file header, the
// section table's entries.
constexpr size_t kNewHeaderField = 0x3C;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionSize = 40;
constexpr size_t kRawSizeField = 16;
constexpr size_t kRawPointerField = 20;

}  // namespace

size_t ProgramImageSize(const uint8_t* file, size_t size) {
  if (size < 0x40 || file[0] != 'M' || file[1] != 'Z') return 0;
  size_t pe = ReadU32(file + kNewHeaderField);
  if (pe > size || size - pe < 4 + kFileHeaderSize) return 0;
  if (ReadU32(file + pe) != 0x00004550u) return 0;  // "PE\0\0"
  const uint8_t* header = file + pe + 4;
  uint32_t sections = ReadU16(header + 2);
  uint32_t optional = ReadU16(header + 16);
  size_t table = pe + 4 + kFileHeaderSize + optional;
  if (table > size || (size - table) / kSectionSize < sections) return 0;
  size_t end = table + sections * kSectionSize;
  for (uint32_t i = 0; i < sections; ++i) {
    const uint8_t* section = file + table + i * kSectionSize;
    size_t rawSize = ReadU32(section + kRawSizeField);
    size_t rawPointer = ReadU32(section + kRawPointerField);
    if (rawSize == 0) continue;
    if (rawPointer > size || size - rawPointer < rawSize) return 0;
    if (rawPointer + rawSize > end) end = rawPointer + rawSize;
  }
  return end;
}

UninstallerFileResult ReadUninstallerRecords(UninstallerFile* out) {
  out->texts = StringGroup{nullptr, 0};
  out->log = UninstallLogRecords{};
  out->problem = LogProblem{};
  size_t at = ProgramImageSize(out->bytes, out->size);
  if (at == 0) return UNINSTALLER_FILE_NO_IMAGE;
  for (;;) {
    if (out->size - at < kHeaderSize) {
      out->problem = LogProblem{LOG_HEADER_PAST_END, at, 0, 0, kLogNoItem, 0};
      return UNINSTALLER_FILE_DAMAGED;
    }
    uint16_t type = ReadU16(out->bytes + at);
    uint16_t flags = ReadU16(out->bytes + at + 2);
    uint32_t length = ReadU32(out->bytes + at + 4);
    if (type == LOG_END) return UNINSTALLER_FILE_NO_LOG;
    if (type == LOG_FILES) {
      out->problem = ReadUninstallLog(out->bytes, out->size, at, false, &out->log);
      return out->problem.kind == LOG_PROBLEM_NONE ? UNINSTALLER_FILE_OK : UNINSTALLER_FILE_DAMAGED;
    }
    if (length > out->size - at - kHeaderSize) {
      out->problem = LogProblem{LOG_RECORD_PAST_END, at, type, length, kLogNoItem, length};
      return UNINSTALLER_FILE_DAMAGED;
    }
    if (type == UNINSTALL_TEXTS && (flags & REC_COMPRESSED) == 0) {
      out->texts = StringGroup{out->bytes + at + kHeaderSize, length};
    }
    at += kHeaderSize + length;
  }
}

UninstallerFileResult LoadUninstallerFile(Platform& platform, const char* path,
                                          UninstallerFile* out) {
  *out = UninstallerFile{};
  FileHandle file = OpenForRead(platform, path);
  if (file == kInvalidFile) return UNINSTALLER_FILE_UNREADABLE;
  uint32_t size = FileSize(platform, file);
  UninstallerFileResult result = UNINSTALLER_FILE_UNREADABLE;
  if (size != kInvalidSetFilePointer) {
    out->bytes = static_cast<uint8_t*>(platform.HeapAlloc(size != 0 ? size : 1, false));
    if (out->bytes == nullptr) {
      result = UNINSTALLER_FILE_NO_MEMORY;
    } else if (ReadExact(platform, file, out->bytes, size)) {
      out->size = size;
      result = UNINSTALLER_FILE_OK;
    }
  }
  CloseFile(platform, &file);
  return result == UNINSTALLER_FILE_OK ? ReadUninstallerRecords(out) : result;
}

void FreeUninstallerFile(Platform& platform, UninstallerFile* file) {
  if (file->bytes != nullptr) platform.HeapFree(file->bytes);
  *file = UninstallerFile{};
}

}  // namespace setup
