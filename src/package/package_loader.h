// Reading the record stream into the package state, once, at start.
#pragma once

#include <cstdint>

#include "package/setup_context.h"

namespace setup {

struct RecordHeader {
  uint16_t type;
  uint16_t flags;
  uint32_t length;
};

// Results of ReadRecordPayload.
constexpr int PAYLOAD_OK = 0;
constexpr int PAYLOAD_READ_FAILED = 1;
constexpr int PAYLOAD_DAMAGED = 2;    // the compressed stream does not decode to its size
constexpr int PAYLOAD_NO_MEMORY = 5;

// Reads the payload of the record whose header was just read into a new block
// of its decoded size. On any failure the block is freed and left null.
int ReadRecordPayload(SetupContext& context, FileHandle file, const RecordHeader& header,
                      Payload* payload);

// Loads the package at context.packagePath, whose stub is context.stubSize
// bytes. Returns 1 when the package was read and is complete. Returns 0 when
// the file carries no package or cannot be read (no message), or when it is
// incomplete or damaged (string (6, 31) shown when the package has it).
int LoadPackage(SetupContext& context);

// Releases everything LoadPackage kept; safe after a failed or partial load.
void FreePackage(SetupContext& context);

}  // namespace setup
