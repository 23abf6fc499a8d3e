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
int ReadRecordPayload(SetupContext& context, FileHandle file, const RecordHeader& header,
                      Payload* payload, uint32_t room = kMaxRecordSize);

// Loads the package at context.packagePath, whose stub is context.stubSize
// bytes. Returns 1 when the package was read and is complete. Returns 0 when
// the file carries no package or cannot be read (no message), or when it is
// incomplete or damaged (string (6, 31) shown when the package has it).
int LoadPackage(SetupContext& context);

// Releases everything LoadPackage kept; safe after a failed or partial load.
void FreePackage(SetupContext& context);

}  // namespace setup
