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

#include "base/bytes.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/memory.h"
#include "package/component.h"
#include "package/entry_lists.h"
#include "package/file_entry.h"

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
  Loader(Platform& platform, StreamDecoder& decoder, PackageState& package)
      : platform_(platform), decoder_(decoder), package_(package) {}

  PackageLoad Run(const char* path, uint32_t stubSize);

 private:
  PayloadResult ReadGlobal(const RecordHeader& header, Payload* payload);
  PayloadResult ReadCounted(const RecordHeader& header, Payload* payload);
  PayloadResult ReadComponent(const RecordHeader& header);
  PayloadResult ReadComponentList(const RecordHeader& header);
  PayloadResult ReadEnd(uint32_t position);

  Platform& platform_;
  StreamDecoder& decoder_;
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
PayloadResult Loader::ReadGlobal(const RecordHeader& header, Payload* payload) {
  FreePayload(platform_, payload);
  return ReadCounted(header, payload);
}

PayloadResult Loader::ReadCounted(const RecordHeader& header, Payload* payload) {
  uint32_t room = kMaxRecordsTotal - loaded_;
  PayloadResult result = ReadRecordPayload(platform_, decoder_, file_, header, payload,
                                           room < kMaxRecordSize ? room : kMaxRecordSize);
  loaded_ += payload->size;
  return result;
}

PayloadResult Loader::ReadComponent(const RecordHeader& header) {
  ++component_;
  if (component_ >= kMaxComponents) return PAYLOAD_OK;  // a seventh component has no slot
  ComponentSlot& slot = package_.components[component_];
  PayloadResult result = ReadCounted(header, &slot.descriptorBlock);
  if (result != PAYLOAD_OK) return result;
  slot.hasDescriptor =
      ParseComponentDescriptor(slot.descriptorBlock.data, slot.descriptorBlock.size, &slot.descriptor);
  if (!slot.hasDescriptor) damaged_ = true;
  if (!AllocZeroedBlock(platform_, kPathSize, &slot.savedFolder)) return PAYLOAD_NO_MEMORY;
  return PAYLOAD_OK;
}

PayloadResult Loader::ReadComponentList(const RecordHeader& header) {
  // Lists before the first component, or of a seventh one, belong to no slot.
  if (component_ < 0 || component_ >= kMaxComponents) return PAYLOAD_OK;
  ComponentSlot& slot = package_.components[component_];
  Payload* list = header.type == REC_FILE_LIST          ? &slot.fileList
                  : header.type == REC_INI_ENTRIES      ? &slot.iniEntries
                  : header.type == REC_REGISTRY_ENTRIES ? &slot.registryEntries
                                                        : &slot.filePatches;
  PayloadResult result = ReadGlobal(header, list);
  if (result != PAYLOAD_OK) return result;
  bool valid = header.type == REC_FILE_LIST         ? ValidateFileList(list->data, list->size)
               : header.type == REC_INI_ENTRIES     ? ValidateIniList(list->data, list->size)
               : header.type == REC_REGISTRY_ENTRIES ? ValidateRegistryList(list->data, list->size)
                                                    : ValidateFilePatchList(list->data, list->size);
  if (!valid) damaged_ = true;
  return PAYLOAD_OK;
}

PayloadResult Loader::ReadEnd(uint32_t position) {
  uint8_t length[4];
  package_.regionStart = position;
  // A file that ends inside D is cut short, and no start record can vouch
  // for a region whose length is unknown.
  if (!ReadExact(platform_, file_, length, 4)) {
    damaged_ = true;
    return PAYLOAD_OK;
  }
  package_.regionLength = ReadU32(length);
  if (static_cast<uint64_t>(position) + 4 + package_.regionLength == fileSize_) complete_ = true;
  return PAYLOAD_OK;
}

PackageLoad Loader::Run(const char* path, uint32_t stubSize) {
  if (stubSize == 0) return PackageLoad::kAbsent;
  file_ = OpenForRead(platform_, path);
  if (file_ == kInvalidFile) return PackageLoad::kAbsent;
  fileSize_ = FileSize(platform_, file_);
  package_.startPage = kNoStartPage;
  package_.startComponent = 0;

  int error = 0;
  if (stubSize > fileSize_ ||
      SeekFile(platform_, file_, static_cast<int32_t>(stubSize), kFileBegin) != stubSize) {
    error = 1;
  }
  uint16_t lastType = 0;
  while (error == 0 && lastType != REC_END) {
    uint8_t raw[kRecordHeaderSize];
    if (!ReadExact(platform_, file_, raw, kRecordHeaderSize)) {
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

    PayloadResult result = PAYLOAD_OK;
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
        result = PAYLOAD_READ_FAILED;
        if (ReadExact(platform_, file_, value, 2)) {
          package_.startPage = ReadU16(value);
          if (ReadExact(platform_, file_, value, 2)) {
            package_.startComponent = ReadU16(value);
            result = PAYLOAD_OK;
          }
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
      result = PAYLOAD_OK;
    }
    error = result != PAYLOAD_OK;
    if (error != 0 || header.type == REC_END) break;
    SeekFile(platform_, file_, static_cast<int32_t>(next), kFileBegin);
  }
  CloseFile(platform_, &file_);
  // The decoder keeps its window from one stream to the next; the install run
  // is far off, and FreePackage must leave nothing behind.
  decoder_.ReleaseBuffers();

  package_.componentCount = component_ + 1 < kMaxComponents ? component_ + 1 : kMaxComponents;
  if (error != 0) return PackageLoad::kAbsent;
  // A package without components has nothing to install and no texts.
  if (!GlobalRecordsHoldTogether(package_) || package_.componentCount == 0) damaged_ = true;
  return complete_ && !damaged_ ? PackageLoad::kComplete : PackageLoad::kDamaged;
}

}  // namespace

PayloadResult ReadRecordPayload(Platform& platform, StreamDecoder& decoder, FileHandle file,
                                const RecordHeader& header, Payload* payload, uint32_t room) {
  payload->data = nullptr;
  payload->size = 0;
  bool compressed = (header.flags & REC_COMPRESSED) != 0;
  uint32_t size = header.length;
  uint64_t recordEnd = static_cast<uint64_t>(TellFile(platform, file)) + header.length;
  if (compressed) {
    uint8_t raw[4];
    if (header.length < 4) return PAYLOAD_DAMAGED;
    if (!ReadExact(platform, file, raw, 4)) return PAYLOAD_READ_FAILED;
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
    if (decoder.Decode(sink, file, 0) != DECODE_OK || sink.Written() != size ||
        TellFile(platform, file) > recordEnd) {
      FreeBlock(platform, &block);
      return decoder.LastResult() == STREAM_NO_MEMORY ? PAYLOAD_NO_MEMORY : PAYLOAD_DAMAGED;
    }
  } else if (!ReadExact(platform, file, block, size)) {
    FreeBlock(platform, &block);
    return PAYLOAD_READ_FAILED;
  }
  payload->data = block;
  payload->size = size;
  return PAYLOAD_OK;
}

PackageLoad ReadPackage(Platform& platform, StreamDecoder& decoder, const char* path,
                        uint32_t stubSize, PackageState& package) {
  return Loader(platform, decoder, package).Run(path, stubSize);
}

void FreePackageState(Platform& platform, PackageState& package) {
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
}

}  // namespace setup
