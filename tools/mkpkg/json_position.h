// Where a field of a project stands in its JSON text, for messages that
// point an editor at it: the path as the reader names fields
// ("components[1].files[3].folder") turned into a line and a column, both
// counted from 1 (the column in bytes).
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace setup::tools {

// The position of the field's value; of the deepest part of the path that
// exists when the rest does not; nullopt when the text is no JSON object.
std::optional<std::pair<int, int>> FieldPosition(const std::string& text, const std::string& field);

// The line and column of a byte offset.
std::pair<int, int> LineAndColumn(const std::string& text, size_t offset);

}  // namespace setup::tools
