#include "unit/support/package_data.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "base/file_io.h"
#include "decode/package_reader.h"
#include "package/file_entry.h"

namespace setup::test {

std::string StoredStream(std::string_view data) {
  // Header bits 0-3: type 7 and the final flag (0xF); the stored block drops
  // the other four bits of the byte.
  return ByteWriter().U8(0x0F).U16(static_cast<uint32_t>(data.size())).Raw(data).str();
}

std::string RawItem(std::string_view data, bool wideSize) {
  ByteWriter item;
  item.U8(wideSize ? 2 : 0);
  if (wideSize) {
    item.U32(static_cast<uint32_t>(data.size()));
  } else {
    item.U16(static_cast<uint32_t>(data.size()));
  }
  return item.Raw(data).str();
}

std::string CompressedItem(uint32_t size, std::string_view stream, bool wideSize,
                           bool wideLength) {
  ByteWriter item;
  item.U8(1 | (wideSize ? 2 : 0) | (wideLength ? 4 : 0));
  if (wideSize) {
    item.U32(size);
  } else {
    item.U16(size);
  }
  if (wideLength) {
    item.U32(static_cast<uint32_t>(stream.size()));
  } else {
    item.U16(static_cast<uint32_t>(stream.size()));
  }
  return item.Raw(stream).str();
}

uint32_t ReferenceChecksum(std::string_view data) {
  uint32_t a = 0;
  size_t i = 0;
  for (; i + 4 <= data.size(); i += 4) {
    uint32_t w = 0;
    for (int k = 3; k >= 0; --k) w = w << 8 | static_cast<uint8_t>(data[i + k]);
    a = (a << 1 | a >> 31) + w;
  }
  for (; i < data.size(); ++i) a = (a << 1 | a >> 31) + static_cast<uint8_t>(data[i]);
  return a;
}

std::string AsString(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::string Noise(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng() >> 24);
  return out;
}

PackageMachine::PackageMachine(std::string packagePath) : packagePath_(std::move(packagePath)) {
  sim.AddDrive('C', 1u << 30);
  sim.AddDrive('A', 1440 * 1024, 512, DriveKind::Removable);
  std::snprintf(context.packagePath, sizeof context.packagePath, "%s", packagePath_.c_str());
  texts = {{0, kCaption}, {13, kCancelQuestion}, {15, kNotCompleted}, {28, kDiskPrompt}};
  InstallTexts();
}

PackageMachine::~PackageMachine() { EndPackageData(context.reader); }

void PackageMachine::InstallTexts() {
  unsigned count = texts.empty() ? 0 : texts.rbegin()->first + 1;
  ByteWriter group;
  group.U16(count);
  for (unsigned i = 0; i < count; ++i) {
    auto it = texts.find(i);
    if (it != texts.end()) group.Raw(it->second);
    group.U8(0);
  }
  group6_ = group.bytes;
  descriptor_ = ComponentDescriptor{};
  descriptor_.groups[6] = StringGroup{group6_.data(), static_cast<uint32_t>(group6_.size())};
  context.current.descriptor = &descriptor_;
}

void PackageMachine::WriteSetupFile(std::string_view part0, uint32_t stubSize) {
  std::string file(stubSize, 'S');
  file += ByteWriter().U32(static_cast<uint32_t>(part0.size())).Raw(part0).str();
  sim.AddFile(packagePath_, file);
  context.package.regionStart = stubSize;
  context.package.regionLength = static_cast<uint32_t>(part0.size());
}

void PackageMachine::WriteVolume(const std::string& name, std::string_view part,
                                 std::string_view junk) {
  sim.AddFile(name, ByteWriter().U32(static_cast<uint32_t>(part.size())).Raw(part).Raw(junk).str());
}

void PackageMachine::WriteRegion(std::string_view region, const std::vector<uint32_t>& lengths) {
  size_t at = 0;
  for (size_t k = 0; k < lengths.size(); ++k) {
    std::string_view part = region.substr(at, lengths[k]);
    if (k == 0) {
      WriteSetupFile(part);
    } else {
      WriteVolume(Volume(static_cast<int>(k)), part);
    }
    at += part.size();
  }
  EXPECT_EQ(at, region.size()) << "the lengths do not cover the region";
}

std::string PackageMachine::Volume(int k) const {
  size_t dot = packagePath_.rfind('.');
  size_t slash = packagePath_.rfind('\\');
  std::string stem = packagePath_;
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    stem = packagePath_.substr(0, dot);
  }
  char extension[16];
  std::snprintf(extension, sizeof extension, ".D%02d", k);
  return stem + extension;
}

void PackageMachine::Begin() { ASSERT_EQ(BeginPackageData(context), 0); }

std::string PackageMachine::Read(uint32_t n, bool* read) {
  std::string out(n, '\0');
  uint32_t got = 0;
  bool ok = ReadPackageData(context.reader, context.reader.handle, out.data(), n, &got);
  if (read != nullptr) *read = ok;
  out.resize(got);
  return out;
}

void PackageMachine::SetFileList(int slot, const std::vector<FileEntrySpec>& entries) {
  fileLists_[slot] = FileListBytes(entries);
  ComponentSlot& s = context.package.components[slot];
  s.fileList = Payload{fileLists_[slot].data(), static_cast<uint32_t>(fileLists_[slot].size())};
  if (context.package.componentCount < slot + 1) context.package.componentCount = slot + 1;
}

uint8_t* PackageMachine::Entry(int slot, uint32_t index) {
  uint8_t* entry = fileLists_[slot].data() + 4;
  for (uint32_t i = 0; i < index; ++i) entry = NextFileEntry(entry);
  return entry;
}

}  // namespace setup::test
