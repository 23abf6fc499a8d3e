#include "tools/mkpkg/project_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "tools/mkpkg/dialog_templates.h"
#include "uninstall/uninstall_texts.h"
#include "tools/mkpkg/json_position.h"
#include "tools/mkpkg/picture_check.h"
#include "tools/mkpkg/source_patterns.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace setup::tools {

namespace {

constexpr int kMaxComponents = 6;
constexpr size_t kMaxPath = 259;        // paths live in 260-byte buffers
constexpr size_t kMaxMessage = 1023;    // texts are formatted into 1024-byte buffers
constexpr size_t kMaxInformation = 32767;
constexpr size_t kMaxDiskPrompt = 180;  // the disk prompt is formatted into 200 bytes

// The known key nearest to a mistyped one, by edit distance (letters in
// either case count alike), when it is near enough to be meant; else "".
std::string Nearest(const std::string& key, std::initializer_list<const char*> keys) {
  auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
  std::string best;
  size_t bestDistance = key.size() / 3 + 2;
  for (const char* candidate : keys) {
    std::string k = candidate;
    std::vector<size_t> row(k.size() + 1);
    for (size_t j = 0; j <= k.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= key.size(); ++i) {
      size_t diagonal = row[0];
      row[0] = i;
      for (size_t j = 1; j <= k.size(); ++j) {
        size_t above = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (lower(key[i - 1]) == lower(k[j - 1]) ? 0 : 1)});
        diagonal = above;
      }
    }
    if (row[k.size()] < bestDistance) {
      bestDistance = row[k.size()];
      best = k;
    }
  }
  return best;
}

// A JSON value together with where it sits in the project, for messages.
class Node {
 public:
  Node(const json& value, std::string where) : value_(value), where_(std::move(where)) {}

  [[noreturn]] void Fail(const std::string& problem) const {
    throw FieldError(where_, where_ + ": " + problem);
  }
  const json& value() const { return value_; }
  const std::string& where() const { return where_; }

  bool Has(const char* key) const { return value_.is_object() && value_.contains(key); }
  Node operator[](const char* key) const {
    if (!Has(key)) Fail(std::string("needs \"") + key + "\"");
    return Node(value_.at(key), where_.empty() ? key : where_ + "." + key);
  }
  Node At(size_t i) const { return Node(value_.at(i), where_ + "[" + std::to_string(i) + "]"); }

  void ExpectObject(std::initializer_list<const char*> keys) const {
    if (!value_.is_object()) Fail("expected an object");
    std::set<std::string> known(keys.begin(), keys.end());
    for (auto it = value_.begin(); it != value_.end(); ++it) {
      if (known.count(it.key())) continue;
      std::string nearest = Nearest(it.key(), keys);
      throw FieldError(where_.empty() ? it.key() : where_ + "." + it.key(),
                       (where_.empty() ? "" : where_ + ": ") + "unknown field \"" + it.key() + "\"" +
                           (nearest.empty() ? "" : " (did you mean \"" + nearest + "\"?)"));
    }
  }
  void ExpectArray() const {
    if (!value_.is_array()) Fail("expected an array");
  }
  size_t size() const { return value_.size(); }

  std::string Text(size_t limit) const {
    if (!value_.is_string()) Fail("expected a text");
    std::string text;
    try {
      text = Utf8ToWindows1252(value_.get<std::string>());
    } catch (const std::exception& e) {
      Fail(std::string("text cannot be written in the 8-bit character set: ") + e.what());
    }
    if (text.find('\0') != std::string::npos) Fail("text holds a NUL character");
    if (text.size() > limit) {
      Fail("text too long (" + std::to_string(text.size()) + " bytes, at most " +
           std::to_string(limit) + ")");
    }
    return text;
  }
  bool Bool() const {
    if (!value_.is_boolean()) Fail("expected true or false");
    return value_.get<bool>();
  }
  int64_t Integer(int64_t low, int64_t high) const {
    if (!value_.is_number_integer()) Fail("expected a whole number");
    int64_t v = value_.get<int64_t>();
    if (v < low || v > high) {
      Fail("out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")");
    }
    return v;
  }
  // One of the names, or its index given as a number.
  uint8_t Choice(std::initializer_list<const char*> names) const {
    if (value_.is_number_integer()) return static_cast<uint8_t>(Integer(0, static_cast<int64_t>(names.size()) - 1));
    if (!value_.is_string()) Fail("expected a name");
    uint8_t i = 0;
    for (const char* name : names) {
      if (value_.get<std::string>() == name) return i;
      ++i;
    }
    std::string all;
    for (const char* name : names) all += (all.empty() ? "" : ", ") + std::string(name);
    Fail("unknown value \"" + value_.get<std::string>() + "\" (one of: " + all + ")");
  }

 private:
  const json& value_;
  std::string where_;
};

std::vector<uint8_t> ReadSource(const Node& node, const fs::path& baseDir, InputFiles& inputs) {
  fs::path path = baseDir / node.Text(4096);
  try {
    return inputs.Read(path.string());
  } catch (const ProjectError& e) {
    node.Fail(e.what());
  }
}

uint32_t RegistryRoot(const Node& node) {
  if (node.value().is_number_integer()) return static_cast<uint32_t>(node.Integer(0, 0xFFFFFFFF));
  return node.Choice({"HKCR", "HKCU", "HKLM", "HKU"});
}

// "a.b.c.d" into the two 32-bit halves of a version.
void ParseVersion(const Node& node, uint32_t* ms, uint32_t* ls) {
  std::string text = node.Text(64);
  unsigned parts[4] = {};
  int count = 0;
  size_t pos = 0;
  while (count < 4) {
    size_t dot = text.find('.', pos);
    std::string part = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
    // Up to four parts of 0 to 65535; a longer part is refused before it
    // is turned into a number that might not hold it.
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(part) > 0xFFFF) {
      node.Fail("expected a version like 1.2.3.4");
    }
    parts[count++] = static_cast<unsigned>(std::stoul(part));
    if (dot == std::string::npos) break;
    if (count == 4) node.Fail("expected a version like 1.2.3.4 (at most four parts)");
    pos = dot + 1;
  }
  *ms = parts[0] << 16 | parts[1];
  *ls = parts[2] << 16 | parts[3];
}

uint64_t UnixToFileTime(int64_t seconds) {
  return static_cast<uint64_t>(seconds + 11644473600ll) * 10000000ull;
}

// A FILETIME number, or a UTC time "YYYY-MM-DDTHH:MM:SSZ" written out in
// full. Each field must be in its range (a day that its month lacks too) and
// the year from 1601 on, where FILETIME starts: timegm would quietly carry
// 13 months into the next year, and an earlier year has no FILETIME at all.
uint64_t FileTimeValue(const Node& node) {
  if (node.value().is_number_integer()) {
    return static_cast<uint64_t>(node.Integer(0, std::numeric_limits<int64_t>::max()));
  }
  static constexpr char kShape[] = "0000-00-00T00:00:00Z";
  std::string text = node.Text(64);
  bool shaped = text.size() == sizeof kShape - 1;
  for (size_t i = 0; shaped && i < text.size(); ++i) {
    shaped = kShape[i] == '0' ? std::isdigit(static_cast<unsigned char>(text[i])) != 0
                              : text[i] == kShape[i];
  }
  if (!shaped) node.Fail("expected a time like 2001-03-05T10:00:00Z or a FILETIME number");
  auto field = [&](size_t at, size_t digits) {
    int value = 0;
    for (size_t i = at; i < at + digits; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  std::tm tm{};
  tm.tm_year = field(0, 4);
  tm.tm_mon = field(5, 2);
  tm.tm_mday = field(8, 2);
  tm.tm_hour = field(11, 2);
  tm.tm_min = field(14, 2);
  tm.tm_sec = field(17, 2);
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = tm.tm_year % 4 == 0 && (tm.tm_year % 100 != 0 || tm.tm_year % 400 == 0);
  int month_days = tm.tm_mon >= 1 && tm.tm_mon <= 12
                       ? kMonthDays[tm.tm_mon - 1] + (tm.tm_mon == 2 && leap ? 1 : 0)
                       : 0;
  if (tm.tm_year < 1601 || tm.tm_mday < 1 || tm.tm_mday > month_days || tm.tm_hour > 23 ||
      tm.tm_min > 59 || tm.tm_sec > 59) {
    node.Fail("no such time: " + text + " (each field in its range, from 1601 on)");
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return UnixToFileTime(timegm(&tm));
}

void ReadStrings(const Node& node, StringGroups* groups) {
  node.ExpectObject({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10"});
  for (auto it = node.value().begin(); it != node.value().end(); ++it) {
    int group = std::stoi(it.key());
    Node texts(it.value(), node.where() + "." + it.key());
    std::vector<std::string>& target = (*groups)[group];
    auto put = [&](size_t index, const Node& text) {
      if (index > 0xFFFE) text.Fail("string index too large");
      size_t limit = group == 1 && index == 1 ? kMaxInformation
                     : group == 6 && index == 28 ? kMaxDiskPrompt
                                                 : kMaxMessage;
      if (target.size() <= index) target.resize(index + 1);
      target[index] = text.Text(limit);
    };
    if (texts.value().is_array()) {
      for (size_t i = 0; i < texts.size(); ++i) put(i, texts.At(i));
    } else if (texts.value().is_object()) {
      for (auto t = texts.value().begin(); t != texts.value().end(); ++t) {
        Node text(t.value(), texts.where() + "." + t.key());
        if (t.key().empty() || t.key().find_first_not_of("0123456789") != std::string::npos) {
          text.Fail("string index must be a number");
        }
        put(std::stoul(t.key()), text);
      }
    } else {
      texts.Fail("expected an array of texts or an object of index: text");
    }
  }
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9, in any case, before any extension
// (Windows also ignores spaces before the dot): names of devices, not files.
bool IsDeviceName(const std::string& part) {
  std::string stem = part.substr(0, part.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// A name with its control characters shown as \xNN, for messages.
std::string Escaped(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", c);
      out += code;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// A file's name is a path below its target folder: "/" is taken for "\", and
// it may not be empty, absolute, on a drive, or climb out with "..".
void CheckEntryName(const Node& node, std::string* name) {
  for (char& c : *name) {
    if (c == '/') c = '\\';
  }
  if (name->empty()) node.Fail("the file name is empty");
  size_t start = 0;
  for (;;) {
    size_t end = name->find('\\', start);
    std::string part = name->substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos) {
      node.Fail("the name \"" + *name + "\" must stay below the target folder (no drive, no leading " +
                "or doubled \\, no \".\" or \"..\" parts)");
    }
    if (part.find_first_of("*?\"<>|") != std::string::npos || part.back() == ' ' || part.back() == '.') {
      node.Fail("the name \"" + *name + "\" holds a character Windows does not allow in file names");
    }
    for (unsigned char c : part) {
      if (c < 0x20 || c == 0x7F) {
        char code[8];
        std::snprintf(code, sizeof code, "0x%02X", c);
        node.Fail("the name \"" + Escaped(*name) + "\" holds the control character " + code +
                  ", which Windows does not allow in file names");
      }
    }
    if (IsDeviceName(part)) {
      node.Fail("the name \"" + *name + "\" uses \"" + part + "\", a device name Windows reserves " +
                "(CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension)");
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

// The entries a file-list entry stands for: itself, or for a pattern entry
// (its "source" holds a wildcard) one per match, each with its "source" and
// "name" filled in and "into" and "exclude" taken out.
std::vector<json> ExpandPatternEntry(const Node& node, const fs::path& baseDir) {
  if (!node.Has("source") || !node["source"].value().is_string() ||
      !IsSourcePattern(node["source"].value().get<std::string>())) {
    if (node.Has("into") || node.Has("exclude")) {
      node.Fail("\"into\" and \"exclude\" belong to a pattern entry (a \"source\" with * or ?)");
    }
    return {node.value()};
  }
  std::string pattern = node["source"].Text(4096);
  if (node.Has("name")) node["name"].Fail("a pattern entry names its files itself: give \"into\" instead");
  std::string padded = "/" + pattern + "/";
  std::replace(padded.begin(), padded.end(), '\\', '/');
  if (padded.find("/../") != std::string::npos || padded.compare(0, 2, "//") == 0) {
    node["source"].Fail("a pattern lies inside the project's folder: relative, without \"..\"");
  }
  std::string into = node.Has("into") ? node["into"].Text(kMaxPath) : "";
  for (char& ch : into) {
    if (ch == '/') ch = '\\';
  }
  while (!into.empty() && into.back() == '\\') into.pop_back();
  std::vector<std::string> excludes;
  if (node.Has("exclude")) {
    Node list = node["exclude"];
    list.ExpectArray();
    for (size_t i = 0; i < list.size(); ++i) excludes.push_back(list.At(i).Text(4096));
  }
  std::vector<SourceMatch> matches = ExpandSourcePattern(baseDir, pattern, excludes);
  if (matches.empty()) node["source"].Fail("the pattern \"" + pattern + "\" matches no file");
  std::vector<json> entries;
  for (const SourceMatch& match : matches) {
    json one = node.value();
    one.erase("into");
    one.erase("exclude");
    one["source"] = match.source;
    std::string name = match.relative;
    for (char& ch : name) {
      if (ch == '/') ch = '\\';
    }
    one["name"] = into.empty() ? name : into + "\\" + name;
    entries.push_back(std::move(one));
  }
  return entries;
}

FileSpec ReadFile(const Node& node, const fs::path& baseDir, InputFiles& inputs,
                  std::vector<std::vector<std::pair<std::string, int>>>* names, int component) {
  // "into" and "exclude" come only with a pattern, which ExpandPatternEntry
  // has taken them from.
  node.ExpectObject({"source", "name", "folder", "placement", "role", "special", "shared",
                     "iconIndex", "shortcut", "desktop", "checkVersion", "checkLanguage",
                     "version", "times", "uninstaller", "patchFrom", "into", "exclude"});
  FileSpec file;
  if (node.Has("placement")) file.placement = node["placement"].Choice({"keep", "uninstall", "source"});
  if (node.Has("uninstaller")) file.uninstaller = node["uninstaller"].Bool();
  if (node.Has("source")) {
    file.source = node["source"].Text(4096);
    file.path = (baseDir / file.source).string();
    try {
      file.size = inputs.Note(file.path);
    } catch (const ProjectError& e) {
      node["source"].Fail(e.what());
    }
  } else if (file.placement != 2 && !file.uninstaller) {
    node.Fail("a file needs a \"source\" (only a source-placed file or the uninstaller may go without)");
  }
  if (node.Has("name")) {
    file.name = node["name"].Text(kMaxPath);
  } else if (!file.source.empty()) {
    file.name = fs::path(file.source).filename().string();
  } else {
    node.Fail("a file needs a \"name\"");
  }
  CheckEntryName(node.Has("name") ? node["name"] : node, &file.name);
  if (node.Has("folder")) file.folderKind = node["folder"].Choice({"install", "windows", "system", "fonts"});
  if (node.Has("role")) file.finishRole = node["role"].Choice({"none", "document", "program"});
  if (node.Has("special")) file.specialKind = node["special"].Choice({"none", "screenSaver", "selfRegister"});
  if (node.Has("shared")) file.shared = node["shared"].Bool();
  if (node.Has("iconIndex")) file.iconIndex = static_cast<uint16_t>(node["iconIndex"].Integer(0, 0xFFFF));
  if (node.Has("shortcut")) {
    Node s = node["shortcut"];
    s.ExpectObject({"folder", "name", "args"});
    if (s.Has("folder")) file.shortcutFolder = s["folder"].Text(kMaxPath);
    if (s.Has("name")) file.shortcutName = s["name"].Text(kMaxPath);
    if (s.Has("args")) file.shortcutArgs = s["args"].Text(kMaxPath);
    if (file.shortcutName.empty()) s.Fail("a shortcut needs a \"name\"");
  }
  if (node.Has("desktop")) {
    Node s = node["desktop"];
    s.ExpectObject({"name", "args"});
    if (s.Has("name")) file.desktopName = s["name"].Text(kMaxPath);
    if (s.Has("args")) file.desktopArgs = s["args"].Text(kMaxPath);
    if (file.desktopName.empty()) s.Fail("a desktop shortcut needs a \"name\"");
  }
  if (node.Has("checkVersion")) file.checkVersion = node["checkVersion"].Bool();
  if (node.Has("checkLanguage")) file.checkLanguage = node["checkLanguage"].Bool();
  if (node.Has("version")) {
    Node v = node["version"];
    v.ExpectObject({"file", "product", "language"});
    if (v.Has("file")) ParseVersion(v["file"], &file.version.fileVersionMS, &file.version.fileVersionLS);
    if (v.Has("product")) {
      ParseVersion(v["product"], &file.version.productVersionMS, &file.version.productVersionLS);
    }
    if (v.Has("language")) file.version.language = static_cast<uint32_t>(v["language"].Integer(0, 0xFFFF));
  } else if (file.checkVersion || file.checkLanguage) {
    node.Fail("checkVersion and checkLanguage need a \"version\"");
  }
  if (node.Has("times")) {
    Node t = node["times"];
    FileTimes times;
    if (t.value().is_string() && t.value().get<std::string>() == "source") {
      if (file.source.empty()) t.Fail("\"source\" times need a source file");
      struct stat st;
      std::string path = (baseDir / file.source).string();
      if (stat(path.c_str(), &st) != 0) t.Fail("cannot read the times of " + path);
      times.creation = times.lastAccess = times.lastWrite = UnixToFileTime(st.st_mtime);
    } else {
      t.ExpectObject({"creation", "lastAccess", "lastWrite"});
      if (t.Has("creation")) times.creation = FileTimeValue(t["creation"]);
      if (t.Has("lastAccess")) times.lastAccess = FileTimeValue(t["lastAccess"]);
      if (t.Has("lastWrite")) times.lastWrite = FileTimeValue(t["lastWrite"]);
    }
    file.times = times;
  }
  if (node.Has("patchFrom")) {
    Node p = node["patchFrom"];
    p.ExpectObject({"component", "file", "name"});
    PatchBaseRef base;
    base.component = p.Has("component") ? static_cast<int>(p["component"].Integer(0, 5)) : component;
    if (p.Has("file")) {
      base.index = static_cast<int>(p["file"].Integer(0, 255));
    } else if (p.Has("name")) {
      std::string name = p["name"].Text(kMaxPath);
      if (base.component > component) p.Fail("the base must come from this or an earlier component");
      base.index = -1;
      for (const auto& [known, index] : (*names)[base.component]) {
        if (known == name) {
          base.index = index;
          break;
        }
      }
      if (base.index < 0) p.Fail("no earlier file named \"" + name + "\" in component " +
                                 std::to_string(base.component));
    } else {
      p.Fail("patchFrom needs \"file\" (its position) or \"name\"");
    }
    file.patchFrom = base;
  }
  return file;
}

ComponentSpec ReadComponent(const Node& node, const fs::path& baseDir, InputFiles& inputs,
                            const StringGroups& projectStrings,
                            std::vector<std::vector<std::pair<std::string, int>>>* names,
                            int index) {
  node.ExpectObject({"displayName", "choiceLabel", "defaultFolder", "folderEditable",
                     "folderToRegistry", "folderToIni", "folderRegistry", "folderIni", "strings",
                     "files", "ini", "registry", "filePatches"});
  ComponentSpec c;
  c.strings = projectStrings;
  if (node.Has("displayName")) c.displayName = node["displayName"].Text(kMaxPath);
  if (node.Has("choiceLabel")) c.choiceLabel = node["choiceLabel"].Text(kMaxMessage);
  // The choice page would otherwise show the template's placeholder label.
  if (!c.choiceLabel && c.displayName) c.choiceLabel = c.displayName;
  if (node.Has("defaultFolder")) c.defaultFolder = node["defaultFolder"].Text(kMaxPath);
  if (node.Has("folderEditable") && node["folderEditable"].Bool()) c.options |= 0x0002;
  if (node.Has("folderToRegistry") && node["folderToRegistry"].Bool()) c.options |= 0x0004;
  if (node.Has("folderToIni") && node["folderToIni"].Bool()) c.options |= 0x0008;
  if (node.Has("folderRegistry")) {
    Node r = node["folderRegistry"];
    r.ExpectObject({"root", "key", "value"});
    if (r.Has("root")) c.folderRootKey = RegistryRoot(r["root"]);
    if (r.Has("key")) c.folderRegKey = r["key"].Text(kMaxPath);
    if (r.Has("value")) c.folderRegValue = r["value"].Text(kMaxPath);
  }
  if (node.Has("folderIni")) {
    Node r = node["folderIni"];
    r.ExpectObject({"file", "section", "key"});
    if (r.Has("file")) c.folderIniFile = r["file"].Text(kMaxPath);
    if (r.Has("section")) c.folderIniSection = r["section"].Text(kMaxPath);
    if (r.Has("key")) c.folderIniKey = r["key"].Text(kMaxPath);
  }
  if (node.Has("strings")) ReadStrings(node["strings"], &c.strings);
  if (node.Has("files")) {
    Node files = node["files"];
    files.ExpectArray();
    for (size_t i = 0; i < files.size(); ++i) {
      Node entry = files.At(i);
      // A pattern entry stands for one entry per match; the rest of its
      // fields apply to each.
      std::vector<json> expanded = ExpandPatternEntry(entry, baseDir);
      for (const json& one : expanded) {
        c.files.push_back(ReadFile(Node(one, entry.where()), baseDir, inputs, names, index));
        (*names)[index].emplace_back(c.files.back().name, static_cast<int>(c.files.size() - 1));
      }
    }
  }
  if (node.Has("ini")) {
    Node list = node["ini"];
    list.ExpectArray();
    for (size_t i = 0; i < list.size(); ++i) {
      Node e = list.At(i);
      e.ExpectObject({"file", "section", "key", "value", "onlyIfMissing"});
      IniSpec ini;
      ini.file = e["file"].Text(kMaxPath);
      ini.section = e["section"].Text(kMaxMessage);
      ini.key = e["key"].Text(kMaxMessage);
      ini.value = e["value"].Text(65000);
      if (e.Has("onlyIfMissing")) ini.onlyIfMissing = e["onlyIfMissing"].Bool();
      c.ini.push_back(ini);
    }
  }
  if (node.Has("registry")) {
    Node list = node["registry"];
    list.ExpectArray();
    for (size_t i = 0; i < list.size(); ++i) {
      Node e = list.At(i);
      e.ExpectObject({"root", "key", "value", "data", "keepExisting"});
      RegistrySpec reg;
      if (e.Has("root")) reg.root = RegistryRoot(e["root"]);
      reg.key = e["key"].Text(kMaxPath);
      if (e.Has("value")) reg.valueName = e["value"].Text(kMaxPath);
      reg.data = e["data"].Text(65000);
      if (e.Has("keepExisting")) reg.keepExisting = e["keepExisting"].Bool();
      c.registry.push_back(reg);
    }
  }
  if (node.Has("filePatches")) {
    Node list = node["filePatches"];
    list.ExpectArray();
    for (size_t i = 0; i < list.size(); ++i) {
      Node e = list.At(i);
      e.ExpectObject({"file", "offset", "after", "text"});
      FilePatchSpec patch;
      patch.file = e["file"].Text(kMaxPath);
      patch.text = e["text"].Text(65000);
      if (e.Has("offset") == e.Has("after")) e.Fail("give either \"offset\" or \"after\"");
      if (e.Has("offset")) {
        patch.offset = static_cast<int32_t>(e["offset"].Integer(0, 0x7FFFFFFF));
      } else {
        std::string after = e["after"].Text(16384);
        if (after.empty()) e["after"].Fail("the pattern is empty");
        patch.pattern.assign(after.begin(), after.end());
      }
      c.filePatches.push_back(patch);
    }
  }
  return c;
}

std::vector<uint8_t> TitleFont(const Node& node) {
  node.ExpectObject({"face", "height", "width", "weight", "italic", "charset"});
  std::vector<uint8_t> font(60, 0);
  auto put32 = [&](size_t at, int64_t v) {
    for (int i = 0; i < 4; ++i) font[at + i] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i));
  };
  put32(0, node.Has("height") ? node["height"].Integer(-1000, 1000) : -32);
  put32(4, node.Has("width") ? node["width"].Integer(0, 1000) : 0);
  put32(16, node.Has("weight") ? node["weight"].Integer(0, 1000) : 700);
  font[20] = node.Has("italic") && node["italic"].Bool() ? 1 : 0;
  font[23] = static_cast<uint8_t>(node.Has("charset") ? node["charset"].Integer(0, 255) : 0);
  std::string face = node.Has("face") ? node["face"].Text(31) : "Arial";
  std::copy(face.begin(), face.end(), font.begin() + 28);
  return font;
}

}  // namespace

Project ParseProject(const std::string& text, const std::string& baseDirText) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::parse_error& e) {
    // Where the parser stopped: the byte after the one it could not take.
    auto [line, column] = LineAndColumn(text, e.byte > 0 ? e.byte - 1 : 0);
    throw TextError(line, column, std::string("not valid JSON: ") + e.what());
  }
  fs::path baseDir = baseDirText;
  Node node(root, "");
  node.ExpectObject({"settings", "start", "title", "titleFont", "wizardBitmap", "backgroundBitmap",
                     "uninstaller", "uninstallerStrings", "dialogs", "strings", "volumeSize",
                     "compression", "components"});
  Project project;
  if (node.Has("settings")) {
    Node s = node["settings"];
    if (s.value().is_number_integer()) {
      project.settings = static_cast<uint32_t>(s.Integer(0, 0xFFFFFFFF));
    } else {
      s.ExpectObject({"fullScreen", "removePrevious"});
      if (s.Has("fullScreen") && s["fullScreen"].Bool()) project.settings |= 0x01;
      if (s.Has("removePrevious") && s["removePrevious"].Bool()) project.settings |= 0x10;
    }
  }
  if (node.Has("start")) {
    Node s = node["start"];
    s.ExpectObject({"page", "component"});
    uint16_t page = s.Has("page") ? static_cast<uint16_t>(s["page"].Integer(0, 0xFFFF)) : 0xFFFF;
    if (page != 0xFFFF && (page > 8 || page == 3)) s["page"].Fail("no such page (0-2, 4-8, or 65535)");
    uint16_t comp = s.Has("component") ? static_cast<uint16_t>(s["component"].Integer(0, 5)) : 0;
    project.start = std::make_pair(page, comp);
  }
  if (node.Has("title")) project.title = node["title"].Text(kMaxMessage);
  if (node.Has("titleFont")) project.titleFont = TitleFont(node["titleFont"]);
  for (const char* key : {"wizardBitmap", "backgroundBitmap"}) {
    if (!node.Has(key)) continue;
    std::vector<uint8_t> picture = ReadSource(node[key], baseDir, project.inputs);
    std::string problem = PictureProblem(picture);
    if (!problem.empty()) node[key].Fail(problem);
    (key[0] == 'w' ? project.wizardBitmap : project.backgroundBitmap) = std::move(picture);
  }
  if (node.Has("uninstaller")) project.uninstallerImage = ReadSource(node["uninstaller"], baseDir, project.inputs);
  if (node.Has("uninstallerStrings")) {
    Node texts = node["uninstallerStrings"];
    if (!texts.value().is_object()) texts.Fail("expected an object");
    for (auto it = texts.value().begin(); it != texts.value().end(); ++it) {
      Node text(it.value(), texts.where() + "." + it.key());
      size_t index = 0;
      bool number = !it.key().empty() && it.key().size() <= 2 &&
                    it.key().find_first_not_of("0123456789") == std::string::npos;
      if (number) index = std::stoul(it.key());
      if (!number || index >= UNTEXT_COUNT) {
        text.Fail("no uninstaller text has this number (0 to " + std::to_string(UNTEXT_COUNT - 1) + ")");
      }
      if (project.uninstallerStrings.size() <= index) project.uninstallerStrings.resize(index + 1);
      project.uninstallerStrings[index] = text.Text(kMaxMessage);
    }
  }
  if (node.Has("volumeSize")) {
    project.volumeSize = static_cast<uint64_t>(node["volumeSize"].Integer(1024, 0x7FFFFFFF));
  }
  if (node.Has("compression")) {
    Node c = node["compression"];
    c.ExpectObject({"compressor", "level"});
    if (c.Has("compressor")) {
      project.compression.compressor =
          c["compressor"].Choice({"libdeflate", "zlib"}) == 0 ? Compressor::Libdeflate : Compressor::Zlib;
    }
    int high = project.compression.compressor == Compressor::Zlib ? 9 : 12;
    project.compression.level = c.Has("level") ? static_cast<int>(c["level"].Integer(0, high))
                                               : (high == 9 ? 9 : 12);
  }

  std::vector<DialogTemplate> dialogs = DefaultDialogTemplates();
  if (node.Has("dialogs")) {
    Node d = node["dialogs"];
    d.ExpectObject({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    for (auto it = d.value().begin(); it != d.value().end(); ++it) {
      int number = std::stoi(it.key());
      Node t(it.value(), d.where() + "." + it.key());
      try {
        dialogs[number] = DialogTemplateFromJson(it.value());
      } catch (const std::exception& e) {
        t.Fail(e.what());
      }
      std::vector<std::string> missing = MissingControls(number, dialogs[number]);
      if (!missing.empty()) {
        std::string all;
        for (const std::string& m : missing) all += (all.empty() ? "" : ", ") + m;
        t.Fail("the template lacks controls the setup needs: " + all);
      }
      std::vector<std::string> styles = StyleProblems(number, dialogs[number]);
      if (!styles.empty()) {
        std::string all;
        for (const std::string& m : styles) all += (all.empty() ? "" : "; ") + m;
        t.Fail(all);
      }
    }
  }
  for (const DialogTemplate& dialog : dialogs) project.dialogTemplates.push_back(EncodeDialogTemplate(dialog));

  StringGroups strings = DefaultTexts();
  if (node.Has("strings")) ReadStrings(node["strings"], &strings);

  if (!node.Has("components")) node.Fail("a project needs \"components\"");
  Node components = node["components"];
  components.ExpectArray();
  if (components.size() == 0) components.Fail("a project needs at least one component");
  if (components.size() > kMaxComponents) {
    components.Fail("a package holds at most 6 components, this project has " +
                    std::to_string(components.size()));
  }
  std::vector<std::vector<std::pair<std::string, int>>> names(kMaxComponents);
  for (size_t i = 0; i < components.size(); ++i) {
    project.components.push_back(
        ReadComponent(components.At(i), baseDir, project.inputs, strings, &names, static_cast<int>(i)));
  }
  if (project.start && project.start->second >= project.components.size()) {
    node["start"]["component"].Fail("no such component");
  }
  return project;
}

Project ReadProject(const std::string& path) {
  InputFiles inputs;
  std::vector<uint8_t> bytes = inputs.Read(path);
  std::string text(bytes.begin(), bytes.end());
  try {
    Project project = ParseProject(text, fs::path(path).parent_path().string());
    project.inputs.Add(inputs);
    return project;
  } catch (const FieldError& e) {
    // file:line:column: the form editors and terminals jump to.
    std::optional<std::pair<int, int>> at = FieldPosition(text, e.field());
    if (!at) throw ProjectError(path + ": " + e.what());
    throw ProjectError(path + ":" + std::to_string(at->first) + ":" + std::to_string(at->second) + ": " +
                       e.what());
  } catch (const TextError& e) {
    throw ProjectError(path + ":" + e.what());
  } catch (const ProjectError& e) {
    throw ProjectError(path + ": " + e.what());
  }
}

}  // namespace setup::tools
