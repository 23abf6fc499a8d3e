#include "tools/pkgtool/describe.h"

#include <cstdio>
#include <vector>

#include "package/file_entry.h"
#include "tools/common/windows1252.h"

namespace setup::tools {

std::string FolderKindName(uint8_t kind) {
  switch (kind) {
    case FOLDER_INSTALL: return "install";
    case FOLDER_WINDOWS: return "windows";
    case FOLDER_SYSTEM: return "system";
    case FOLDER_FONTS: return "fonts";
    default: return "kind" + std::to_string(kind);
  }
}

std::string PlacementName(uint8_t placement) {
  switch (placement) {
    case PLACE_KEEP: return "keep";
    case PLACE_UNINSTALL: return "uninstall";
    case PLACE_SOURCE: return "source";
    default: return "place" + std::to_string(placement);
  }
}

std::string FlagNames(uint8_t flags) {
  static const char* names[] = {"uninstaller", "check-version", "check-language", "times",
                                "patch"};
  std::string out;
  for (int bit = 0; bit < 8; ++bit) {
    if (!(flags & (1u << bit))) continue;
    if (!out.empty()) out += ",";
    out += bit < 5 ? names[bit] : "bit" + std::to_string(bit);
  }
  return out.empty() ? "-" : out;
}

std::string RoleName(uint8_t role) {
  switch (role) {
    case ROLE_NONE: return "none";
    case ROLE_DOCUMENT: return "document";
    case ROLE_PROGRAM: return "program";
    default: return "role" + std::to_string(role);
  }
}

std::string SpecialName(uint8_t special) {
  switch (special) {
    case SPECIAL_NONE: return "none";
    case SPECIAL_SCREEN_SAVER: return "screen-saver";
    case SPECIAL_SELF_REGISTER: return "self-register";
    default: return "special" + std::to_string(special);
  }
}

namespace {

// `utf8` with its control characters escaped; with `quote`, quotes and
// backslashes too.
std::string Escape(const std::string& utf8, bool quote) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    unsigned char next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    char hex[8];
    if (quote && c == '\n') out += "\\n";
    else if (quote && c == '\r') out += "\\r";
    else if (quote && c == '\t') out += "\\t";
    else if (quote && (c == '"' || c == '\\')) out += std::string("\\") + static_cast<char>(c);
    else if (c < 0x20 || c == 0x7F) {
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
      std::snprintf(hex, sizeof hex, "\\x%02X", next);
      out += hex;
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

std::string Quoted(const char* text) { return "\"" + Escape(Windows1252ToUtf8(text), true) + "\""; }

std::string Printable(const char* text) { return Escape(Windows1252ToUtf8(text), false); }

std::string PrintablePath(const std::string& utf8) { return Escape(utf8, false); }

std::string PrintablePrefix(const char* text, size_t columns) {
  std::string out;
  size_t used = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const char one[2] = {*p, '\0'};
    std::string unit = Printable(one);
    // Every unit is one character, or an escape as wide as it is long.
    size_t width = unit.size() > 1 && unit[0] == '\\' ? unit.size() : 1;
    if (used + width > columns) break;
    out += unit;
    used += width;
  }
  return out;
}

std::optional<std::string> ExtractPath(uint8_t folderKind, const char* name) {
  std::vector<std::string> parts;
  std::string part;
  for (const char* p = name;; ++p) {
    if (*p == '\\' || *p == '/' || *p == '\0') {
      parts.push_back(part);
      part.clear();
      if (*p == '\0') break;
    } else {
      part += *p;
    }
  }
  // A system file goes by its base name alone.
  if (folderKind == FOLDER_SYSTEM) parts.erase(parts.begin(), parts.end() - 1);
  std::string out;
  for (const std::string& p : parts) {
    if (p.empty() || p == "." || p == ".." || p.find(':') != std::string::npos) return std::nullopt;
    out += (out.empty() ? "" : "/") + Windows1252ToUtf8(p);
  }
  switch (folderKind) {
    case FOLDER_INSTALL: return out;
    case FOLDER_WINDOWS: return "{windows}/" + out;
    case FOLDER_SYSTEM: return "{system}/" + out;
    case FOLDER_FONTS: return "{fonts}/" + out;
    default: return "{kind" + std::to_string(folderKind) + "}/" + out;
  }
}

}  // namespace setup::tools
