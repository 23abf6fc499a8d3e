// streamtool: compresses files into the package's stream format and decodes
// them again with the setup's own decoder.
//
//   streamtool pack IN OUT [--zlib] [--level N]
//   streamtool unpack IN OUT
//   streamtool check [--zlib] [--level N] PATH...   (every file below each PATH)
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "decode/stream_decoder.h"
#include "platform/host/host_platform.h"
#include "tools/streamwriter/stream_writer.h"

namespace fs = std::filesystem;
using setup::tools::Compressor;
using setup::tools::StreamOptions;

namespace {

int Usage() {
  std::cerr << "usage: streamtool pack IN OUT [--zlib] [--level N]\n"
               "       streamtool unpack IN OUT\n"
               "       streamtool check [--zlib] [--level N] PATH...\n";
  return 2;
}

bool ReadAll(const fs::path& path, std::vector<uint8_t>* data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteAll(const fs::path& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

// Decodes a stream file with the setup's decoder; false when it fails.
bool DecodeFile(const fs::path& in, const fs::path& out) {
  setup::HostPlatform platform;
  char enginePath[4096];
  setup::ToEnginePath(in.c_str(), enginePath, sizeof enginePath);
  setup::FileHandle input = setup::OpenForRead(platform, enginePath);
  setup::ToEnginePath(out.c_str(), enginePath, sizeof enginePath);
  setup::FileHandle output = setup::CreateForWrite(platform, enginePath);
  setup::StreamDecoder decoder(platform, nullptr);
  int result = decoder.DecodeToFile(output, input, 0);
  setup::CloseFile(platform, &input);
  setup::CloseFile(platform, &output);
  return result == setup::DECODE_OK;
}

bool DecodeBuffer(const std::vector<uint8_t>& stream, size_t expected,
                  std::vector<uint8_t>* out) {
  // The decoder reads from a file; give it one.
  char name[] = "/tmp/streamtool-XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0) return false;
  close(fd);
  bool ok = WriteAll(name, stream);
  setup::HostPlatform platform;
  setup::FileHandle input = setup::OpenForRead(platform, name);
  out->assign(expected, 0);
  setup::StreamDecoder decoder(platform, nullptr);
  ok = ok && decoder.DecodeToMemory(out->data(), static_cast<uint32_t>(expected), input, 0) ==
                 setup::DECODE_OK;
  setup::CloseFile(platform, &input);
  std::remove(name);
  return ok;
}

int Check(const std::vector<std::string>& paths, const StreamOptions& options) {
  size_t files = 0, failed = 0, inBytes = 0, outBytes = 0;
  auto checkOne = [&](const fs::path& file) {
    std::vector<uint8_t> data;
    if (!ReadAll(file, &data)) return;
    std::vector<uint8_t> stream = setup::tools::WriteStream(data.data(), data.size(), options);
    std::vector<uint8_t> back;
    bool ok = DecodeBuffer(stream, data.size(), &back) && back == data;
    ++files;
    inBytes += data.size();
    outBytes += stream.size();
    if (!ok) {
      ++failed;
      std::cerr << "MISMATCH " << file.string() << "\n";
    }
  };
  for (const std::string& p : paths) {
    if (fs::is_directory(p)) {
      for (const auto& entry : fs::recursive_directory_iterator(p)) {
        if (entry.is_regular_file()) checkOne(entry.path());
      }
    } else {
      checkOne(p);
    }
  }
  std::printf("%zu files, %zu bytes -> %zu bytes (%.1f%%), %zu failed\n", files, inBytes,
              outBytes, inBytes ? 100.0 * static_cast<double>(outBytes) / static_cast<double>(inBytes) : 0.0,
              failed);
  return failed == 0 && files > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  StreamOptions options;
  std::vector<std::string> args;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--zlib") {
      options.compressor = Compressor::Zlib;
      if (options.level > 9) options.level = 9;
    } else if (a == "--level" && i + 1 < argc) {
      options.level = std::atoi(argv[++i]);
    } else {
      args.push_back(a);
    }
  }
  try {
    if (command == "pack" && args.size() == 2) {
      std::vector<uint8_t> data;
      if (!ReadAll(args[0], &data)) {
        std::cerr << "streamtool: cannot read " << args[0] << "\n";
        return 1;
      }
      return WriteAll(args[1], setup::tools::WriteStream(data.data(), data.size(), options)) ? 0 : 1;
    }
    if (command == "unpack" && args.size() == 2) {
      if (DecodeFile(args[0], args[1])) return 0;
      std::cerr << "streamtool: " << args[0] << " is not a valid stream\n";
      return 1;
    }
    if (command == "check" && !args.empty()) return Check(args, options);
  } catch (const std::exception& e) {
    std::cerr << "streamtool: " << e.what() << "\n";
    return 1;
  }
  return Usage();
}
