// Package bytes written by hand: little-endian fields appended in order, and
// file entries written field by field (layout in package/file_entry.h).
// Nothing here goes through the engine's own writers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace setup::test {

using Bytes = std::vector<uint8_t>;

class ByteWriter {
 public:
  // Each takes the low 8, 16 or 32 bits of `v`.
  ByteWriter& U8(uint32_t v);
  ByteWriter& U16(uint32_t v);
  ByteWriter& U32(uint32_t v);
  ByteWriter& Raw(std::string_view data);
  ByteWriter& Raw(const Bytes& data);
  // The text and its NUL.
  ByteWriter& Text(const std::string& text);
  ByteWriter& Fill(size_t count, uint8_t value);
  void PutU32At(size_t offset, uint32_t v);
  size_t size() const { return bytes.size(); }
  std::string str() const { return std::string(bytes.begin(), bytes.end()); }

  Bytes bytes;
};

struct FileEntrySpec {
  uint16_t state = 0;
  uint16_t iconIndex = 0;
  uint32_t dataOffset = 0;
  uint32_t storedSize = 0;
  uint32_t fileSize = 0;
  uint32_t checksum = 0;
  uint8_t flags = 0;
  uint8_t folderKind = 0;
  uint8_t finishRole = 0;
  uint8_t sharedFile = 0;
  uint8_t placement = 0;
  uint8_t specialKind = 0;
  uint8_t baseComponent = 0;
  uint8_t baseIndex = 0;
  std::array<uint8_t, 20> version{};  // written when flags has 0x02 or 0x04
  std::array<uint8_t, 24> times{};    // written when flags has 0x08
  std::array<std::string, 6> strings;
  size_t padding = 0;                 // bytes after the strings, counted in entrySize
  std::optional<uint16_t> entrySize;  // overrides the computed size
};
// The 24-byte times block: creation, last access, last write.
std::array<uint8_t, 24> TimesBlock(const std::array<FileTime, 3>& times);
Bytes FileEntryBytes(const FileEntrySpec& fields);
// u32 count (the number of entries unless given), then the entries.
Bytes FileListBytes(const std::vector<FileEntrySpec>& entries,
                    std::optional<uint32_t> count = std::nullopt);

}  // namespace setup::test
