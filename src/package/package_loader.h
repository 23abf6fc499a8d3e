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

// Reads the payload of the record whose header was just read into a new block
// of its decoded size. On any failure the block is freed and left null.
PayloadResult ReadRecordPayload(Platform& platform, StreamDecoder& decoder, FileHandle file,
                                const RecordHeader& header, Payload* payload);

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
