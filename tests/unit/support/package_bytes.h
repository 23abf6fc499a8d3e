// Package bytes written out field by field for the loader, string, component
// and file entry tests: a stub, records with hand-made headers, descriptors
// with given texts and string groups, entry lists, and the end record with its
// file-data region (file entries: unit/support/byte_writer.h). Nothing here
// goes through the engine's own writers; compressed payloads are made by zlib
// or libdeflate and transcoded.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "unit/support/byte_writer.h"
#include "session/setup_context.h"

namespace setup::test {

// u16 n, then the n texts with their NULs.
Bytes StringGroupBytes(const std::vector<std::string>& texts);

// A component descriptor. Absent texts and groups get offset 0; the present
// ones are laid out after the 84-byte fixed part, texts first, then the
// groups in group order.
struct DescriptorSpec {
  uint16_t options = 0;
  uint16_t reserved = 0;
  std::optional<std::string> displayName;
  std::optional<std::string> choiceLabel;
  std::optional<std::string> defaultFolder;
  uint32_t folderRootKey = 0;
  std::optional<std::string> folderRegKey;
  std::optional<std::string> folderRegValue;
  std::optional<std::string> folderIniFile;
  std::optional<std::string> folderIniSection;
  std::optional<std::string> folderIniKey;
  std::map<int, std::vector<std::string>> groups;
};
Bytes DescriptorBytes(const DescriptorSpec& fields);

// A descriptor whose group 6 holds `caption` at index 0 and `invalidData` at
// index 31 (indices in between are "m<i>"), and whose choice label is `label`.
DescriptorSpec MessageDescriptor(const std::string& caption, const std::string& invalidData,
                                 const std::string& label = "");

// Entry lists: u16 count, then entries.
struct IniSpec {
  uint8_t flags;
  std::string file, section, key, value;
};
struct RegistrySpec {
  uint32_t root;
  uint8_t flags;
  std::string key, valueName, data;
};
struct PatchSpec {
  int32_t offset;
  std::string file, text;
  Bytes pattern;
  uint32_t reserved = 0x11223344;
  uint8_t reservedByte = 0x55;
};
Bytes IniListBytes(const std::vector<IniSpec>& entries);
Bytes RegistryListBytes(const std::vector<RegistrySpec>& entries);
Bytes PatchListBytes(const std::vector<PatchSpec>& entries);

// One compressed payload: u32 decoded size, then the stream (zlib or libdeflate
// output transcoded to the package format).
Bytes CompressedPayload(const Bytes& data, bool zlib = false);

// A whole setup file: stub, records, end record, u32 D, region.
class PackageBytes {
 public:
  explicit PackageBytes(uint32_t stubSize = 48);

  // A record whose header length is the payload's size.
  PackageBytes& Record(uint16_t type, const Bytes& payload, uint16_t flags = 0);
  // A header with any length, followed by `payload` as it stands.
  PackageBytes& Header(uint16_t type, uint16_t flags, uint32_t length, const Bytes& payload = {});
  // A record with the compressed flag whose payload is CompressedPayload(data).
  PackageBytes& Compressed(uint16_t type, const Bytes& data, bool zlib = false);
  PackageBytes& Raw(const Bytes& data);

  // Closes the stream: end header (length = region size, or `endLength`), D
  // and the region. `regionLength` overrides D.
  Bytes End(uint32_t regionSize = 16, std::optional<uint32_t> regionLength = std::nullopt,
            std::optional<uint32_t> endLength = std::nullopt) const;
  // The bytes written so far, without an end record.
  const Bytes& bytes() const { return bytes_; }
  uint32_t stubSize() const { return stubSize_; }

 private:
  uint32_t stubSize_;
  Bytes bytes_;
};

// Settings payload and start payload.
Bytes U32Bytes(uint32_t v);
Bytes StartBytes(uint16_t page, uint16_t component);

// A simulated machine holding the setup file at C:\setup.exe and a context to
// load it into. FreePackage runs on destruction.
class LoaderHarness {
 public:
  LoaderHarness();
  ~LoaderHarness();

  static constexpr const char* kPath = "C:\\setup.exe";
  // Writes the file, sets the path and stub size, and loads.
  int Load(const Bytes& file, uint32_t stubSize);
  size_t BoxCount() const { return platform.messageBoxes.size(); }

  SimPlatform platform;
  std::unique_ptr<SetupContext> context;
};

}  // namespace setup::test
