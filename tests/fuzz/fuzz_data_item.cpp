// Reads data items from an arbitrary file-data region, whole in the setup file
// and split over volume files, some of which may be missing.
//
// Input layout: byte 0 options (bits 0-1 volume count - 1, bit 2 removable
// media, bit 3 last volume missing, bit 4 trailing bytes after each volume's
// data, bit 5 a seek to the second item's offset instead of reading on); byte
// 1 the answers given at disk prompts (one bit per box); bytes 2-4 where the
// region is split (each a share of 255); the rest is the region.
//
// Checks: no crash, no leak, no handle left open; results are one of the
// documented ones; and a first item read with all volumes present gives the
// same bytes as the region read whole, when both reads succeed (a raw item
// must agree on the result as well).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/memory.h"
#include "decode/package_reader.h"
#include "platform/sim/sim_platform.h"
#include "session/setup_context.h"
#include "unit/support/forwarding_platform.h"

namespace {

using setup::FileHandle;
using setup::FileTime;
using setup::SimPlatform;
using setup::WindowHandle;

// Answers disk prompts from a script, then gives up: Cancel at the prompt,
// Yes to the question. Everything else goes to the simulated machine.
class ScriptedPlatform final : public setup::test::ForwardingPlatform {
 public:
  ScriptedPlatform(SimPlatform& sim, uint8_t script)
      : ForwardingPlatform(sim), sim_(sim), script_(script) {}
  int boxes = 0;

  int MessageBoxA(WindowHandle, const char*, const char*, uint32_t type) override {
    bool scripted = boxes < 8 && (script_ >> boxes & 1) != 0;
    ++boxes;
    if (boxes > 64) __builtin_trap();  // the prompt loop must end
    switch (type & 0x0F) {
      case setup::kMbOkCancel: return scripted ? setup::kIdOk : setup::kIdCancel;
      case setup::kMbYesNo: return scripted ? setup::kIdNo : setup::kIdYes;
      default: return setup::kIdOk;
    }
  }

 private:
  SimPlatform& sim_;
  uint8_t script_;
};

struct ItemRead {
  int result = 0;
  uint32_t size = 0;
  std::string bytes;
};

bool Allowed(int result) {
  return result == 0 || result == setup::ERR_OUT_OF_MEMORY || result == setup::ERR_CORRUPT ||
         result == setup::RESULT_ABORTED;
}

ItemRead ReadItem(setup::SetupContext& context, setup::Platform& platform) {
  ItemRead item;
  uint8_t sentinel = 0;
  uint8_t* buffer = &sentinel;
  item.result = setup::ReadDataItem(context.reader, &buffer, &item.size);
  if (!Allowed(item.result)) __builtin_trap();
  if (item.result == 0 && item.size != 0) {
    if (buffer == &sentinel) __builtin_trap();
    item.bytes.assign(reinterpret_cast<char*>(buffer), item.size);
    setup::FreeBlock(platform, &buffer);
  } else if (buffer != &sentinel) {
    __builtin_trap();  // a failed or empty item hands out no block
  }
  return item;
}

struct Layout {
  std::vector<uint32_t> lengths;  // region bytes per volume
  bool lastMissing = false;
  bool junk = false;
  bool removable = false;
  uint8_t script = 0;
  bool seekToSecond = false;
};

// Reads the first item and then the second (read on, or sought to).
std::vector<ItemRead> Run(const std::string& region, const Layout& layout) {
  std::vector<ItemRead> items;
  SimPlatform sim;
  sim.AddDrive('C', 1u << 30);
  // The real heap gives up long before the simulated one would.
  sim.allocationFails = [](uint32_t size) { return size > (1u << 18); };
  ScriptedPlatform platform(sim, layout.script);
  {
    setup::SetupContext context(platform);
    std::strcpy(context.packagePath, "C:\\SETUP.EXE");
    context.run.removableMedia = layout.removable;
    size_t at = 0;
    for (size_t k = 0; k < layout.lengths.size(); ++k) {
      std::string part = region.substr(at, layout.lengths[k]);
      at += part.size();
      uint32_t n = static_cast<uint32_t>(part.size());
      std::string file = k == 0 ? std::string(23, 'S') : std::string();
      file.append(reinterpret_cast<const char*>(&n), 4);
      file += part;
      if (layout.junk) file += "JUNK";
      if (k + 1 == layout.lengths.size() && layout.lastMissing && k != 0) continue;
      char name[16] = "C:\\SETUP.EXE";
      if (k != 0) std::snprintf(name, sizeof name, "C:\\SETUP.D%02u", static_cast<unsigned>(k));
      sim.AddFile(name, file);
    }
    context.package.regionStart = 23;
    context.package.regionLength = layout.lengths[0];
    if (setup::BeginPackageData(context) != 0) __builtin_trap();

    items.push_back(ReadItem(context, platform));
    if (items[0].result == 0 || items[0].result == setup::ERR_OUT_OF_MEMORY) {
      if (layout.seekToSecond) {
        // Back to the start, then forward again: the reader may have moved on.
        int seek = setup::SeekPackageData(context.reader, 0);
        if (seek != 0 && seek != setup::ERR_CORRUPT && seek != setup::ERR_DISK_CANCELLED) {
          __builtin_trap();
        }
        if (seek == 0) {
          ItemRead again = ReadItem(context, platform);
          if (items[0].result == 0 && again.result == 0 && again.bytes != items[0].bytes) {
            __builtin_trap();
          }
        }
      } else {
        items.push_back(ReadItem(context, platform));
      }
    }
    setup::EndPackageData(context.reader);
  }
  if (sim.OutstandingBlocks() != 0 || sim.invalidFrees != 0 || sim.OpenHandleCount() != 0) {
    __builtin_trap();
  }
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > 65536) return 0;
  uint8_t options = data[0];
  std::string region(reinterpret_cast<const char*>(data + 5), size - 5);
  const uint32_t total = static_cast<uint32_t>(region.size());

  Layout layout;
  layout.removable = (options & 4) != 0;
  layout.lastMissing = (options & 8) != 0;
  layout.junk = (options & 16) != 0;
  layout.seekToSecond = (options & 32) != 0;
  layout.script = data[1];
  unsigned volumes = (options & 3) + 1;
  uint32_t at = 0;
  for (unsigned k = 0; k + 1 < volumes; ++k) {
    uint32_t n = (total - at) * data[2 + k] / 255;
    layout.lengths.push_back(n);
    at += n;
  }
  layout.lengths.push_back(total - at);

  std::vector<ItemRead> split = Run(region, layout);
  if (volumes == 1 || layout.lastMissing) return 0;

  // The same region in the setup file alone.
  Layout whole;
  whole.lengths = {total};
  std::vector<ItemRead> one = Run(region, whole);
  const ItemRead& a = split[0];
  const ItemRead& b = one[0];
  bool raw = total > 0 && (region[0] & 1) == 0;
  if (raw && a.result != b.result) __builtin_trap();
  if (a.result == 0 && b.result == 0 && (a.size != b.size || a.bytes != b.bytes)) {
    __builtin_trap();
  }
  return 0;
}
