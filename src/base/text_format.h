// Formatting of package texts.
//
// Texts from the package act as formats with one known argument ("%s" for a
// file name, "%d" for a number). A damaged or careless text may hold other or
// more conversions; a real printf would then read arguments that are not
// there. This formatter knows only %s (the text argument), %d, %i, %u (the
// number argument, optionally with "l"), "%%", and widths, precisions and the
// '-' and '0' flags as the system's own formatter reads them; anything else is
// copied as it stands. The output never runs past its buffer.
#pragma once

#include <cstdint>

namespace setup {

// Returns the length written (at most size - 1).
uint32_t FormatText(char* out, uint32_t size, const char* format, const char* text,
                    int32_t number);

// Whether `text` holds the two characters "%s".
bool HasTextConversion(const char* text);

// Whether `text` is a format with exactly one conversion, a plain "%s" (and
// any number of "%%"): the only form a package question about a file may take
// to be filled in; any other text is shown as it stands.
bool IsSingleTextFormat(const char* text);

}  // namespace setup
