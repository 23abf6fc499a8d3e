// The loader walks the record stream from the end of the stub: each payload
// goes to its place in the package state, each component record opens the
// next of at most six component slots, and the end record gives the
// file-data region. A package is complete when the region ends exactly at the
// end of the file, or when it carries a start record.
//
// Everything is checked as it is loaded, so that the rest of the setup can
// trust the package: descriptors, file lists and entry lists that do not hold
// together, and compressed payloads that do not decode to their size, make the
// package damaged, which is refused like an incomplete one.
#include "package/package_loader.h"

#include <initializer_list>

#include "install/entry_lists.h"
#include "install/file_entry.h"
#include "package/bytes.h"
#include "package/component.h"
#include "package/errors.h"
#include "package/file_io.h"
#include "package/memory.h"
#include "package/strings.h"

namespace setup {

namespace {

void FreePayload(Platform& platform, Payload* payload) {
  FreeBlock(platform, &payload->data);
  payload->size = 0;
}

bool GlobalRecordsHoldTogether(const PackageState& package) {
  if (package.title.data != nullptr &&
      BoundedTextLength(package.title.data, package.title.data + package.title.size) < 0) {
    return false;
  }
  return package.titleFont.data == nullptr || package.titleFont.size >= kLogFontSize;
}

class Loader {
 public:
  explicit Loader(SetupContext& context)
      : context_(context), platform_(context.platform), package_(context.package) {}

  int Run();

 private:
  int ReadGlobal(const RecordHeader& header, Payload* payload);
  int ReadCounted(const RecordHeader& header, Payload* payload);
  int ReadComponent(const RecordHeader& header);
  int ReadComponentList(const RecordHeader& header);
  int ReadEnd(uint32_t position);

  SetupContext& context_;
  Platform& platform_;
  PackageState& package_;
  FileHandle file_ = kInvalidFile;
  uint32_t fileSize_ = 0;
  int component_ = -1;  // component that per-component records belong to
  uint32_t loaded_ = 0;  // decoded bytes of every payload read, kMaxRecordsTotal at most
  bool complete_ = false;
  bool damaged_ = false;
};

// Every payload read counts against the total, replaced ones too: the total
// bounds the decoding work as well as the memory.
int Loader::ReadGlobal(const RecordHeader& header, Payload* payload) {
  FreePayload(platform_, payload);
  return ReadCounted(header, payload);
}

int Loader::ReadCounted(const RecordHeader& header, Payload* payload) {
  uint32_t room = kMaxRecordsTotal - loaded_;
  int result = ReadRecordPayload(context_, file_, header, payload,
                                 room < kMaxRecordSize ? room : kMaxRecordSize);
  loaded_ += payload->size;
  return result;
}

int Loader::ReadComponent(const RecordHeader& header) {
  ++component_;
  if (component_ >= kMaxComponents) return 0;  // a seventh component has no slot
  ComponentSlot& slot = package_.components[component_];
  int result = ReadCounted(header, &slot.descriptorBlock);
  if (result != PAYLOAD_OK) return result;
  slot.hasDescriptor =
      ParseComponentDescriptor(slot.descriptorBlock.data, slot.descriptorBlock.size, &slot.descriptor);
  if (!slot.hasDescriptor) damaged_ = true;
  if (!AllocZeroedBlock(platform_, kPathSize, &slot.savedFolder)) return ERR_OUT_OF_MEMORY;
  return 0;
}

int Loader::ReadComponentList(const RecordHeader& header) {
  // Lists before the first component, or of a seventh one, belong to no slot.
  if (component_ < 0 || component_ >= kMaxComponents) return 0;
  ComponentSlot& slot = package_.components[component_];
  Payload* list = header.type == REC_FILE_LIST          ? &slot.fileList
                  : header.type == REC_INI_ENTRIES      ? &slot.iniEntries
                  : header.type == REC_REGISTRY_ENTRIES ? &slot.registryEntries
                                                        : &slot.filePatches;
  int result = ReadGlobal(header, list);
  if (result != PAYLOAD_OK) return result;
  bool valid = header.type == REC_FILE_LIST         ? ValidateFileList(list->data, list->size)
               : header.type == REC_INI_ENTRIES     ? ValidateIniList(list->data, list->size)
               : header.type == REC_REGISTRY_ENTRIES ? ValidateRegistryList(list->data, list->size)
                                                    : ValidateFilePatchList(list->data, list->size);
  if (!valid) damaged_ = true;
  return 0;
}

int Loader::ReadEnd(uint32_t position) {
  uint8_t length[4];
  package_.regionStart = position;
  // A file that ends inside D is cut short, and no start record can vouch
  // for a region whose length is unknown.
  if (ReadExact(platform_, file_, length, 4) != 0) {
    damaged_ = true;
    return 0;
  }
  package_.regionLength = ReadU32(length);
  if (static_cast<uint64_t>(position) + 4 + package_.regionLength == fileSize_) complete_ = true;
  return 0;
}

int Loader::Run() {
  if (context_.stubSize == 0) return 0;
  CopyText(context_.openPath, kPathSize, context_.packagePath);
  file_ = OpenForRead(platform_, context_.openPath);
  if (file_ == kInvalidFile) return 0;
  fileSize_ = FileSize(platform_, file_);
  package_.startPage = kNoStartPage;
  package_.startComponent = 0;

  int error = 0;
  if (context_.stubSize > fileSize_ ||
      SeekFile(platform_, file_, static_cast<int32_t>(context_.stubSize), kFileBegin) !=
          context_.stubSize) {
    error = 1;
  }
  uint16_t lastType = 0;
  while (error == 0 && lastType != REC_END) {
    uint8_t raw[kRecordHeaderSize];
    if (ReadExact(platform_, file_, raw, kRecordHeaderSize) != 0) {
      error = 1;
      break;
    }
    RecordHeader header{ReadU16(raw), ReadU16(raw + 2), ReadU32(raw + 4)};
    lastType = header.type;
    if (header.length == 0) continue;  // no payload; a zero-length end record ends the stream
    uint32_t position = TellFile(platform_, file_);
    uint64_t next = static_cast<uint64_t>(position) + header.length;
    // A payload that runs past the end of the file is a cut-short stream; find
    // that before asking for a buffer of its length. The end record's length
    // is not a payload length and is never used to seek.
    if (header.type != REC_END && next > fileSize_) {
      error = 1;
      break;
    }

    int result = 0;
    switch (header.type) {
      case REC_SETTINGS: {
        uint8_t settings[4] = {};
        ReadExact(platform_, file_, settings, 4);
        package_.settings = ReadU32(settings);
        break;
      }
      case REC_WIZARD_BITMAP: result = ReadGlobal(header, &package_.wizardBitmap); break;
      case REC_BACKGROUND_BITMAP: result = ReadGlobal(header, &package_.backgroundBitmap); break;
      case REC_TITLE: result = ReadGlobal(header, &package_.title); break;
      case REC_TITLE_FONT: result = ReadGlobal(header, &package_.titleFont); break;
      case REC_DIALOGS: result = ReadGlobal(header, &package_.dialogs); break;
      case REC_UNINSTALLER: result = ReadGlobal(header, &package_.uninstaller); break;
      case REC_START: {
        uint8_t value[2];
        result = ReadExact(platform_, file_, value, 2);
        if (result == 0) {
          package_.startPage = ReadU16(value);
          result = ReadExact(platform_, file_, value, 2);
          if (result == 0) package_.startComponent = ReadU16(value);
        }
        complete_ = true;
        break;
      }
      case REC_COMPONENT: result = ReadComponent(header); break;
      case REC_FILE_LIST:
      case REC_INI_ENTRIES:
      case REC_REGISTRY_ENTRIES:
      case REC_FILE_PATCHES: result = ReadComponentList(header); break;
      case REC_END: result = ReadEnd(position); break;
      default: break;
    }
    if (result == PAYLOAD_DAMAGED) {
      damaged_ = true;
      result = 0;
    }
    error = result;
    if (error != 0 || header.type == REC_END) break;
    SeekFile(platform_, file_, static_cast<int32_t>(next), kFileBegin);
  }
  CloseFile(platform_, &file_);
  // The decoder keeps its window from one stream to the next; the install run
  // is far off, and FreePackage must leave nothing behind.
  context_.decoder.ReleaseBuffers();

  package_.componentCount = component_ + 1 < kMaxComponents ? component_ + 1 : kMaxComponents;
  if (error != 0) return 0;
  // A package without components has nothing to install and no texts.
  if (!GlobalRecordsHoldTogether(package_) || package_.componentCount == 0) damaged_ = true;

  // A start component without a slot falls back to the first component.
  int start = package_.startComponent < package_.componentCount ? package_.startComponent : 0;
  context_.current.index = start;
  SelectComponent(context_, start);

  if (complete_ && !damaged_) return 1;
  const char* text = GetPackageString(context_, 6, 31);
  if (*text != '\0') ShowSetupMessage(context_, text, kMbIconInformation);
  return 0;
}

}  // namespace

int ReadRecordPayload(SetupContext& context, FileHandle file, const RecordHeader& header,
                      Payload* payload, uint32_t room) {
  Platform& platform = context.platform;
  payload->data = nullptr;
  payload->size = 0;
  bool compressed = (header.flags & REC_COMPRESSED) != 0;
  uint32_t size = header.length;
  uint64_t recordEnd = static_cast<uint64_t>(TellFile(platform, file)) + header.length;
  if (compressed) {
    uint8_t raw[4];
    if (header.length < 4) return PAYLOAD_DAMAGED;
    if (ReadExact(platform, file, raw, 4) != 0) return PAYLOAD_READ_FAILED;
    size = ReadU32(raw);
    uint64_t packed = static_cast<uint64_t>(header.length) - 4;
    if (size > packed * kMaxStreamExpansion + kMaxStreamExpansion) {
      return PAYLOAD_DAMAGED;
    }
  }
  if (size > room) return PAYLOAD_DAMAGED;
  uint8_t* block = nullptr;
  if (!AllocBlock(platform, size, &block)) return PAYLOAD_NO_MEMORY;
  if (compressed) {
    // The decoder reads on from the file as long as the stream goes; a stream
    // that ends past its record has taken bytes of the records after it.
    MemorySink sink(block, size);
    if (context.decoder.Decode(sink, file, 0) != DECODE_OK || sink.Written() != size ||
        TellFile(platform, file) > recordEnd) {
      FreeBlock(platform, &block);
      return context.decoder.LastResult() == STREAM_NO_MEMORY ? PAYLOAD_NO_MEMORY : PAYLOAD_DAMAGED;
    }
  } else if (ReadExact(platform, file, block, size) != 0) {
    FreeBlock(platform, &block);
    return PAYLOAD_READ_FAILED;
  }
  payload->data = block;
  payload->size = size;
  return PAYLOAD_OK;
}

int LoadPackage(SetupContext& context) { return Loader(context).Run(); }

void FreePackage(SetupContext& context) {
  Platform& platform = context.platform;
  PackageState& package = context.package;
  for (Payload* payload : {&package.wizardBitmap, &package.backgroundBitmap, &package.title,
                           &package.titleFont, &package.dialogs, &package.uninstaller}) {
    FreePayload(platform, payload);
  }
  for (ComponentSlot& slot : package.components) {
    FreePayload(platform, &slot.iniEntries);
    FreePayload(platform, &slot.registryEntries);
    FreePayload(platform, &slot.filePatches);
    FreePayload(platform, &slot.fileList);
    FreePayload(platform, &slot.descriptorBlock);
    FreeBlock(platform, &slot.savedFolder);
    slot.hasDescriptor = false;
  }
  package.componentCount = 0;
  context.current.descriptor = nullptr;
  context.current.firstEntry = nullptr;
  context.current.fileCount = 0;
}

}  // namespace setup
