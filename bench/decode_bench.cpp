// decode_bench: the speed of the setup's stream decoder against zlib's and
// libdeflate's DEFLATE decoders, on the same content.
//
//   decode_bench [CORPUS_DIR] [--repeat N] [--gbench] [--benchmark_...]
//                [--save-streams DIR]
//
// Every regular, non-hidden file of the corpus directory (argument, else
// $SETUP_BENCH_CORPUS, else bench/corpus in the source tree; build it with
// bench/make_corpus.sh) is compressed once to raw DEFLATE by libdeflate at
// level 6. zlib (raw inflate) and libdeflate decode that DEFLATE stream; the
// setup's StreamDecoder decodes the same stream transcoded to the package
// format, so all three rebuild exactly the same blocks, codes and symbols.
// All outputs are checked against the input once before any timing.
//
// Sources. zlib and libdeflate decode from a buffer in memory. For a fair
// comparison, "ours" reads its stream through MemoryPlatform below, a minimal
// Platform whose ReadFile and SetFilePointer serve one buffer: it pays for
// its own 4096-byte input blocks and its window-to-sink copy, as it would in
// the setup, but not for system calls the others do not make. "ours-file"
// is shown for information: the same decoder reading a file on disk (through
// the page cache) with HostPlatform, as the setup reads a package. The ratios
// use the in-memory figure. One decoder object per source serves every
// iteration, as the setup keeps one for all of its files; zlib's stream is
// likewise reset rather than set up again, and libdeflate's decompressor is
// allocated once.
//
// Timing (default): each repetition decodes every stream with every decoder,
// in an order that rotates between repetitions, and the best (shortest) time
// of each stream and decoder over --repeat repetitions (default 10) is kept.
// MB/s is uncompressed output in 10^6 bytes per second; a ratio above 1 means
// ours is faster.
//
// --save-streams DIR also writes each transcoded stream to DIR/NAME.stream,
// the input of decode_timing.exe, which times the stub's own build of the
// decoder under Wine (bench/stub_decode_timing.sh).
//
// With --gbench, or any --benchmark_... flag (passed to Google Benchmark),
// each stream and decoder is also run as a Google Benchmark with its bytes
// processed set to the output size, before the table.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/file_io.h"
#include "decode/stream_decoder.h"
#include "platform/host/host_platform.h"
#include "tools/streamwriter/stream_writer.h"

#ifndef SETUP_BENCH_DEFAULT_CORPUS
#define SETUP_BENCH_DEFAULT_CORPUS "bench/corpus"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kLevel = 6;  // libdeflate level of the DEFLATE streams

// Temporary files to remove even when the benchmark dies.
std::vector<std::string> gTempFiles;

[[noreturn]] void Die(const std::string& message) {
  for (const auto& path : gTempFiles) unlink(path.c_str());
  std::fprintf(stderr, "decode_bench: FATAL: %s\n", message.c_str());
  std::fflush(stderr);
  std::abort();
}

// A Platform that serves one read-only file from memory and the heap from
// malloc. Everything else fails.
class MemoryPlatform final : public setup::FilesOnlyPlatform {
 public:
  void NoteError(uint32_t error) override { lastError_ = error; }

  static constexpr setup::FileHandle kStream = 3;

  void Serve(const uint8_t* data, size_t size) {
    data_ = data;
    size_ = size;
    position_ = 0;
  }

  setup::FileHandle CreateFileA(const char*, uint32_t, uint32_t, uint32_t) override {
    lastError_ = setup::kErrorFileNotFound;
    return setup::kInvalidFile;
  }
  int ReadFile(setup::FileHandle file, void* buffer, uint32_t count, uint32_t* done) override {
    *done = 0;
    if (file != kStream) return Fail(setup::kErrorInvalidHandle);
    size_t n = position_ < size_ ? std::min<size_t>(count, size_ - position_) : 0;
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    *done = static_cast<uint32_t>(n);
    return 1;
  }
  int WriteFile(setup::FileHandle, const void*, uint32_t, uint32_t* done) override {
    *done = 0;
    return Fail(setup::kErrorAccessDenied);
  }
  uint32_t SetFilePointer(setup::FileHandle file, int32_t distance, uint32_t origin) override {
    if (file != kStream) {
      Fail(setup::kErrorInvalidHandle);
      return setup::kInvalidSetFilePointer;
    }
    int64_t base = origin == setup::kFileBegin     ? 0
                   : origin == setup::kFileCurrent ? static_cast<int64_t>(position_)
                   : origin == setup::kFileEnd     ? static_cast<int64_t>(size_)
                                                   : -1;
    int64_t target = base + distance;
    if (base < 0 || target < 0 || target >= int64_t{setup::kInvalidSetFilePointer}) {
      Fail(setup::kErrorInvalidParameter);
      return setup::kInvalidSetFilePointer;
    }
    position_ = static_cast<size_t>(target);
    return static_cast<uint32_t>(target);
  }
  int SetEndOfFile(setup::FileHandle) override { return Fail(setup::kErrorAccessDenied); }
  int CloseHandle(setup::FileHandle file) override {
    return file == kStream ? 1 : Fail(setup::kErrorInvalidHandle);
  }
  int DeleteFileA(const char*) override { return Fail(setup::kErrorAccessDenied); }
  int MoveFileA(const char*, const char*) override { return Fail(setup::kErrorAccessDenied); }
  uint32_t GetFileAttributesA(const char*) override {
    Fail(setup::kErrorFileNotFound);
    return setup::kInvalidFileAttributes;
  }
  int SetFileAttributesA(const char*, uint32_t) override {
    return Fail(setup::kErrorAccessDenied);
  }
  int SetFileTime(setup::FileHandle, const setup::FileTime*, const setup::FileTime*,
                  const setup::FileTime*) override {
    return Fail(setup::kErrorAccessDenied);
  }
  uint32_t GetLastError() override { return lastError_; }

  void* HeapAlloc(uint32_t size, bool zeroed) override {
    return zeroed ? std::calloc(size, 1) : std::malloc(size);
  }
  void HeapFree(void* block) override { std::free(block); }
  void HeapCompact() override {}

  int MessageBoxA(setup::WindowHandle, const char* text, const char* caption,
                  uint32_t) override {
    std::fprintf(stderr, "[%s] %s\n", caption ? caption : "", text ? text : "");
    return setup::kIdOk;
  }

 private:
  int Fail(uint32_t error) {
    lastError_ = error;
    return 0;
  }

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t position_ = 0;
  uint32_t lastError_ = 0;
};

struct Stream {
  std::string name;
  std::vector<uint8_t> original;
  std::vector<uint8_t> deflate;  // raw DEFLATE, libdeflate level kLevel
  std::vector<uint8_t> ours;     // the same, transcoded to the package format
  std::string path;              // `ours` as a file on disk, for ours-file
  setup::FileHandle file = setup::kInvalidFile;
};

enum Decoder { kOurs, kOursFile, kZlib, kLibdeflate, kDecoderCount };
const char* const kDecoderNames[kDecoderCount] = {"ours", "ours-file", "zlib", "libdeflate"};

// The decoders and their long-lived state.
class Decoders {
 public:
  Decoders() : ours_(memory_, nullptr), oursFile_(host_, nullptr) {
    std::memset(&zlib_, 0, sizeof zlib_);
    if (inflateInit2(&zlib_, -15) != Z_OK) Die("inflateInit2 failed");
    libdeflate_ = libdeflate_alloc_decompressor();
    if (libdeflate_ == nullptr) Die("libdeflate_alloc_decompressor failed");
  }
  ~Decoders() {
    inflateEnd(&zlib_);
    libdeflate_free_decompressor(libdeflate_);
  }
  Decoders(const Decoders&) = delete;
  Decoders& operator=(const Decoders&) = delete;

  setup::HostPlatform& Host() { return host_; }

  // Decodes `s` into `out` (room for exactly the original size). The timed form:
  // false when the decoder reports failure.
  bool Run(Decoder which, const Stream& s, uint8_t* out) {
    const uint32_t size = static_cast<uint32_t>(s.original.size());
    switch (which) {
      case kOurs:
        memory_.Serve(s.ours.data(), s.ours.size());
        if (setup::SeekFile(memory_, MemoryPlatform::kStream, 0, setup::kFileBegin) != 0) {
          return false;
        }
        return ours_.DecodeToMemory(out, size, MemoryPlatform::kStream, 0) == setup::DECODE_OK;
      case kOursFile:
        if (setup::SeekFile(host_, s.file, 0, setup::kFileBegin) != 0) return false;
        return oursFile_.DecodeToMemory(out, size, s.file, 0) == setup::DECODE_OK;
      case kZlib: {
        if (inflateReset(&zlib_) != Z_OK) return false;
        zlib_.next_in = const_cast<Bytef*>(s.deflate.data());
        zlib_.avail_in = static_cast<uInt>(s.deflate.size());
        zlib_.next_out = out;
        zlib_.avail_out = size;
        return inflate(&zlib_, Z_FINISH) == Z_STREAM_END && zlib_.total_out == size;
      }
      case kLibdeflate: {
        size_t actual = 0;
        return libdeflate_deflate_decompress(libdeflate_, s.deflate.data(), s.deflate.size(), out,
                                             size, &actual) == LIBDEFLATE_SUCCESS &&
               actual == size;
      }
      default:
        return false;
    }
  }

  // The checked form: decodes into a buffer one byte larger than the original
  // and fails unless exactly the original comes out.
  void Verify(Decoder which, const Stream& s) {
    const size_t size = s.original.size();
    std::vector<uint8_t> out(size + 1, 0xA5);
    bool ok = false;
    std::string detail;
    switch (which) {
      case kOurs:
      case kOursFile: {
        setup::StreamDecoder& decoder = which == kOurs ? ours_ : oursFile_;
        setup::Platform& platform =
            which == kOurs ? static_cast<setup::Platform&>(memory_) : host_;
        setup::FileHandle input = which == kOurs ? MemoryPlatform::kStream : s.file;
        if (which == kOurs) memory_.Serve(s.ours.data(), s.ours.size());
        if (setup::SeekFile(platform, input, 0, setup::kFileBegin) != 0) {
          detail = "seek failed";
          break;
        }
        setup::MemorySink sink(out.data(), static_cast<uint32_t>(out.size()));
        int result = decoder.Decode(sink, input, 0);
        ok = result == setup::DECODE_OK && sink.Written() == size;
        detail = "result " + std::to_string(result) + ", stream result " +
                 std::to_string(decoder.LastResult()) + ", " + std::to_string(sink.Written()) +
                 " bytes";
        break;
      }
      case kZlib: {
        inflateReset(&zlib_);
        zlib_.next_in = const_cast<Bytef*>(s.deflate.data());
        zlib_.avail_in = static_cast<uInt>(s.deflate.size());
        zlib_.next_out = out.data();
        zlib_.avail_out = static_cast<uInt>(out.size());
        int z = inflate(&zlib_, Z_FINISH);
        ok = z == Z_STREAM_END && zlib_.total_out == size;
        detail = "inflate " + std::to_string(z) + ", " + std::to_string(zlib_.total_out) + " bytes";
        break;
      }
      case kLibdeflate: {
        size_t actual = 0;
        auto r = libdeflate_deflate_decompress(libdeflate_, s.deflate.data(), s.deflate.size(),
                                               out.data(), out.size(), &actual);
        ok = r == LIBDEFLATE_SUCCESS && actual == size;
        detail = "result " + std::to_string(r) + ", " + std::to_string(actual) + " bytes";
        break;
      }
      default:
        break;
    }
    if (!ok || std::memcmp(out.data(), s.original.data(), size) != 0) {
      Die(std::string(kDecoderNames[which]) + " does not reproduce " + s.name + " (" + detail +
          (ok ? ", contents differ)" : ")"));
    }
  }

 private:
  MemoryPlatform memory_;
  setup::HostPlatform host_;
  setup::StreamDecoder ours_;
  setup::StreamDecoder oursFile_;
  z_stream zlib_;
  libdeflate_decompressor* libdeflate_ = nullptr;
};

bool ReadAll(const fs::path& path, std::vector<uint8_t>* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The corpus: every regular, non-hidden file of `dir`, by name.
std::vector<Stream> LoadCorpus(const fs::path& dir) {
  std::vector<fs::path> paths;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
      paths.push_back(entry.path());
    }
  }
  if (ec) Die("cannot list " + dir.string() + ": " + ec.message());
  std::sort(paths.begin(), paths.end());

  std::vector<Stream> streams;
  for (const auto& path : paths) {
    Stream s;
    s.name = path.filename().string();
    if (!ReadAll(path, &s.original)) Die("cannot read " + path.string());
    if (s.original.empty()) continue;
    if (s.original.size() >= 0x7FFFFFFFu) Die(path.string() + " is too large (2 GB or more)");
    setup::tools::StreamOptions options;
    options.compressor = setup::tools::Compressor::Libdeflate;
    options.level = kLevel;
    s.deflate = setup::tools::CompressDeflate(s.original.data(), s.original.size(), options);
    std::string error;
    auto transcoded = setup::tools::TranscodeDeflate(s.deflate, &error);
    if (!transcoded) Die("cannot transcode the DEFLATE of " + s.name + ": " + error);
    s.ours = std::move(*transcoded);
    streams.push_back(std::move(s));
  }
  return streams;
}

// Writes each stream's package-format bytes to a temporary file and opens it
// for ours-file.
void CreateStreamFiles(std::vector<Stream>& streams, setup::HostPlatform& host) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  for (auto& s : streams) {
    std::string pattern = dir + "/decode_bench.XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) Die("cannot create a temporary file in " + dir);
    gTempFiles.push_back(pattern);
    size_t done = 0;
    while (done < s.ours.size()) {
      ssize_t n = write(fd, s.ours.data() + done, s.ours.size() - done);
      if (n <= 0) Die("cannot write " + pattern);
      done += static_cast<size_t>(n);
    }
    close(fd);
    s.path = pattern;
    char enginePath[4096];
    setup::ToEnginePath(s.path.c_str(), enginePath, sizeof enginePath);
    s.file = setup::OpenForRead(host, enginePath);
    if (s.file == setup::kInvalidFile) Die("cannot open " + s.path + " with HostPlatform");
  }
}

void RemoveStreamFiles(std::vector<Stream>& streams, setup::HostPlatform& host) {
  for (auto& s : streams) {
    setup::CloseFile(host, &s.file);
    if (!s.path.empty()) unlink(s.path.c_str());
  }
}

double MBps(size_t bytes, double seconds) {
  return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0;
}

std::string CpuName() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) {
      auto colon = line.find(':');
      if (colon != std::string::npos) return line.substr(line.find_first_not_of(" \t", colon + 1));
    }
  }
  return "unknown CPU";
}

// Google Benchmark mode: remembers the best bytes per second of each run name.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      double& best = rates[run.run_name.function_name];
      best = std::max(best, static_cast<double>(it->second.value));
    }
  }
  std::map<std::string, double> rates;
};

void PrintRule(int width) { std::printf("%s\n", std::string(width, '-').c_str()); }

int Usage() {
  std::fprintf(stderr,
               "usage: decode_bench [CORPUS_DIR] [--repeat N] [--gbench] [--benchmark_...]\n"
               "                    [--save-streams DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string corpusDir;
  int repeat = 10;
  bool gbench = false;
  std::string saveDir;
  std::vector<char*> gbenchArgs{argv[0]};
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--repeat" && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
      if (repeat < 1) return Usage();
    } else if (arg == "--save-streams" && i + 1 < argc) {
      saveDir = argv[++i];
    } else if (arg == "--gbench") {
      gbench = true;
    } else if (arg.rfind("--benchmark_", 0) == 0) {
      gbench = true;
      gbenchArgs.push_back(argv[i]);
    } else if (arg == "-h" || arg == "--help") {
      return Usage();
    } else if (!arg.empty() && arg[0] != '-' && corpusDir.empty()) {
      corpusDir = arg;
    } else {
      return Usage();
    }
  }
  if (corpusDir.empty()) {
    const char* env = std::getenv("SETUP_BENCH_CORPUS");
    corpusDir = env != nullptr && *env != '\0' ? env : SETUP_BENCH_DEFAULT_CORPUS;
  }

  std::error_code ec;
  if (!fs::is_directory(corpusDir, ec)) {
    std::fprintf(stderr,
                 "decode_bench: no corpus directory %s\n"
                 "Build it with:  %s/make_corpus.sh%s%s\n"
                 "or name a directory of files: decode_bench DIR (or SETUP_BENCH_CORPUS=DIR).\n",
                 corpusDir.c_str(), SETUP_BENCH_SOURCE_DIR,
                 corpusDir == SETUP_BENCH_DEFAULT_CORPUS ? "" : " ",
                 corpusDir == SETUP_BENCH_DEFAULT_CORPUS ? "" : corpusDir.c_str());
    return 1;
  }

  std::printf("Compressing %s (libdeflate level %d) and transcoding...\n", corpusDir.c_str(),
              kLevel);
  std::fflush(stdout);
  std::vector<Stream> streams = LoadCorpus(corpusDir);
  if (streams.empty()) {
    std::fprintf(stderr,
                 "decode_bench: %s holds no non-empty files. Build the corpus with %s/make_corpus.sh\n",
                 corpusDir.c_str(), SETUP_BENCH_SOURCE_DIR);
    return 1;
  }

  auto decoders = std::make_unique<Decoders>();
  CreateStreamFiles(streams, decoders->Host());

  // Check every decoder on every stream (this also warms them up).
  size_t largest = 0;
  for (const auto& s : streams) {
    for (int d = 0; d < kDecoderCount; ++d) decoders->Verify(static_cast<Decoder>(d), s);
    largest = std::max(largest, s.original.size());
  }
  std::printf("All %zu streams decode to their input with all %d decoders.\n", streams.size(),
              static_cast<int>(kDecoderCount));
  if (!saveDir.empty()) {
    for (const auto& s : streams) {
      std::string path = saveDir + "/" + s.name + ".stream";
      std::ofstream file(path, std::ios::binary);
      file.write(reinterpret_cast<const char*>(s.ours.data()),
                 static_cast<std::streamsize>(s.ours.size()));
      if (!file) Die("cannot write " + path);
    }
    std::printf("Transcoded streams saved in %s\n", saveDir.c_str());
  }

  // One output buffer for everyone, touched once so that no decoder pays for
  // its page faults.
  std::vector<uint8_t> out(largest, 0);

  if (gbench) {
    for (const auto& s : streams) {
      for (int d = 0; d < kDecoderCount; ++d) {
        std::string name = std::string(kDecoderNames[d]) + "/" + s.name;
        Decoders* dec = decoders.get();
        const Stream* stream = &s;
        uint8_t* buffer = out.data();
        benchmark::RegisterBenchmark(name.c_str(), [dec, d, stream, buffer](benchmark::State& state) {
          for (auto _ : state) {
            if (!dec->Run(static_cast<Decoder>(d), *stream, buffer)) {
              state.SkipWithError("decode failed");
              break;
            }
            benchmark::ClobberMemory();
          }
          state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                                  static_cast<int64_t>(stream->original.size()));
        })->Unit(benchmark::kMillisecond);
      }
    }
    int gargc = static_cast<int>(gbenchArgs.size());
    benchmark::Initialize(&gargc, gbenchArgs.data());
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nGoogle Benchmark, best MB/s (10^6 bytes/s) per stream:\n");
    std::printf("%-16s %10s %10s %10s %10s %10s %15s\n", "stream", "ours", "ours-file", "zlib",
                "libdeflate", "ours/zlib", "ours/libdeflate");
    for (const auto& s : streams) {
      double r[kDecoderCount];
      for (int d = 0; d < kDecoderCount; ++d) {
        r[d] = reporter.rates[std::string(kDecoderNames[d]) + "/" + s.name] / 1e6;
      }
      std::printf("%-16s %10.1f %10.1f %10.1f %10.1f %10.3f %15.3f\n", s.name.c_str(), r[kOurs],
                  r[kOursFile], r[kZlib], r[kLibdeflate], r[kZlib] > 0 ? r[kOurs] / r[kZlib] : 0,
                  r[kLibdeflate] > 0 ? r[kOurs] / r[kLibdeflate] : 0);
    }
    std::printf("\n");
  }

  // Min-of-N timing.
  using Clock = std::chrono::steady_clock;
  std::vector<std::array<double, kDecoderCount>> best(streams.size());
  for (auto& b : best) b.fill(1e30);
  for (int r = 0; r < repeat; ++r) {
    for (size_t i = 0; i < streams.size(); ++i) {
      for (int k = 0; k < kDecoderCount; ++k) {
        auto d = static_cast<Decoder>((k + r) % kDecoderCount);
        auto start = Clock::now();
        bool ok = decoders->Run(d, streams[i], out.data());
        double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (!ok) Die(std::string(kDecoderNames[d]) + " failed on " + streams[i].name);
        best[i][d] = std::min(best[i][d], seconds);
      }
    }
  }

  std::printf("\nCPU: %s; zlib %s; libdeflate %s\n", CpuName().c_str(), zlibVersion(),
              LIBDEFLATE_VERSION_STRING);
  std::printf("Decode speed, MB/s of output (10^6 bytes/s), best of %d; ratio = ours / other\n",
              repeat);
  const int width = 114;
  PrintRule(width);
  std::printf("%-16s %9s %7s %10s %10s %10s %10s %10s %15s\n", "stream", "MB", "deflate", "ours",
              "ours-file", "zlib", "libdeflate", "ours/zlib", "ours/libdeflate");
  PrintRule(width);
  size_t totalBytes = 0, totalDeflate = 0;
  std::array<double, kDecoderCount> totalSeconds{};
  for (size_t i = 0; i < streams.size(); ++i) {
    const Stream& s = streams[i];
    size_t bytes = s.original.size();
    totalBytes += bytes;
    totalDeflate += s.deflate.size();
    double rate[kDecoderCount];
    for (int d = 0; d < kDecoderCount; ++d) {
      totalSeconds[d] += best[i][d];
      rate[d] = MBps(bytes, best[i][d]);
    }
    std::printf("%-16s %9.2f %6.1f%% %10.1f %10.1f %10.1f %10.1f %10.3f %15.3f\n",
                s.name.c_str(), bytes / 1e6, 100.0 * s.deflate.size() / bytes, rate[kOurs],
                rate[kOursFile], rate[kZlib], rate[kLibdeflate], rate[kOurs] / rate[kZlib],
                rate[kOurs] / rate[kLibdeflate]);
  }
  PrintRule(width);
  double rate[kDecoderCount];
  for (int d = 0; d < kDecoderCount; ++d) rate[d] = MBps(totalBytes, totalSeconds[d]);
  std::printf("%-16s %9.2f %6.1f%% %10.1f %10.1f %10.1f %10.1f %10.3f %15.3f\n", "TOTAL",
              totalBytes / 1e6, 100.0 * totalDeflate / totalBytes, rate[kOurs], rate[kOursFile],
              rate[kZlib], rate[kLibdeflate], rate[kOurs] / rate[kZlib],
              rate[kOurs] / rate[kLibdeflate]);
  PrintRule(width);
  std::printf("ours/zlib = %.3f   ours/libdeflate = %.3f   (TOTAL; above 1: ours is faster)\n",
              rate[kOurs] / rate[kZlib], rate[kOurs] / rate[kLibdeflate]);

  RemoveStreamFiles(streams, decoders->Host());
  return 0;
}
