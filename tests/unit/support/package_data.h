// A simulated machine holding a setup file with its file-data region, volume
// files beside it, the message texts the session's disk prompt shows, and a
// SetupContext ready to read package data. Region and item bytes are written
// field by field here; nothing is produced by the package writer.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/sim_platform.h"
#include "session/setup_context.h"
#include "unit/support/byte_writer.h"
#include "unit/support/forwarding_platform.h"

namespace setup::test {

// One stream of the package format made of a single final stored block:
// header nibble 0xF (type 7, final), padding to the byte, u16 length, data.
std::string StoredStream(std::string_view data);

// Data items, written field by field.
std::string RawItem(std::string_view data, bool wideSize = false);
std::string CompressedItem(uint32_t size, std::string_view stream, bool wideSize = false,
                           bool wideLength = false);

// The rotate-and-add checksum, written out again here so that the engine's
// own implementation is not its own judge.
uint32_t ReferenceChecksum(std::string_view data);

std::string AsString(const std::vector<uint8_t>& bytes);
// Deterministic pseudo-random bytes.
std::string Noise(size_t size, uint32_t seed);

// Passes every call to a SimPlatform; a hook sees each message box after it
// has been answered, so that a test can insert the disk asked for.
class HookedPlatform final : public ForwardingPlatform {
 public:
  explicit HookedPlatform(SimPlatform& sim) : ForwardingPlatform(sim), sim_(sim) {}
  std::function<void(const SimPlatform::MessageBoxCall& box, int answer)> onMessageBox;

  int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                  uint32_t type) override {
    int answer = sim_.MessageBoxA(owner, text, caption, type);
    if (onMessageBox) onMessageBox(sim_.messageBoxes.back(), answer);
    return answer;
  }

 private:
  SimPlatform& sim_;
};

// Texts used here.
inline constexpr const char* kCaption = "Test Setup";
inline constexpr const char* kCancelQuestion = "Cancel the installation?";
inline constexpr const char* kNotCompleted = "The installation did not complete.";
inline constexpr const char* kDiskPrompt = "Please insert disk number %d.";

class PackageMachine {
 public:
  // Drive C: (fixed) and A: (removable); the package at `packagePath`.
  explicit PackageMachine(std::string packagePath = "C:\\SETUP.EXE");
  PackageMachine(const PackageMachine&) = delete;
  PackageMachine& operator=(const PackageMachine&) = delete;
  ~PackageMachine();

  SimPlatform sim;
  HookedPlatform platform{sim};
  SetupContext context{platform};

  // Group 6 texts of the current component; index -> text. Call InstallTexts
  // after changing them.
  std::map<unsigned, std::string> texts;
  void InstallTexts();

  // Writes the setup file: `stubSize` filler bytes (the stub and records as
  // far as the reader cares), u32 length of `part0`, `part0`, and records the
  // region start and length in the context.
  void WriteSetupFile(std::string_view part0, uint32_t stubSize = 41);
  // Writes volume file `name` with u32 length of `part`, `part`, then `junk`.
  void WriteVolume(const std::string& name, std::string_view part, std::string_view junk = {});
  // Splits `region` after the given lengths: the first part goes to the
  // setup file, the next ones to SETUP.D01, SETUP.D02, ... beside it.
  void WriteRegion(std::string_view region, const std::vector<uint32_t>& lengths);
  // The package path with ".Dnn" put in place of ".EXE" (written out here,
  // not asked of the engine).
  std::string Volume(int k) const;

  // BeginPackageData, expected to succeed.
  void Begin();
  // ReadPackageData from the current handle; the bytes delivered.
  std::string Read(uint32_t n, bool* read = nullptr);

  // Puts a file list in component slot `slot`.
  void SetFileList(int slot, const std::vector<FileEntrySpec>& entries);
  // The first entry of slot `slot` (entry `index`).
  uint8_t* Entry(int slot, uint32_t index);

 private:
  std::string packagePath_;
  std::vector<uint8_t> group6_;
  ComponentDescriptor descriptor_{};
  std::vector<uint8_t> fileLists_[kMaxComponents];
};

}  // namespace setup::test
