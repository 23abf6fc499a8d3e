// Thin wrappers over the platform's file calls, with the access and sharing
// modes the engine uses and the result conventions its callers test.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace setup {

// Results of WriteBytes: the numbers the setup's file wrappers have always
// reported, 0 for a whole write.
enum WriteResult : int {
  WRITE_OK = 0,
  WRITE_FAILED = 2,
  WRITE_SHORT = 3,
};

// Existing files only; kInvalidFile on failure.
FileHandle OpenForRead(Platform& platform, const char* path);       // shares reading
FileHandle OpenForWrite(Platform& platform, const char* path);      // no sharing
FileHandle OpenForReadWrite(Platform& platform, const char* path);  // shares reading
// Creates or truncates, for writing, no sharing.
FileHandle CreateForWrite(Platform& platform, const char* path);

// True when all n bytes were read; false on failure or a short read.
bool ReadExact(Platform& platform, FileHandle file, void* buffer, uint32_t n);
// The number of bytes read (0 at the end of the file or on failure).
uint32_t ReadUpTo(Platform& platform, FileHandle file, void* buffer, uint32_t n);
// WRITE_OK, WRITE_FAILED when the write call failed, WRITE_SHORT when it wrote less.
WriteResult WriteBytes(Platform& platform, FileHandle file, const void* buffer, uint32_t n);

// The new position, or kInvalidSetFilePointer.
uint32_t SeekFile(Platform& platform, FileHandle file, int32_t distance, uint32_t origin);
uint32_t TellFile(Platform& platform, FileHandle file);
// The file's length; the position is left where it was.
uint32_t FileSize(Platform& platform, FileHandle file);

// Closes an open handle and leaves it kInvalidFile.
void CloseFile(Platform& platform, FileHandle* file);

}  // namespace setup
