// Applies arbitrary patch data to an arbitrary base file and compares the
// outcome with a plain interpreter of the command stream written here.
//
// Input layout: byte 0 options (bit 0 the entry carries file times, bit 1 the
// stored checksum is wrong, bit 2 the literal item is compressed as one stored
// block, bit 3 the entry's file size is taken from bytes 1-4 rather than being
// the size of the interpreter's output); bytes 1-4 a file size (u32); bytes
// 5-6 progressFrom and progressTo; bytes 7-8 the base length and 9-10 the
// command stream length (u16 each, cut to what is there); then the base, the
// command stream and the literal stream (the rest).
//
// Checks: no crash, no leak, no handle left open; the result and error number
// agree with the interpreter; on success the base path holds exactly the
// interpreter's output; on failure the base is untouched and no ".$AA" file is
// left; progress is never set when progressFrom equals progressTo.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "decode/checksum.h"
#include "decode/package_reader.h"
#include "install/patch_apply.h"
#include "package/file_entry.h"
#include "platform/sim/sim_platform.h"
#include "session/setup_context.h"

namespace {

constexpr size_t kMaxOutput = 4u << 20;
constexpr uint64_t kNoLimit = ~uint64_t{0};
constexpr const char* kBase = "C:\\app\\file.$$A";
constexpr const char* kOutput = "C:\\app\\file.$AA";
constexpr const char* kTarget = "C:\\app\\file.dll";

struct Expected {
  // 0, ERR_WRITE (19), ERR_CORRUPT (18, a copy outside the base) or
  // ERR_CHECKSUM (21, output that is not fileSize bytes)
  int error = 0;
  bool tooBig = false;
  std::string output;
};

// The command stream as the format describes it, one step at a time. Output
// past `fileSize` is damage, found as soon as it is written, and so is output
// that ends short of it.
Expected Interpret(const std::string& base, const std::string& commands,
                   const std::string& literals, uint64_t fileSize) {
  Expected e;
  size_t cp = 0, lp = 0;
  int64_t position = 0;
  auto byte = [&](uint32_t* v) {
    if (cp >= commands.size()) return false;
    *v = static_cast<uint8_t>(commands[cp++]);
    return true;
  };
  while (cp < commands.size()) {
    uint32_t c = static_cast<uint8_t>(commands[cp++]);
    uint32_t count = 0;
    if (c >= 0x80) {
      uint32_t n = (c >> 5) & 3;
      uint32_t take = n == 0 ? (c & 0x1F) + 1 : n;
      if (literals.size() - lp < take) return e.error = setup::ERR_WRITE, e;
      e.output.append(literals, lp, take);
      lp += take;
      if (e.output.size() > fileSize) return e.error = setup::ERR_CHECKSUM, e;
      if (n == 0) continue;
      count = (c & 0x1F) + 2;
    } else if (c != 0) {
      count = c + 1;
    } else {
      uint32_t lo, hi;
      if (!byte(&lo) || !byte(&hi)) return e.error = setup::ERR_WRITE, e;
      count = (hi << 8 | lo) + 129;
    }
    uint32_t b0, b1, b2;
    int64_t d;
    if (!byte(&b0)) return e.error = setup::ERR_WRITE, e;
    if ((b0 & 0xC0) == 0x80) {
      d = (b0 & 0x20) ? static_cast<int64_t>(b0 & 0x3F) - 64 : (b0 & 0x3F);
    } else if ((b0 & 0x80) == 0) {
      if (!byte(&b1)) return e.error = setup::ERR_WRITE, e;
      int64_t v = (b0 & 0x7F) << 8 | b1;
      if (v & 0x4000) v -= 0x8000;
      d = v >= 0 ? v + 32 : v - 32;
    } else {
      if (!byte(&b1) || !byte(&b2)) return e.error = setup::ERR_WRITE, e;
      int64_t v = (b0 & 0x3F) << 16 | b1 << 8 | b2;
      if (v & 0x200000) v -= 0x400000;
      d = v >= 0 ? v + 16416 : v - 16416;
    }
    int64_t from = position + d;
    if (from < 0 || from + count > static_cast<int64_t>(base.size())) {
      return e.error = setup::ERR_CORRUPT, e;
    }
    e.output.append(base, static_cast<size_t>(from), count);
    position = from + count;
    if (e.output.size() > fileSize) return e.error = setup::ERR_CHECKSUM, e;
    if (e.output.size() > kMaxOutput) return e.tooBig = true, e;
  }
  if (fileSize != kNoLimit && e.output.size() != fileSize) e.error = setup::ERR_CHECKSUM;
  return e;
}

class RecordingProgress final : public setup::ProgressBar {
 public:
  void SetProgressPercent(int) override { ++calls; }
  int calls = 0;
};

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

std::string RawItem(const std::string& data) {
  std::string item(1, '\x02');
  Put32(item, static_cast<uint32_t>(data.size()));
  return item + data;
}

std::string StoredItem(const std::string& data) {
  // One final stored block: header nibble 0xF, u16 length, the bytes.
  std::string stream = "\x0F";
  stream.push_back(static_cast<char>(data.size()));
  stream.push_back(static_cast<char>(data.size() >> 8));
  stream += data;
  std::string item(1, '\x07');
  Put32(item, static_cast<uint32_t>(data.size()));
  Put32(item, static_cast<uint32_t>(stream.size()));
  return item + stream;
}

std::vector<uint8_t> Entry(uint32_t fileSize, uint32_t checksum, bool times) {
  std::string e(2, '\0');
  e += std::string(4, '\0');              // state, icon
  Put32(e, 3);                            // dataOffset
  Put32(e, 0);                            // storedSize (not used by the patch)
  Put32(e, fileSize);
  Put32(e, checksum);
  e.push_back(static_cast<char>(setup::FEF_PATCH | (times ? setup::FEF_FILE_TIMES : 0)));
  e += std::string(7, '\0');
  if (times) {
    for (uint32_t i = 1; i <= 6; ++i) Put32(e, i * 0x01010101u);
  }
  e += std::string("file.dll") + std::string(6, '\0');
  e[0] = static_cast<char>(e.size());
  e[1] = static_cast<char>(e.size() >> 8);
  return std::vector<uint8_t>(e.begin(), e.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 11 || size > 200000) return 0;
  uint8_t options = data[0];
  uint32_t fileSize = data[1] | data[2] << 8 | data[3] << 16 | static_cast<uint32_t>(data[4]) << 24;
  int from = data[5], to = data[6];
  size_t rest = size - 11;
  size_t baseLength = std::min<size_t>(data[7] | data[8] << 8, rest);
  size_t commandLength = std::min<size_t>(data[9] | data[10] << 8, rest - baseLength);
  const char* p = reinterpret_cast<const char*>(data + 11);
  std::string base(p, baseLength);
  std::string commands(p + baseLength, commandLength);
  std::string literals(p + baseLength + commandLength, rest - baseLength - commandLength);
  bool compressedLiterals = (options & 4) != 0 && literals.size() <= 0xFFFF;

  Expected expected = Interpret(base, commands, literals, kNoLimit);
  if (expected.tooBig) return 0;
  if ((options & 8) != 0) {
    expected = Interpret(base, commands, literals, fileSize);
  } else {
    fileSize = static_cast<uint32_t>(expected.output.size());
  }
  uint32_t checksum = setup::ComputeChecksum(expected.output.data(),
                                             static_cast<uint32_t>(expected.output.size()), 0);
  bool wrongChecksum = (options & 2) != 0;
  if (wrongChecksum) checksum ^= 0x80000000u;
  std::vector<uint8_t> entry = Entry(fileSize, checksum, (options & 1) != 0);

  setup::SimPlatform sim;
  sim.AddDrive('C', 1u << 30);
  sim.AddFile(kBase, base);
  std::string file(31, 'S');
  std::string region = "pad" + RawItem(commands) +
                       (compressedLiterals ? StoredItem(literals) : RawItem(literals));
  Put32(file, static_cast<uint32_t>(region.size()));
  sim.AddFile("C:\\SETUP.EXE", file + region);
  RecordingProgress progress;
  int result;
  int error;
  std::string subject;
  {
    setup::SetupContext context(sim);
    std::strcpy(context.packagePath, "C:\\SETUP.EXE");
    std::strcpy(context.targetPath, kTarget);
    context.package.regionStart = 31;
    context.package.regionLength = static_cast<uint32_t>(region.size());
    context.progress = &progress;
    if (setup::BeginPackageData(context) != 0) __builtin_trap();
    setup::PatchTarget target{context.reader, context.run.error, context.progress,
                              context.targetPath};
    result = setup::ApplyPatch(target, entry.data(), kBase, from, to);
    error = context.run.error.number;
    subject = context.run.error.subject;
    setup::EndPackageData(context.reader);
  }
  if (sim.OutstandingBlocks() != 0 || sim.invalidFrees != 0 || sim.OpenHandleCount() != 0) {
    __builtin_trap();
  }
  if (from == to && progress.calls != 0) __builtin_trap();
  if (sim.FileExists(kOutput)) __builtin_trap();

  int expectedError = expected.error != 0 ? expected.error : wrongChecksum ? setup::ERR_CHECKSUM : 0;
  if (expectedError == 0) {
    if (result != 1 || error != 0) __builtin_trap();
    std::optional<std::string> got = sim.FileContents(kBase);
    if (!got || *got != expected.output) __builtin_trap();
    if ((options & 1) != 0) {
      auto times = sim.FileTimes(kBase);
      if (!times || (*times)[2].high != 6 * 0x01010101u) __builtin_trap();
    }
  } else {
    if (result != 0 || error != expectedError) __builtin_trap();
    // Damaged commands name the file being written; a bad base copy, a wrong
    // size or checksum names the target.
    if (subject != (expectedError == setup::ERR_WRITE ? kOutput : kTarget)) __builtin_trap();
    if (sim.FileContents(kBase) != base) __builtin_trap();
  }
  return 0;
}
