#include "unit/support/package_bytes.h"

#include "session/load_package.h"
#include "tools/streamwriter/stream_writer.h"

namespace setup::test {

Bytes StringGroupBytes(const std::vector<std::string>& texts) {
  ByteWriter w;
  w.U16(static_cast<uint16_t>(texts.size()));
  for (const std::string& t : texts) w.Text(t);
  return w.bytes;
}

Bytes DescriptorBytes(const DescriptorSpec& fields) {
  ByteWriter w;
  w.U16(fields.options).U16(fields.reserved);
  w.Fill(80, 0);  // offsets and the root key, filled in below
  w.PutU32At(16, fields.folderRootKey);
  const std::pair<uint32_t, const std::optional<std::string>*> texts[] = {
      {4, &fields.displayName},       {8, &fields.choiceLabel},     {12, &fields.defaultFolder},
      {20, &fields.folderRegKey},     {24, &fields.folderRegValue}, {28, &fields.folderIniFile},
      {32, &fields.folderIniSection}, {36, &fields.folderIniKey}};
  for (const auto& [field, text] : texts) {
    if (!text->has_value()) continue;
    w.PutU32At(field, static_cast<uint32_t>(w.size()));
    w.Text(**text);
  }
  for (const auto& [group, strings] : fields.groups) {
    w.PutU32At(40 + 4 * group, static_cast<uint32_t>(w.size()));
    w.Raw(StringGroupBytes(strings));
  }
  return w.bytes;
}

DescriptorSpec MessageDescriptor(const std::string& caption, const std::string& invalidData,
                                 const std::string& label) {
  DescriptorSpec fields;
  fields.choiceLabel = label;
  std::vector<std::string> messages;
  messages.push_back(caption);
  for (int i = 1; i < 31; ++i) messages.push_back(std::string("m").append(std::to_string(i)));
  messages.push_back(invalidData);
  fields.groups[6] = messages;
  return fields;
}

Bytes IniListBytes(const std::vector<IniSpec>& entries) {
  ByteWriter w;
  w.U16(static_cast<uint16_t>(entries.size()));
  for (const IniSpec& e : entries) {
    w.U8(e.flags).Text(e.file).Text(e.section).Text(e.key).Text(e.value);
  }
  return w.bytes;
}

Bytes RegistryListBytes(const std::vector<RegistrySpec>& entries) {
  ByteWriter w;
  w.U16(static_cast<uint16_t>(entries.size()));
  for (const RegistrySpec& e : entries) {
    w.U32(e.root).U8(e.flags).Text(e.key).Text(e.valueName).Text(e.data);
  }
  return w.bytes;
}

Bytes PatchListBytes(const std::vector<PatchSpec>& entries) {
  ByteWriter w;
  w.U16(static_cast<uint16_t>(entries.size()));
  for (const PatchSpec& e : entries) {
    w.U32(static_cast<uint32_t>(e.offset)).U32(static_cast<uint32_t>(e.pattern.size()));
    w.U32(e.reserved).U8(e.reservedByte).Text(e.file).Text(e.text).Raw(e.pattern);
  }
  return w.bytes;
}

Bytes CompressedPayload(const Bytes& data, bool zlib) {
  tools::StreamOptions options;
  if (zlib) options = {tools::Compressor::Zlib, 9};
  Bytes out = tools::WriteStream(data.data(), data.size(), options);
  Bytes size = ByteWriter().U32(static_cast<uint32_t>(data.size())).bytes;
  out.insert(out.begin(), size.begin(), size.end());
  return out;
}

PackageBytes::PackageBytes(uint32_t stubSize) : stubSize_(stubSize) {
  // A stub that holds things a loader starting at the wrong place would take
  // for records: an end record right at the start.
  ByteWriter w;
  w.U16(0x5A4D);
  while (w.size() < stubSize) w.U16(0x7F7F).U16(0).U32(0);
  w.bytes.resize(stubSize);
  bytes_ = w.bytes;
}

PackageBytes& PackageBytes::Record(uint16_t type, const Bytes& payload, uint16_t flags) {
  return Header(type, flags, static_cast<uint32_t>(payload.size()), payload);
}

PackageBytes& PackageBytes::Header(uint16_t type, uint16_t flags, uint32_t length,
                                   const Bytes& payload) {
  ByteWriter w;
  w.U16(type).U16(flags).U32(length).Raw(payload);
  return Raw(w.bytes);
}

PackageBytes& PackageBytes::Compressed(uint16_t type, const Bytes& data, bool zlib) {
  return Record(type, CompressedPayload(data, zlib), 1);
}

PackageBytes& PackageBytes::Raw(const Bytes& data) {
  bytes_.insert(bytes_.end(), data.begin(), data.end());
  return *this;
}

Bytes PackageBytes::End(uint32_t regionSize, std::optional<uint32_t> regionLength,
                        std::optional<uint32_t> endLength) const {
  ByteWriter w;
  w.Raw(bytes_);
  w.U16(0x7F7F).U16(0).U32(endLength.value_or(regionSize));
  w.U32(regionLength.value_or(regionSize));
  for (uint32_t i = 0; i < regionSize; ++i) w.U8(static_cast<uint8_t>(i * 7 + 1));
  return w.bytes;
}

Bytes U32Bytes(uint32_t v) { return ByteWriter().U32(v).bytes; }

Bytes StartBytes(uint16_t page, uint16_t component) {
  return ByteWriter().U16(page).U16(component).bytes;
}

LoaderHarness::LoaderHarness() {
  platform.AddDrive('C', 1u << 30);
  context = std::make_unique<SetupContext>(platform);
}

LoaderHarness::~LoaderHarness() {
  FreePackage(*context);
  context.reset();
}

int LoaderHarness::Load(const Bytes& file, uint32_t stubSize) {
  platform.AddFile(kPath, std::string(file.begin(), file.end()));
  CopyText(context->packagePath, kPathSize, kPath);
  context->stubSize = stubSize;
  return LoadPackage(*context);
}

}  // namespace setup::test
