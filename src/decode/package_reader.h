// Reading the file-data region: one logical byte sequence that begins behind
// the end record in the setup file and may go on in volume files beside it.
//
// Volume 0 is the setup file: after the end record's header stands u32 L0, then
// logical bytes 0 to L0 - 1. Volume k (SETUP.D01, SETUP.D02, ...: the package
// path with its extension replaced by ".D%2.2d" of k) starts with u32 Lk and
// holds the next Lk logical bytes. A missing volume is reported to a disk
// prompt, which asks for it when the setup runs from removable media; otherwise
// it is an error.
//
// Data items, self-describing pieces of the region:
//   u8 flags (bit 0 compressed, bit 1 size is u32, bit 2 compressed length is u32),
//   size (u16 or u32), compressed length (u16 or u32, when compressed),
//   then size raw bytes or one compressed stream of that length.
#pragma once

#include <cstdint>

#include "base/errors.h"
#include "base/text.h"
#include "decode/disk_prompt.h"
#include "decode/stream_decoder.h"
#include "platform/platform.h"

namespace setup {

// Volumes whose lengths are remembered, so that a read can go back to one.
constexpr uint32_t kTrackedVolumes = 128;

struct PackageReader;

// The counted input of the decoder for package data.
class PackageDataSource final : public CountedReader {
 public:
  explicit PackageDataSource(PackageReader& reader) : reader_(reader) {}
  bool ReadCounted(FileHandle* file, void* buffer, uint32_t count, uint32_t* delivered) override;
  void UnreadCounted(FileHandle file, uint32_t count) override;

 private:
  PackageReader& reader_;
};

// The reader of the file-data region and the decoder that reads through it.
// Failures are recorded in `error` (number and subject); a missing volume is
// reported to `prompt`, which is empty while nobody can be asked.
struct PackageReader {
  PackageReader(Platform& p, SetupError& e)
      : platform(p), error(e), source(*this), decoder(p, &source) {}
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  Platform& platform;
  SetupError& error;
  DiskPrompt prompt = {nullptr, nullptr};

  // Where the region is, as BeginPackageData was given it.
  char packagePath[kPathSize] = {};
  uint32_t regionStart = 0;       // file offset of the u32 L0 in the setup file
  uint32_t regionLength = 0;      // L0
  bool gaveUp = false;            // the user gave up at a disk prompt

  FileHandle handle = kInvalidFile;  // the open volume
  char fileName[kPathSize] = {};     // name of the current volume
  uint32_t volume = 0;               // 0 for the setup file
  uint32_t volumeLength = 0;         // Lk of the current volume
  uint32_t bytesLeft = 0;            // of the current volume, from the file position
  uint32_t volumeBase = 0;           // logical offset of the volume's first byte
  uint32_t knownLengths[kTrackedVolumes] = {};
  uint32_t knownVolumes = 0;         // how many entries of knownLengths hold a length

  PackageDataSource source;
  StreamDecoder decoder;
};

// A result beyond the setup error numbers: counted input failed after the user
// was told (a volume missing for good, or given up at the disk prompt). The
// setup ends at once.
constexpr int RESULT_ABORTED = -1;

// Opens the package file at the first byte of the region, which starts at
// `regionStart` with its u32 length `regionLength`: 0, or ERR_OPEN with the
// package path as the error subject.
int BeginPackageData(PackageReader& reader, const char* packagePath, uint32_t regionStart,
                     uint32_t regionLength);
// Closes the package file and frees the decoder's buffers.
void EndPackageData(PackageReader& reader);

// Positions the reader at a logical offset: 0, ERR_DISK_CANCELLED (the user gave
// up at the disk prompt) or ERR_CORRUPT (a volume cannot be opened; the error
// number and subject are set).
int SeekPackageData(PackageReader& reader, uint32_t offset);
// Reads up to n bytes from `file`, going on into the next volume when the
// current one ends. True on success (`got` may still be short), false when
// the next volume cannot be opened.
bool ReadPackageData(PackageReader& reader, FileHandle file, void* buffer, uint32_t n,
                    uint32_t* got);
// Opens the next volume (or the current one again after a read that ended
// early); returns the new handle or kInvalidFile.
FileHandle OpenNextVolume(PackageReader& reader);
// Reads one data item at the current position into a new block: 0,
// ERR_OUT_OF_MEMORY, ERR_CORRUPT (subject: the volume's name) or RESULT_ABORTED.
// A size of 0 leaves *buffer untouched.
int ReadDataItem(PackageReader& reader, uint8_t** buffer, uint32_t* size);

// The name of volume `number` for a package path (volume 0 is the path itself).
bool VolumeFileName(const char* packagePath, uint32_t number, char* out, uint32_t size);

}  // namespace setup
