// How mkpkg tells sources apart: by a SHA-256 digest of the bytes it read
// for the build (checked against published test vectors), stored once per
// digest, and refused when a source is no longer what the project read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "package/stub_patch.h"
#include "tools/common/sha256.h"
#include "tools/mkpkg/package_builder.h"
#include "tools/mkpkg/project_reader.h"

namespace setup::tools {
namespace {

std::string Hex(const Sha256Digest& digest) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (uint8_t b : digest) out += {digits[b >> 4], digits[b & 15]};
  return out;
}

TEST(BuildSourcesTest, Sha256TestVectors) {
  const std::pair<std::string, const char*> rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: a second padding block
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& [text, digest] : rows) {
    EXPECT_EQ(Hex(Sha256(reinterpret_cast<const uint8_t*>(text.data()), text.size())), digest)
        << text.size() << " bytes";
  }
}

TEST(BuildSourcesTest, SameBytesStoredOnceAndChangedSourcesRefused) {
  std::string folder = ::testing::TempDir() + "build_sources_" + std::to_string(getpid()) + "/";
  std::filesystem::create_directories(folder);
  auto write = [&](const std::string& name, const std::string& data) {
    std::ofstream(folder + name, std::ios::binary) << data;
  };
  write("a.bin", "same bytes");
  write("b.bin", "same bytes");
  write("c.bin", "other bytes");
  std::vector<uint8_t> stub(64, 0x90);
  std::copy(std::begin(kPatchMarker), std::end(kPatchMarker), stub.begin() + 16);
  const char* json = R"({"components": [{"files": [
      {"source": "a.bin"}, {"source": "b.bin"}, {"source": "c.bin"}, {"source": "a.bin", "name": "again.bin"}]}]})";
  BuiltPackage built = BuildPackage(ParseProject(json, folder), stub);
  EXPECT_EQ(built.storedFiles, 2u);  // a.bin and c.bin
  EXPECT_EQ(built.sharedFiles, 2u);  // b.bin and again.bin take a.bin's stream

  // The project read a.bin as 10 bytes; by the time the package is built it
  // holds more.
  Project project = ParseProject(json, folder);
  write("a.bin", "same bytes, and then some");
  try {
    BuildPackage(project, stub);
    ADD_FAILURE() << "a changed source was taken";
  } catch (const ProjectError& e) {
    EXPECT_NE(std::string(e.what()).find("a.bin changed while the package was built"), std::string::npos)
        << e.what();
  }
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace setup::tools
