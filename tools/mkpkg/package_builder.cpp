#include "tools/mkpkg/package_builder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "decode/checksum.h"
#include "decode/package_reader.h"
#include "package/file_entry.h"
#include "package/package_state.h"
#include "package/stub_patch.h"
#include "tools/common/sha256.h"
#include "tools/mkpkg/dialog_templates.h"
#include "tools/mkpkg/input_files.h"
#include "tools/mkpkg/patch_encoder.h"
#include "tools/mkpkg/project_reader.h"
#include "uninstall/uninstall_texts.h"

namespace fs = std::filesystem;

namespace setup::tools {

namespace {

class Bytes {
 public:
  void U8(uint8_t v) { data.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void Text(const std::string& s) {
    data.insert(data.end(), s.begin(), s.end());
    data.push_back(0);
  }
  void Append(const std::vector<uint8_t>& more) { data.insert(data.end(), more.begin(), more.end()); }
  void PutU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  std::vector<uint8_t> data;
};

// A record; compressed when that makes it smaller.
void AppendRecord(Bytes& out, uint16_t type, const std::vector<uint8_t>& payload, bool compressible,
                  const StreamOptions& options) {
  if (compressible && !payload.empty()) {
    std::vector<uint8_t> stream = WriteStream(payload.data(), payload.size(), options);
    if (stream.size() + 4 < payload.size()) {
      out.U16(type);
      out.U16(REC_COMPRESSED);
      out.U32(static_cast<uint32_t>(stream.size() + 4));
      out.U32(static_cast<uint32_t>(payload.size()));
      out.Append(stream);
      return;
    }
  }
  out.U16(type);
  out.U16(0);
  out.U32(static_cast<uint32_t>(payload.size()));
  out.Append(payload);
}

std::vector<uint8_t> EncodeFileEntry(const FileSpec& file, uint32_t dataOffset, uint32_t storedSize,
                                     uint32_t fileSize, uint32_t checksum, uint8_t baseComponent,
                                     uint8_t baseIndex) {
  Bytes e;
  uint8_t flags = (file.uninstaller ? FEF_UNINSTALLER : 0) |
                  (file.checkVersion ? FEF_CHECK_VERSION : 0) |
                  (file.checkLanguage ? FEF_CHECK_LANGUAGE : 0) | (file.times ? FEF_FILE_TIMES : 0) |
                  (file.patchFrom ? FEF_PATCH : 0);
  e.U16(0);  // entrySize, filled below
  e.U16(STATE_IDLE);
  e.U16(file.iconIndex);
  e.U32(dataOffset);
  e.U32(storedSize);
  e.U32(fileSize);
  e.U32(checksum);
  e.U8(flags);
  e.U8(file.folderKind);
  e.U8(file.finishRole);
  e.U8(file.shared ? 1 : 0);
  e.U8(file.placement);
  e.U8(file.specialKind);
  e.U8(baseComponent);
  e.U8(baseIndex);
  if (flags & (FEF_CHECK_VERSION | FEF_CHECK_LANGUAGE)) {
    e.U32(file.version.fileVersionMS);
    e.U32(file.version.fileVersionLS);
    e.U32(file.version.productVersionMS);
    e.U32(file.version.productVersionLS);
    e.U32(file.version.language);
  }
  if (file.times) {
    for (uint64_t t : {file.times->creation, file.times->lastAccess, file.times->lastWrite}) {
      e.U32(static_cast<uint32_t>(t));
      e.U32(static_cast<uint32_t>(t >> 32));
    }
  }
  for (const std::string* s : {&file.name, &file.shortcutFolder, &file.shortcutName,
                               &file.shortcutArgs, &file.desktopName, &file.desktopArgs}) {
    e.Text(*s);
  }
  if (e.data.size() > 0xFFFF) throw ProjectError("file \"" + file.name + "\": entry too long");
  e.data[0] = static_cast<uint8_t>(e.data.size());
  e.data[1] = static_cast<uint8_t>(e.data.size() >> 8);
  return e.data;
}

std::vector<uint8_t> EncodeIniList(const std::vector<IniSpec>& list) {
  Bytes b;
  b.U16(static_cast<uint16_t>(list.size()));
  for (const IniSpec& e : list) {
    b.U8(e.onlyIfMissing ? 1 : 0);
    b.Text(e.file);
    b.Text(e.section);
    b.Text(e.key);
    b.Text(e.value);
  }
  return b.data;
}

std::vector<uint8_t> EncodeRegistryList(const std::vector<RegistrySpec>& list) {
  Bytes b;
  b.U16(static_cast<uint16_t>(list.size()));
  for (const RegistrySpec& e : list) {
    b.U32(e.root);
    b.U8(e.keepExisting ? 1 : 0);
    b.Text(e.key);
    b.Text(e.valueName);
    b.Text(e.data);
  }
  return b.data;
}

std::vector<uint8_t> EncodeFilePatchList(const std::vector<FilePatchSpec>& list) {
  Bytes b;
  b.U16(static_cast<uint16_t>(list.size()));
  for (const FilePatchSpec& e : list) {
    b.U32(static_cast<uint32_t>(e.offset));
    b.U32(static_cast<uint32_t>(e.pattern.size()));
    b.U32(0);
    b.U8(0);
    b.Text(e.file);
    b.Text(e.text);
    b.Append(e.pattern);
  }
  return b.data;
}

// The file-data region as it is laid out, with identical contents stored once.
// It is spooled to an unnamed scratch file, so that memory holds no more than
// the file being compressed and its stream.
class Region {
 public:
  explicit Region(const StreamOptions& options) : options_(options), spool_(std::tmpfile(), &std::fclose) {
    if (!spool_) throw ProjectError(std::string("cannot make a scratch file: ") + std::strerror(errno));
  }

  struct Stored {
    uint32_t offset;
    uint32_t size;
    uint8_t component;
    uint8_t index;
  };

  // Stores a compressed stream of `contents`, or finds the same contents
  // (by their digest, taken as they were read) stored already.
  Stored StoreFile(const std::vector<uint8_t>& contents, const Sha256Digest& digest, int component,
                   int index, bool* shared) {
    auto it = known_.find(digest);
    *shared = it != known_.end();
    if (*shared) return it->second;
    std::vector<uint8_t> stream = WriteStream(contents.data(), contents.size(), options_);
    Stored stored = Append(stream, component, index);
    known_.emplace(digest, stored);
    return stored;
  }

  Stored Append(const std::vector<uint8_t>& bytes, int component, int index) {
    if (size_ + bytes.size() > 0xFFFFFFF0u) throw ProjectError("the file-data region passes 4 GiB");
    Stored stored{static_cast<uint32_t>(size_), static_cast<uint32_t>(bytes.size()),
                  static_cast<uint8_t>(component), static_cast<uint8_t>(index > 255 ? 255 : index)};
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), spool_.get()) != bytes.size()) {
      throw ProjectError(std::string("cannot write the scratch file: ") + std::strerror(errno));
    }
    size_ += bytes.size();
    return stored;
  }

  // The finished region.
  std::shared_ptr<std::FILE> Finish() {
    if (std::fflush(spool_.get()) != 0) {
      throw ProjectError(std::string("cannot write the scratch file: ") + std::strerror(errno));
    }
    return spool_;
  }
  uint64_t size() const { return size_; }

 private:
  StreamOptions options_;
  std::shared_ptr<std::FILE> spool_;
  uint64_t size_ = 0;
  std::map<Sha256Digest, Stored> known_;
};

// The sources read for one build, each with the digest of what was read the
// first time: a source read again (a patch's base, a file named twice) must
// give the same bytes, or it changed while the package was built.
class Sources {
 public:
  // A file's contents, read now, and their digest; it must still be the
  // file the project named.
  std::vector<uint8_t> Read(const FileSpec& file, const std::string& label, Sha256Digest* digest) {
    if (file.path.empty()) {
      *digest = Sha256(nullptr, 0);
      return {};
    }
    InputFiles again;
    std::vector<uint8_t> data = again.Read(file.path);
    *digest = Sha256(data.data(), data.size());
    auto [it, first] = read_.emplace(file.path, *digest);
    if (data.size() != file.size || (!first && it->second != *digest)) {
      throw ProjectError(label + ": " + file.path + " changed while the package was built");
    }
    return data;
  }
  std::vector<uint8_t> Read(const FileSpec& file, const std::string& label) {
    Sha256Digest digest;
    return Read(file, label, &digest);
  }

 private:
  std::map<std::string, Sha256Digest> read_;
};

// The uninstaller's own data when the project gives none: an empty record
// stream, whose end record the uninstall log replaces.
const std::vector<uint8_t> kEmptyRecordStream = {0x7F, 0x7F, 0, 0, 0, 0, 0, 0};

// The built-in uninstaller's data: its texts (the defaults, with the
// project's replacements), then the end record that the log replaces.
std::vector<uint8_t> UninstallerTextStream(const std::vector<std::string>& replacements) {
  Bytes group;
  group.U16(UNTEXT_COUNT);
  for (unsigned i = 0; i < UNTEXT_COUNT; ++i) {
    bool replaced = i < replacements.size() && !replacements[i].empty();
    group.Text(replaced ? replacements[i] : std::string(kUninstallDefaultTexts[i]));
  }
  Bytes stream;
  stream.U16(UNINSTALL_TEXTS);
  stream.U16(0);
  stream.U32(static_cast<uint32_t>(group.data.size()));
  stream.Append(group.data);
  stream.Append(kEmptyRecordStream);
  return stream.data;
}

// Volume k's name beside `path`, made as the setup makes it (with "\"
// separators, so that a "." in a folder name is not taken for an extension).
std::string VolumeName(const std::string& path, uint32_t k) {
  std::string engine = path;
  for (char& c : engine) {
    if (c == '/') c = '\\';
  }
  std::vector<char> name(engine.size() + 32);
  if (!VolumeFileName(engine.c_str(), k, name.data(), static_cast<uint32_t>(name.size()))) {
    throw ProjectError(path + ": no room for volume names");
  }
  std::string host = name.data();
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

std::string FileLabel(int component, size_t index, const FileSpec& file) {
  return "components[" + std::to_string(component) + "].files[" + std::to_string(index) + "] (" +
         file.name + ")";
}

}  // namespace

std::vector<uint8_t> PatchStubSize(std::vector<uint8_t> stub) {
  size_t found = std::string::npos;
  for (size_t i = 0; i + kPatchBlockSize <= stub.size(); ++i) {
    if (std::memcmp(stub.data() + i, kPatchMarker, sizeof kPatchMarker) == 0) {
      if (found != std::string::npos) throw ProjectError("the stub holds its patch marker twice");
      found = i;
    }
  }
  if (found == std::string::npos) throw ProjectError("the stub has no patch block");
  uint32_t size = static_cast<uint32_t>(stub.size());
  for (int i = 0; i < 4; ++i) stub[found + kPatchStubSizeOffset + i] = static_cast<uint8_t>(size >> (8 * i));
  return stub;
}

std::vector<uint8_t> EncodeDescriptor(const ComponentSpec& c) {
  Bytes d;
  d.data.assign(kDescriptorFixedSize, 0);
  d.data[0] = static_cast<uint8_t>(c.options);
  d.data[1] = static_cast<uint8_t>(c.options >> 8);
  d.PutU32(kDescFolderRootKey, c.folderRootKey);
  auto text = [&](uint32_t field, const std::optional<std::string>& value) {
    if (!value) return;
    d.PutU32(field, static_cast<uint32_t>(d.data.size()));
    d.Text(*value);
  };
  text(kDescDisplayName, c.displayName);
  text(kDescChoiceLabel, c.choiceLabel);
  text(kDescDefaultFolder, c.defaultFolder);
  text(kDescFolderRegKey, c.folderRegKey);
  text(kDescFolderRegValue, c.folderRegValue);
  text(kDescFolderIniFile, c.folderIniFile);
  text(kDescFolderIniSection, c.folderIniSection);
  text(kDescFolderIniKey, c.folderIniKey);
  for (int g = 0; g < kStringGroups; ++g) {
    d.PutU32(kDescStringGroups + 4 * g, static_cast<uint32_t>(d.data.size()));
    d.Append(EncodeStringGroup(c.strings[g]));
  }
  return d.data;
}

std::vector<uint8_t> EncodeDataItem(const std::vector<uint8_t>& data, const StreamOptions& options) {
  Bytes item;
  uint32_t size = static_cast<uint32_t>(data.size());
  bool wideSize = size > 0xFFFF;
  if (size == 0) {
    item.U8(0);
    item.U16(0);
    return item.data;
  }
  std::vector<uint8_t> stream = WriteStream(data.data(), data.size(), options);
  bool compress = stream.size() < data.size();
  bool widePacked = stream.size() > 0xFFFF;
  item.U8(static_cast<uint8_t>((compress ? 1 : 0) | (wideSize ? 2 : 0) |
                               (compress && widePacked ? 4 : 0)));
  if (wideSize) item.U32(size);
  else item.U16(static_cast<uint16_t>(size));
  if (compress) {
    if (widePacked) item.U32(static_cast<uint32_t>(stream.size()));
    else item.U16(static_cast<uint16_t>(stream.size()));
    item.Append(stream);
  } else {
    item.Append(data);
  }
  return item.data;
}

bool NeedsBuiltInUninstaller(const Project& project) {
  if (project.uninstallerImage) return false;
  for (const ComponentSpec& component : project.components) {
    for (const FileSpec& file : component.files) {
      if (file.uninstaller) return true;
    }
  }
  return false;
}

BuiltPackage BuildPackage(const Project& project, const std::vector<uint8_t>& stubBytes) {
  if (project.components.empty() || project.components.size() > kMaxComponents) {
    throw ProjectError("a package holds 1 to 6 components");
  }
  BuiltPackage built;
  std::vector<uint8_t> stub = PatchStubSize(stubBytes);
  Region region(project.compression);
  Sources sources;

  // Lay out the data of every file, component by component.
  std::vector<std::vector<std::vector<uint8_t>>> entries(project.components.size());
  for (size_t c = 0; c < project.components.size(); ++c) {
    const ComponentSpec& component = project.components[c];
    bool haveUninstaller = false;
    for (size_t i = 0; i < component.files.size(); ++i) {
      const FileSpec& file = component.files[i];
      std::string label = FileLabel(static_cast<int>(c), i, file);
      Sha256Digest digest;
      std::vector<uint8_t> contents = sources.Read(file, label, &digest);
      uint32_t size = static_cast<uint32_t>(contents.size());
      uint32_t sum = ComputeChecksum(contents.data(), size, 0);
      Region::Stored stored{0, 0, static_cast<uint8_t>(c), static_cast<uint8_t>(i > 255 ? 255 : i)};
      if (file.placement == PLACE_SOURCE) {
        if (file.uninstaller || file.patchFrom) {
          throw ProjectError(label + ": a file taken from the source folder cannot be the uninstaller or a patch");
        }
      } else if (file.uninstaller) {
        if (haveUninstaller) throw ProjectError(label + ": a component has one uninstaller");
        if (!project.uninstallerImage || project.uninstallerImage->empty()) {
          throw ProjectError(label + ": the uninstaller entry needs the project's \"uninstaller\" image");
        }
        if (file.patchFrom) throw ProjectError(label + ": the uninstaller cannot be a patch");
        // The built-in uninstaller reads the log's "." paths against its own folder.
        if (project.builtInUninstaller &&
            (file.folderKind != FOLDER_INSTALL || file.name.find('\\') != std::string::npos)) {
          throw ProjectError(label + ": the built-in uninstaller must lie in the destination "
                             "folder's root (folder \"install\", a name without \"\\\")");
        }
        haveUninstaller = true;
        const std::vector<uint8_t> data =
            !file.source.empty() ? contents
            : project.builtInUninstaller ? UninstallerTextStream(project.uninstallerStrings)
                                         : kEmptyRecordStream;
        stored = region.Append(WriteStream(data.data(), data.size(), project.compression),
                               static_cast<int>(c), static_cast<int>(i));
        ++built.storedFiles;
        size = static_cast<uint32_t>(project.uninstallerImage->size() + data.size());
        sum = 0;
      } else if (file.patchFrom) {
        const PatchBaseRef& ref = *file.patchFrom;
        if (ref.component < 0 || ref.component >= static_cast<int>(project.components.size()) ||
            ref.index < 0 || ref.index >= static_cast<int>(project.components[ref.component].files.size())) {
          throw ProjectError(label + ": the patch's base (component " + std::to_string(ref.component) +
                             ", file " + std::to_string(ref.index) + ") is missing");
        }
        if (ref.index > 255) throw ProjectError(label + ": the patch's base must be among the first 256 files");
        const FileSpec& base = project.components[ref.component].files[ref.index];
        if (base.patchFrom || base.uninstaller || base.placement == PLACE_SOURCE) {
          throw ProjectError(label + ": the patch's base must be a stored file, not a patch, the uninstaller or a source file");
        }
        PatchStreams patch = EncodePatch(sources.Read(base, label), contents);
        std::vector<uint8_t> items = EncodeDataItem(patch.commands, project.compression);
        std::vector<uint8_t> literals = EncodeDataItem(patch.literals, project.compression);
        items.insert(items.end(), literals.begin(), literals.end());
        stored = region.Append(items, ref.component, ref.index);
        ++built.patches;
      } else {
        bool shared = false;
        stored = region.StoreFile(contents, digest, static_cast<int>(c), static_cast<int>(i), &shared);
        ++(shared ? built.sharedFiles : built.storedFiles);
      }
      entries[c].push_back(EncodeFileEntry(file, stored.offset, stored.size, size, sum,
                                           stored.component, stored.index));
    }
  }

  // The record stream.
  Bytes records;
  const StreamOptions& options = project.compression;
  AppendRecord(records, REC_SETTINGS, {static_cast<uint8_t>(project.settings),
                                       static_cast<uint8_t>(project.settings >> 8),
                                       static_cast<uint8_t>(project.settings >> 16),
                                       static_cast<uint8_t>(project.settings >> 24)},
               false, options);
  if (project.start) {
    Bytes start;
    start.U16(project.start->first);
    start.U16(project.start->second);
    AppendRecord(records, REC_START, start.data, false, options);
  }
  if (project.title) {
    Bytes title;
    title.Text(*project.title);
    AppendRecord(records, REC_TITLE, title.data, false, options);
  }
  if (project.titleFont) AppendRecord(records, REC_TITLE_FONT, *project.titleFont, false, options);
  if (project.wizardBitmap) AppendRecord(records, REC_WIZARD_BITMAP, *project.wizardBitmap, true, options);
  if (project.backgroundBitmap) {
    AppendRecord(records, REC_BACKGROUND_BITMAP, *project.backgroundBitmap, true, options);
  }
  AppendRecord(records, REC_DIALOGS, BuildDialogBlock(project.dialogTemplates), true, options);
  if (project.uninstallerImage) AppendRecord(records, REC_UNINSTALLER, *project.uninstallerImage, true, options);
  for (size_t c = 0; c < project.components.size(); ++c) {
    const ComponentSpec& component = project.components[c];
    AppendRecord(records, REC_COMPONENT, EncodeDescriptor(component), true, options);
    Bytes list;
    list.U32(static_cast<uint32_t>(entries[c].size()));
    for (const auto& entry : entries[c]) list.Append(entry);
    AppendRecord(records, REC_FILE_LIST, list.data, true, options);
    if (!component.ini.empty()) AppendRecord(records, REC_INI_ENTRIES, EncodeIniList(component.ini), true, options);
    if (!component.registry.empty()) {
      AppendRecord(records, REC_REGISTRY_ENTRIES, EncodeRegistryList(component.registry), true, options);
    }
    if (!component.filePatches.empty()) {
      AppendRecord(records, REC_FILE_PATCHES, EncodeFilePatchList(component.filePatches), true, options);
    }
  }

  // The region: what fits in the setup file, then volume files.
  built.regionSize = region.size();
  built.region = region.Finish();
  uint64_t head = stub.size() + records.data.size() + kRecordHeaderSize + 4;
  uint64_t first = built.regionSize;
  if (project.volumeSize != 0) {
    // The setup file keeps what fits beside the program and its records; when
    // nothing does, the data starts in the first volume file.
    first = head < project.volumeSize ? std::min<uint64_t>(built.regionSize, project.volumeSize - head) : 0;
  }
  Bytes setupFile;
  setupFile.data = stub;
  setupFile.Append(records.data);
  setupFile.U16(REC_END);
  setupFile.U16(0);
  setupFile.U32(first != 0 ? static_cast<uint32_t>(first) : 4);
  setupFile.U32(static_cast<uint32_t>(first));
  built.setupFile = {std::move(setupFile.data), 0, first};
  for (uint64_t at = first; at < built.regionSize;) {
    uint64_t room = project.volumeSize - 4;
    uint64_t n = std::min<uint64_t>(room, built.regionSize - at);
    Bytes volume;
    volume.U32(static_cast<uint32_t>(n));
    built.volumes.push_back({std::move(volume.data), at, n});
    at += n;
  }
  return built;
}

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Writes `file` (its head, then its range of the region) to a new file beside
// `name`, made exclusively (never through a link) under a name nobody else
// holds; returns that name.
std::string WriteTemporary(const std::string& name, const OutputFile& file, std::FILE* region) {
  std::string temporary = name + ".mkpkg-XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) throw ProjectError(name + ": cannot write beside it: " + std::strerror(errno));
  int error = 0;
  auto put = [&](const uint8_t* p, size_t left) {
    while (left != 0 && error == 0) {
      ssize_t n = write(fd, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = errno;
      else p += n, left -= static_cast<size_t>(n);
    }
  };
  put(file.head.data(), file.head.size());
  std::vector<uint8_t> piece(file.length != 0 ? 1 << 20 : 0);
  for (uint64_t at = file.offset, end = file.offset + file.length; at < end && error == 0;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), end - at));
    ssize_t got = pread(fileno(region), piece.data(), n, static_cast<off_t>(at));
    if (got <= 0) {
      error = got < 0 ? errno : EIO;
      break;
    }
    put(piece.data(), static_cast<size_t>(got));
    at += static_cast<uint64_t>(got);
  }
  if (error == 0 && fchmod(fd, 0644) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    throw ProjectError(name + ": cannot write: " + std::strerror(error));
  }
  return temporary;
}

std::string WhyNotReplaced(const std::string& name, int error) {
  struct stat st;
  if (lstat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return name + ": cannot write: a folder has that name";
  return name + ": cannot write: " + std::strerror(error);
}

}  // namespace

std::vector<std::string> WritePackageFiles(const BuiltPackage& package, const std::string& path,
                                           const InputFiles& inputs, std::vector<std::string>* removed) {
  std::vector<std::pair<std::string, const OutputFile*>> outputs;
  outputs.emplace_back(path, &package.setupFile);
  for (size_t k = 0; k < package.volumes.size(); ++k) {
    outputs.emplace_back(VolumeName(path, static_cast<uint32_t>(k + 1)), &package.volumes[k]);
  }
  // Volumes left over from an earlier, longer build would only mislead.
  std::vector<std::string> leftovers;
  for (uint32_t k = static_cast<uint32_t>(package.volumes.size()) + 1; k <= 99; ++k) {
    std::string name = VolumeName(path, k);
    if (!Exists(name)) break;
    leftovers.push_back(name);
  }
  // The setup finds its volumes by replacing its extension: a setup file
  // named like a volume would be one of them.
  for (uint32_t k = 1; k <= 99; ++k) {
    if (SameName(VolumeName(path, k), path)) {
      throw ProjectError(path + ": the setup file cannot have a volume's extension (.D01 to .D99)");
    }
  }
  for (const auto& [name, file] : outputs) {
    if (inputs.Holds(name)) throw ProjectError(name + ": the output would replace one of the inputs");
  }
  for (const std::string& name : leftovers) {
    if (inputs.Holds(name)) throw ProjectError(name + ": an old volume to remove is one of the inputs");
  }

  // The output's folder is made when missing (and taken away again on a
  // failure, as far as it was made here).
  std::vector<std::filesystem::path> made;
  {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (; !folder.empty() && !Exists(folder.string()); folder = folder.parent_path()) {
      made.insert(made.begin(), folder);
    }
    for (const std::filesystem::path& m : made) {
      if (mkdir(m.c_str(), 0777) != 0) {
        int error = errno;
        for (auto it = made.rbegin(); it != made.rend(); ++it) rmdir(it->c_str());
        throw ProjectError(m.string() + ": cannot make the output's folder: " + std::strerror(error));
      }
    }
  }
  auto unmake = [&] {
    for (auto it = made.rbegin(); it != made.rend(); ++it) rmdir(it->c_str());
  };

  // Everything is written under temporary names first; the earlier files are
  // kept aside until every new one is in place, and put back on any failure.
  std::vector<std::string> temporaries, asides;
  std::vector<size_t> placed;
  auto restore = [&] {
    for (size_t i = placed.size(); i-- > 0;) {
      const std::string& name = outputs[placed[i]].first;
      if (asides[placed[i]].empty()) unlink(name.c_str());
      else rename(asides[placed[i]].c_str(), name.c_str());
    }
    for (const std::string& t : temporaries) unlink(t.c_str());
    for (size_t i = 0; i < asides.size(); ++i) {
      if (!asides[i].empty() && std::find(placed.begin(), placed.end(), i) == placed.end()) {
        unlink(asides[i].c_str());
      }
    }
  };
  try {
    for (const auto& [name, file] : outputs) {
      temporaries.push_back(WriteTemporary(name, *file, package.region.get()));
    }
    for (size_t i = 0; i < outputs.size(); ++i) {
      const std::string& name = outputs[i].first;
      std::string aside;
      if (Exists(name)) {
        // A name nobody holds, reserved, then taken over by the earlier file.
        aside = WriteTemporary(name, OutputFile{}, package.region.get());
        asides.push_back(aside);
        if (rename(name.c_str(), aside.c_str()) != 0) {
          int error = errno;
          asides.back().clear();
          unlink(aside.c_str());
          throw ProjectError(WhyNotReplaced(name, error));
        }
      } else {
        asides.push_back("");
      }
      placed.push_back(i);
      if (rename(temporaries[i].c_str(), name.c_str()) != 0) {
        throw ProjectError(WhyNotReplaced(name, errno));
      }
    }
  } catch (const ProjectError&) {
    restore();
    unmake();
    throw;
  }
  for (const std::string& aside : asides) {
    if (!aside.empty()) unlink(aside.c_str());
  }
  for (const std::string& name : leftovers) {
    if (unlink(name.c_str()) == 0) removed->push_back(name);
  }
  std::vector<std::string> written;
  for (const auto& output : outputs) written.push_back(output.first);
  return written;
}

}  // namespace setup::tools
