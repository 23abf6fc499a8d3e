// Texts of the package are 8-bit Windows-1252; the tools take and give UTF-8.
#pragma once

#include <string>

namespace setup::tools {

// Windows-1252 text as UTF-16 code units, the way the setup's system reads it.
std::u16string Windows1252ToUtf16(const std::string& text);

// UTF-8 text as Windows-1252; throws std::runtime_error for invalid UTF-8 or
// a character that Windows-1252 cannot hold.
std::string Utf8ToWindows1252(const std::string& text);

// Every Windows-1252 byte has a character, so this never fails.
std::string Windows1252ToUtf8(const std::string& text);

}  // namespace setup::tools
