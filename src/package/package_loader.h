// Reading the record stream into the package state, once, at start.
#pragma once

#include <cstdint>

#include "decode/stream_decoder.h"
#include "package/package_state.h"
#include "platform/platform.h"

namespace setup {

struct RecordHeader {
  uint16_t type;
  uint16_t flags;
  uint32_t length;
};

// Results of ReadRecordPayload.
enum PayloadResult : int {
  PAYLOAD_OK = 0,
  PAYLOAD_READ_FAILED = 1,
  PAYLOAD_DAMAGED = 2,    // the compressed stream does not decode to its size
  PAYLOAD_NO_MEMORY = 5,
};

// What the records may hold once decoded. One record: a full-screen picture
// of 2560 x 1600 at 32 bits (16 MiB), an uninstaller of a few MiB, or a file
// list of 100,000 entries with long names all fit in 32 MiB. All records
// together: 64 MiB, six components of such lists and both pictures. A package
// that asks for more is damaged: a few bytes of stream could otherwise make
// the setup allocate and decode gigabytes before it shows anything.
constexpr uint32_t kMaxRecordSize = 32u << 20;
constexpr uint32_t kMaxRecordsTotal = 64u << 20;

// Reads the payload of the record whose header was just read into a new block
// of its decoded size; a size beyond `room` makes it PAYLOAD_DAMAGED before
// anything is allocated. On any failure the block is freed and left null.
PayloadResult ReadRecordPayload(Platform& platform, StreamDecoder& decoder, FileHandle file,
                                const RecordHeader& header, Payload* payload,
                                uint32_t room = kMaxRecordSize);

enum class PackageLoad {
  kAbsent,    // the file carries no package, or it cannot be read
  kDamaged,   // the package is incomplete or damaged
  kComplete,
};

// Reads the package of the file at `path`, whose stub is `stubSize` bytes,
// into `package` (zero-filled before the first load). The decoder's buffers
// are released again at the end.
PackageLoad ReadPackage(Platform& platform, StreamDecoder& decoder, const char* path,
                        uint32_t stubSize, PackageState& package);

// Releases everything ReadPackage kept; safe after a failed or partial load.
void FreePackageState(Platform& platform, PackageState& package);

}  // namespace setup
