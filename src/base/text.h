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

}  // namespace setup
