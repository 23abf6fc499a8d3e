// The component's further changes: INI entries, registry entries and file
// patches, applied in that order when a run finishes without an error. Texts
// to write are expanded with path variables first; a text whose expansion is
// empty is not written. Nothing here is reported: an entry whose file, key or
// INI file cannot be opened or written is left undone and the next follows.
// None of these changes goes into the uninstall log.
//
// An INI entry's or file patch's file is the installed path of a file entry
// of the current list when one has that name (in any case), else a path with
// path variables.
//
// File patches write a text at a fixed position, or right after the first
// occurrence of a byte pattern. The pattern is searched in a window of 32768
// bytes that slides by its half, so that a pattern that straddles one
// window's end lies whole in the next one. A pattern longer than half the
// window gets a window of twice its length instead, so every position of the
// file is tried exactly once whatever the pattern's length.
#pragma once

#include <cstdint>

#include "package/package_state.h"
#include "paths/path_variables.h"

namespace setup {

class RunLog;

// The registry root of a root index (0 classes root, 1 current user, 2 local
// machine, 3 users; any other: current user).
RegKey RegistryRoot(uint32_t index);

// The file list whose entries' names INI entries and file patches may use.
struct EntryFiles {
  const uint8_t* firstEntry;  // null when the list is empty
  uint32_t count;
};

// Turns an INI entry's or file patch's file text into a path in `path` (of
// `size` bytes; the engine's is 520). False when there is no usable path: a
// target or expansion that does not fit (a path cut short would name another
// file) or an empty one.
bool ResolveEntryFile(const PathPlaces& places, const EntryFiles& files, const char* text,
                      char* path, uint32_t size);

// Each walks its list (a payload of u16 count and entries; null: empty) and
// stops at the first damaged entry. Each value and patch written is told to
// `log` (null: none).
void ApplyIniEntries(const PathPlaces& places, const EntryFiles& files, const Payload& list,
                     RunLog* log = nullptr);
void ApplyRegistryEntries(const PathPlaces& places, const Payload& list, RunLog* log = nullptr);
void ApplyFilePatches(const PathPlaces& places, const EntryFiles& files, const Payload& list,
                      RunLog* log = nullptr);

// The search window: its size and the step it slides by, for patterns of up
// to kPatternWindowStep + 1 bytes.
constexpr uint32_t kPatternWindowSize = 32768;
constexpr uint32_t kPatternWindowStep = kPatternWindowSize / 2;

// The file position right after the first occurrence of `pattern` in the open
// file, or -1 when it does not occur, the file is shorter than the pattern,
// the pattern is empty, or the window cannot be had or read.
int64_t FindPatternEnd(Platform& platform, FileHandle file, const uint8_t* pattern,
                       uint32_t length);

}  // namespace setup
