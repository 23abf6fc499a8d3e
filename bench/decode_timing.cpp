// decode_timing: the speed of the stub's own build of the stream decoder
// (32-bit Windows, compiled with setup.exe's flags), run under Wine or on
// Windows. bench/stub_decode_timing.sh runs it on the corpus.
//
//   decode_timing.exe [--repeat N] STREAM...
//
// Each STREAM is a file holding one package-format stream (decode_bench
// --save-streams DIR writes the corpus's). It is decoded once to learn its
// size, then N times (default 5) from the file into memory; the best time
// gives MB/s of output (10^6 bytes/s). Timing two builds of this program
// with the same streams shows what a change to the decoder gains.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/file_io.h"
#include "decode/output_sink.h"
#include "decode/stream_decoder.h"
#include "platform/win32/win32_platform.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  int first = 1;
  if (argc > 2 && std::strcmp(argv[1], "--repeat") == 0) {
    repeat = std::atoi(argv[2]);
    first = 3;
  }
  if (first >= argc || repeat < 1) {
    std::fprintf(stderr, "usage: decode_timing.exe [--repeat N] STREAM...\n");
    return 2;
  }
  setup::Win32Platform platform;
  setup::StreamDecoder decoder(platform, nullptr);
  // Room for the largest stream of the corpus and then some.
  const uint32_t capacity = 64u << 20;
  uint8_t* out = static_cast<uint8_t*>(std::malloc(capacity));
  if (out == nullptr) return 1;
  double totalBytes = 0;
  double totalSeconds = 0;
  for (int i = first; i < argc; ++i) {
    setup::FileHandle file = setup::OpenForRead(platform, argv[i]);
    if (file == setup::kInvalidFile) {
      std::fprintf(stderr, "decode_timing: cannot open %s\n", argv[i]);
      return 1;
    }
    setup::MemorySink sink(out, capacity);
    if (decoder.Decode(sink, file, 0) != setup::DECODE_OK) {
      std::fprintf(stderr, "decode_timing: %s does not decode\n", argv[i]);
      return 1;
    }
    const uint32_t size = sink.Written();
    double best = 1e30;
    for (int r = 0; r < repeat; ++r) {
      setup::SeekFile(platform, file, 0, setup::kFileBegin);
      LARGE_INTEGER start, stop;
      QueryPerformanceCounter(&start);
      bool ok = decoder.DecodeToMemory(out, size, file, 0) == setup::DECODE_OK;
      QueryPerformanceCounter(&stop);
      if (!ok) {
        std::fprintf(stderr, "decode_timing: %s failed on run %d\n", argv[i], r + 1);
        return 1;
      }
      double seconds = Seconds(start, stop);
      if (seconds < best) best = seconds;
    }
    platform.CloseHandle(file);
    std::printf("%-40s %10.2f MB %10.1f MB/s\n", argv[i], size / 1e6, size / 1e6 / best);
    totalBytes += size;
    totalSeconds += best;
  }
  std::printf("%-40s %10.2f MB %10.1f MB/s\n", "TOTAL", totalBytes / 1e6,
              totalBytes / 1e6 / totalSeconds);
  std::free(out);
  return 0;
}
