#include "unit/support/byte_writer.h"

namespace setup::test {

ByteWriter& ByteWriter::U8(uint32_t v) {
  bytes.push_back(static_cast<uint8_t>(v));
  return *this;
}

ByteWriter& ByteWriter::U16(uint32_t v) { return U8(v).U8(v >> 8); }

ByteWriter& ByteWriter::U32(uint32_t v) { return U16(v).U16(v >> 16); }

ByteWriter& ByteWriter::Raw(std::string_view data) {
  bytes.insert(bytes.end(), data.begin(), data.end());
  return *this;
}

ByteWriter& ByteWriter::Raw(const Bytes& data) {
  bytes.insert(bytes.end(), data.begin(), data.end());
  return *this;
}

ByteWriter& ByteWriter::Text(const std::string& text) {
  Raw(text);
  return U8(0);
}

ByteWriter& ByteWriter::Fill(size_t count, uint8_t value) {
  bytes.insert(bytes.end(), count, value);
  return *this;
}

void ByteWriter::PutU32At(size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<uint8_t>(v >> (8 * i));
}

std::array<uint8_t, 24> TimesBlock(const std::array<FileTime, 3>& times) {
  ByteWriter w;
  for (const FileTime& t : times) w.U32(t.low).U32(t.high);
  std::array<uint8_t, 24> block{};
  std::copy(w.bytes.begin(), w.bytes.end(), block.begin());
  return block;
}

Bytes FileEntryBytes(const FileEntrySpec& fields) {
  ByteWriter w;
  w.U16(0).U16(fields.state).U16(fields.iconIndex);
  w.U32(fields.dataOffset).U32(fields.storedSize).U32(fields.fileSize).U32(fields.checksum);
  w.U8(fields.flags).U8(fields.folderKind).U8(fields.finishRole).U8(fields.sharedFile);
  w.U8(fields.placement).U8(fields.specialKind).U8(fields.baseComponent).U8(fields.baseIndex);
  if ((fields.flags & 0x06) != 0) w.Raw(Bytes(fields.version.begin(), fields.version.end()));
  if ((fields.flags & 0x08) != 0) w.Raw(Bytes(fields.times.begin(), fields.times.end()));
  for (const std::string& s : fields.strings) w.Text(s);
  w.Fill(fields.padding, 0xEE);
  uint16_t size = fields.entrySize.value_or(static_cast<uint16_t>(w.size()));
  w.bytes[0] = static_cast<uint8_t>(size);
  w.bytes[1] = static_cast<uint8_t>(size >> 8);
  return w.bytes;
}

Bytes FileListBytes(const std::vector<FileEntrySpec>& entries, std::optional<uint32_t> count) {
  ByteWriter w;
  w.U32(count.value_or(static_cast<uint32_t>(entries.size())));
  for (const FileEntrySpec& e : entries) w.Raw(FileEntryBytes(e));
  return w.bytes;
}

}  // namespace setup::test
