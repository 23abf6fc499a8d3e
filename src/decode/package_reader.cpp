// The package reader keeps one volume open and counts the bytes left in it.
// Reads never take more than the volume holds; a read that runs out goes on
// in the next volume. When the setup runs from removable media, a volume that
// cannot be opened is asked for, disk by disk, until it appears or the user
// gives up.
//
// Reading normally moves forward, but data may be shared: a patch's base, or a
// file stored once for several components, can lie in an earlier volume. The
// lengths of the volumes met so far are remembered, so such a seek goes back
// to that volume directly.
#include "decode/package_reader.h"

#include "base/bytes.h"
#include "base/errors.h"
#include "base/file_io.h"
#include "base/memory.h"
#include "base/text_format.h"
#include "package/setup_context.h"
#include "package/strings.h"

namespace setup {

namespace {

constexpr uint32_t kDiskPromptSize = 200;

void CloseVolume(SetupContext& context) { CloseFile(context.platform, &context.reader.handle); }

void RememberVolumeLength(PackageReader& reader) {
  if (reader.volume < kTrackedVolumes) {
    reader.knownLengths[reader.volume] = reader.volumeLength;
    if (reader.knownVolumes < reader.volume + 1) reader.knownVolumes = reader.volume + 1;
  }
}

// Asks for the disk that holds the current volume. True to try again; false
// when the user gave up, after the wizard has been told to end.
bool AskForDisk(SetupContext& context) {
  char prompt[kDiskPromptSize];
  FormatText(prompt, sizeof prompt, GetPackageString(context, 6, 28), "",
             static_cast<int32_t>(context.reader.volume + 1));
  if (ShowSetupMessage(context, prompt, kMbOkCancel | kMbIconInformation) == kIdOk) return true;
  if (ShowSetupMessage(context, GetPackageString(context, 6, 13), kMbYesNo | kMbIconQuestion) !=
      kIdYes) {
    return true;
  }
  ShowSetupMessage(context, GetPackageString(context, 6, 15), kMbOk | kMbIconInformation);
  context.run.pageResult = PAGE_END;
  context.run.documentEntry = nullptr;
  context.run.programEntry = nullptr;
  context.run.screenSaverEntry = nullptr;
  return false;
}

// Opens the current volume (reader.volume, reader.fileName) and positions it
// `resume` bytes into its data. A file too short for its length field, or for
// the length it states, counts as missing. Volume 0 is the setup file, whose
// data follows the end record.
FileHandle OpenVolume(SetupContext& context, uint32_t resume) {
  Platform& platform = context.platform;
  PackageReader& reader = context.reader;
  CloseVolume(context);
  for (;;) {
    FileHandle file = OpenForRead(platform, reader.fileName);
    if (file != kInvalidFile) {
      uint32_t start = reader.volume == 0 ? context.package.regionStart : 0;
      uint32_t size = FileSize(platform, file);
      uint8_t raw[4];
      bool usable = SeekFile(platform, file, static_cast<int32_t>(start), kFileBegin) == start &&
                    ReadExact(platform, file, raw, 4) == 0;
      uint32_t length = usable ? ReadU32(raw) : 0;
      usable = usable && static_cast<uint64_t>(start) + 4 + length <= size && resume <= length;
      if (usable) {
        uint32_t position = start + 4 + resume;
        if (SeekFile(platform, file, static_cast<int32_t>(position), kFileBegin) != position) {
          CloseFile(platform, &file);
          reader.volumeLength = 0;
          reader.bytesLeft = 0;
          return kInvalidFile;
        }
        reader.handle = file;
        reader.volumeLength = length;
        reader.bytesLeft = length - resume;
        RememberVolumeLength(reader);
        return file;
      }
      CloseFile(platform, &file);
    }
    reader.volumeLength = 0;
    reader.bytesLeft = 0;
    if (!context.run.removableMedia || !AskForDisk(context)) return kInvalidFile;
  }
}

// Goes back to the volume that holds `offset`, which lies before the current one.
bool ReopenEarlierVolume(SetupContext& context, uint32_t offset) {
  PackageReader& reader = context.reader;
  uint32_t base = 0;
  uint32_t volume = 0;
  while (volume + 1 < reader.knownVolumes && offset >= base + reader.knownLengths[volume]) {
    base += reader.knownLengths[volume];
    ++volume;
  }
  reader.volume = volume;
  reader.volumeBase = base;
  if (!VolumeFileName(context.packagePath, volume, reader.fileName, kPathSize)) return false;
  return OpenVolume(context, 0) != kInvalidFile;
}

// A stream that needs more bytes than its stated length takes them straight
// from the volume file, past the count of bytes left. Counts the volume again
// from the file position; false when the stream used bytes beyond the
// volume's data.
bool RecountAfterDecode(SetupContext& context) {
  PackageReader& reader = context.reader;
  if (reader.handle == kInvalidFile) return false;
  uint32_t start = (reader.volume == 0 ? context.package.regionStart : 0) + 4;
  uint32_t position = TellFile(context.platform, reader.handle);
  if (position == kInvalidSetFilePointer || position < start) return false;
  uint32_t within = position - start;
  if (within > reader.volumeLength) {
    reader.bytesLeft = 0;
    return false;
  }
  reader.bytesLeft = reader.volumeLength - within;
  return true;
}

}  // namespace

bool VolumeFileName(const char* packagePath, uint32_t number, char* out, uint32_t size) {
  CopyText(out, size, packagePath);
  if (number == 0) return true;
  char extension[16];
  FormatText(extension, sizeof extension, ".D%2.2d", "", static_cast<int32_t>(number));
  return ReplaceExtension(out, size, extension);
}

int BeginPackageData(SetupContext& context) {
  PackageReader& reader = context.reader;
  CloseVolume(context);
  reader.volume = 0;
  reader.volumeBase = 0;
  reader.knownVolumes = 0;
  CopyText(reader.fileName, kPathSize, context.packagePath);
  reader.handle = OpenForRead(context.platform, reader.fileName);
  if (reader.handle == kInvalidFile) {
    SetSetupError(context, ERR_OPEN, context.packagePath);
    return ERR_OPEN;
  }
  reader.volumeLength = context.package.regionLength;
  reader.bytesLeft = context.package.regionLength;
  RememberVolumeLength(reader);
  uint32_t first = context.package.regionStart + 4;
  SeekFile(context.platform, reader.handle, static_cast<int32_t>(first), kFileBegin);
  return 0;
}

void EndPackageData(SetupContext& context) {
  CloseVolume(context);
  context.decoder.ReleaseBuffers();
}

FileHandle OpenNextVolume(SetupContext& context) {
  PackageReader& reader = context.reader;
  uint32_t resume = 0;
  if (reader.bytesLeft != 0) {
    // The last read ended early inside this volume: open it again where it stopped.
    resume = reader.volumeLength - reader.bytesLeft;
  } else {
    reader.volumeBase += reader.volumeLength;
    ++reader.volume;
    if (!VolumeFileName(context.packagePath, reader.volume, reader.fileName, kPathSize)) {
      CloseVolume(context);
      return kInvalidFile;
    }
  }
  return OpenVolume(context, resume);
}

int SeekPackageData(SetupContext& context, uint32_t offset) {
  PackageReader& reader = context.reader;
  bool opened = reader.handle != kInvalidFile;
  if (offset < reader.volumeBase || !opened) {
    opened = ReopenEarlierVolume(context, offset);
  }
  while (opened && offset - reader.volumeBase >= reader.volumeLength) {
    reader.bytesLeft = 0;
    opened = OpenNextVolume(context) != kInvalidFile;
  }
  if (!opened) {
    if (context.run.removableMedia && context.run.pageResult == PAGE_END) return ERR_DISK_CANCELLED;
    SetSetupError(context, ERR_CORRUPT, reader.fileName);
    return ERR_CORRUPT;
  }
  uint32_t within = offset - reader.volumeBase;
  uint32_t position = within + 4 + (reader.volume == 0 ? context.package.regionStart : 0);
  SeekFile(context.platform, reader.handle, static_cast<int32_t>(position), kFileBegin);
  reader.bytesLeft = reader.volumeLength - within;
  return 0;
}

int ReadPackageData(SetupContext& context, FileHandle file, void* buffer, uint32_t n,
                    uint32_t* got) {
  PackageReader& reader = context.reader;
  // Never read past the current volume's data.
  uint32_t first = file == reader.handle && n > reader.bytesLeft ? reader.bytesLeft : n;
  uint32_t count = ReadUpTo(context.platform, file, buffer, first);
  reader.bytesLeft -= count < reader.bytesLeft ? count : reader.bytesLeft;
  *got = count;
  // Go on in the next volume, passing over empty ones, until the count is
  // complete. A read that comes up short inside a volume's data (a read error)
  // ends the call with what was delivered.
  while (count < n) {
    FileHandle next = OpenNextVolume(context);
    if (next == kInvalidFile) return 1;
    uint32_t want = n - count;
    if (want > reader.bytesLeft) want = reader.bytesLeft;
    uint32_t more = ReadUpTo(context.platform, next, static_cast<uint8_t*>(buffer) + count, want);
    reader.bytesLeft -= more;
    count += more;
    *got = count;
    if (more < want) break;
  }
  return 0;
}

bool PackageDataSource::ReadCounted(FileHandle* file, void* buffer, uint32_t count,
                                    uint32_t* delivered) {
  bool current = *file == context_.reader.handle;
  int result = ReadPackageData(context_, *file, buffer, count, delivered);
  if (current) *file = context_.reader.handle;
  return result == 0;
}

void PackageDataSource::UnreadCounted(FileHandle file, uint32_t count) {
  PackageReader& reader = context_.reader;
  uint32_t consumed = reader.volumeLength - reader.bytesLeft;
  if (file == reader.handle && count <= consumed) {
    context_.platform.SetFilePointer(file, -static_cast<int32_t>(count), kFileCurrent);
    reader.bytesLeft += count;
    return;
  }
  // The bytes reach back into an earlier volume: position by logical offset.
  uint32_t logical = reader.volumeBase + consumed;
  SeekPackageData(context_, logical >= count ? logical - count : 0);
}

int ReadDataItem(SetupContext& context, uint8_t** buffer, uint32_t* size) {
  PackageReader& reader = context.reader;
  uint8_t raw[4];
  uint32_t got = 0;
  auto readField = [&](uint32_t width, uint32_t* value) {
    if (ReadPackageData(context, reader.handle, raw, width, &got) != 0 || got != width) {
      return false;
    }
    *value = width == 4 ? ReadU32(raw) : width == 2 ? ReadU16(raw) : raw[0];
    return true;
  };
  uint32_t flags = 0, length = 0, packed = 0;
  int result = 0;
  if (!readField(1, &flags) || !readField((flags & 2) ? 4 : 2, &length)) {
    result = ERR_CORRUPT;
  } else if (length != 0) {
    // A compressed item's length comes first, so that a damaged size that no
    // stream of that length could produce is refused before any allocation.
    bool compressed = (flags & 1) != 0;
    if (compressed && (!readField((flags & 4) ? 4 : 2, &packed) || packed == 0 ||
                       length > static_cast<uint64_t>(packed) * kMaxStreamExpansion)) {
      *size = length;
      SetSetupError(context, ERR_CORRUPT, reader.fileName);
      return ERR_CORRUPT;
    }
    uint8_t* block = nullptr;
    if (!AllocBlock(context.platform, length, &block)) {
      *size = length;
      return ERR_OUT_OF_MEMORY;
    }
    if (compressed) {
      {
        MemorySink sink(block, length);
        int decoded = context.decoder.Decode(sink, reader.handle, packed);
        if (decoded == DECODE_ABORTED) {
          result = RESULT_ABORTED;
        } else if (context.decoder.LastResult() == STREAM_NO_MEMORY) {
          result = ERR_OUT_OF_MEMORY;
        } else if (!RecountAfterDecode(context) || decoded != DECODE_OK ||
                   sink.Written() != length) {
          result = ERR_CORRUPT;
        }
      }
    } else if (ReadPackageData(context, reader.handle, block, length, &got) != 0 ||
               got != length) {
      result = ERR_CORRUPT;
    }
    if (result == 0) {
      *buffer = block;
    } else {
      FreeBlock(context.platform, &block);
    }
  }
  *size = length;
  if (result == ERR_CORRUPT) SetSetupError(context, ERR_CORRUPT, reader.fileName);
  return result;
}

}  // namespace setup
