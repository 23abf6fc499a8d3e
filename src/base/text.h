// Texts in fixed buffers, and the one path operation the readers below the
// path layer need. Every one stays within the buffer it is given.
#pragma once

#include <cstdint>

namespace setup {

constexpr uint32_t kPathSize = 260;

// Replaces the extension (from the last "." that has no "\" after it) by
// `extension`, which includes its dot, or appends it when there is none.
// Returns false, leaving the path unchanged, when the result does not fit.
bool ReplaceExtension(char* path, uint32_t size, const char* extension);

// Copies at most size - 1 characters and always terminates.
void CopyText(char* to, uint32_t size, const char* from);
// Appends as much of `from` as fits; returns false when it was cut.
bool AppendText(char* to, uint32_t size, const char* from);
uint32_t TextLength(const char* text);
// Compares without regard to the case of ASCII letters.
bool TextEqualNoCase(const char* a, const char* b);

// Command-line words: the first character at `p` that is no space; and a
// switch's value (spaces before it skipped): quoted, it runs to the closing
// quote (or the end), so a path with spaces survives; unquoted, to the next
// space. `value` holds kPathSize bytes and keeps at most kPathSize - 1
// characters. Returns where the reading stopped.
const char* SkipSpaces(const char* p);
const char* ReadSwitchValue(const char* p, char* value);

}  // namespace setup
