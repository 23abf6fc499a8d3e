// The English texts a package carries when the project sets none, and the
// byte layout of one string group.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace setup::tools {

// Groups 0 to 10 of a component; text k of group g is what the setup reads
// as string (g, k). Texts are 8-bit ANSI, line breaks a single '\n'.
using StringGroups = std::array<std::vector<std::string>, 11>;

// Every (group, index) the setup reads, in English. Groups 8 and 10 have no
// reader and stay empty. Some texts are empty on purpose:
//   (1,1)   the information text; empty, so the information page is skipped;
//   (5,2), (5,3)  the lines that go with the open-document button and the
//           run-program check box, which a project without a document or a
//           program does not show;
//   (6,10), (6,23)-(6,27)  no reader.
StringGroups DefaultTexts();

// A string group as the package stores it: u16 count, then the texts, each
// NUL-terminated, index 0 first. Throws std::runtime_error when a text holds
// a NUL or there are more than 65535 texts.
std::vector<uint8_t> EncodeStringGroup(const std::vector<std::string>& texts);

}  // namespace setup::tools
