// Names of field values, and entry paths as the tools write them out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace setup::tools {

std::string FolderKindName(uint8_t kind);
std::string PlacementName(uint8_t placement);
std::string FlagNames(uint8_t flags);
std::string RoleName(uint8_t role);
std::string SpecialName(uint8_t special);
// A text with control characters and quotes escaped, in double quotes.
std::string Quoted(const char* text);
// A name as a line of output shows it: in UTF-8, with its backslashes as they
// are, control characters (C0, DEL and C1) escaped as \xNN, so that no name
// can move the cursor, ring the bell or forge a line.
std::string Printable(const char* text);
// The longest beginning of Printable(text) that takes at most `columns`
// columns, cut only between whole characters and whole escapes (a \xNN
// takes four).
std::string PrintablePrefix(const char* text, size_t columns);
// The same for a host path, already UTF-8.
std::string PrintablePath(const std::string& utf8);

// Where an entry is extracted, relative to the destination folder: its name
// for the destination folder, under {windows}/, {system}/ (base name only)
// or {fonts}/ for the other folder kinds, with "/" separators. nullopt for a
// name that would leave the destination (absolute, a drive, "..", empty parts).
std::optional<std::string> ExtractPath(uint8_t folderKind, const char* name);

}  // namespace setup::tools
