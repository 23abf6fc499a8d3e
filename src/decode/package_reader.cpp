// The package reader keeps one volume open and counts the bytes left in it.
// Reads never take more than the volume holds; a read that runs out goes on
// in the next volume. A volume that cannot be opened goes to the disk prompt,
// disk by disk, until it appears, the user gives up, or the prompt says nobody
// can be asked.
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

namespace setup {

namespace {

void CloseVolume(PackageReader& reader) { CloseFile(reader.platform, &reader.handle); }

void RememberVolumeLength(PackageReader& reader) {
  if (reader.volume < kTrackedVolumes) {
    reader.knownLengths[reader.volume] = reader.volumeLength;
    if (reader.knownVolumes < reader.volume + 1) reader.knownVolumes = reader.volume + 1;
  }
}

// Asks for the disk that holds the current volume. True to try again; false
// when the volume is missing for good.
bool AskForDisk(PackageReader& reader) {
  if (reader.prompt.askForDisk == nullptr) return false;
  DiskAnswer answer = reader.prompt.askForDisk(reader.prompt.session, reader.volume + 1);
  if (answer == DiskAnswer::kGaveUp) reader.gaveUp = true;
  return answer == DiskAnswer::kTryAgain;
}

// Opens the current volume (reader.volume, reader.fileName) and positions it
// `resume` bytes into its data. A file too short for its length field, or for
// the length it states, counts as missing. Volume 0 is the setup file, whose
// data follows the end record.
FileHandle OpenVolume(PackageReader& reader, uint32_t resume) {
  Platform& platform = reader.platform;
  CloseVolume(reader);
  for (;;) {
    FileHandle file = OpenForRead(platform, reader.fileName);
    if (file != kInvalidFile) {
      uint32_t start = reader.volume == 0 ? reader.regionStart : 0;
      uint32_t size = FileSize(platform, file);
      uint8_t raw[4];
      bool usable = SeekFile(platform, file, static_cast<int32_t>(start), kFileBegin) == start &&
                    ReadExact(platform, file, raw, 4);
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
    if (!AskForDisk(reader)) return kInvalidFile;
  }
}

// Goes back to the volume that holds `offset`, which lies before the current one.
bool ReopenEarlierVolume(PackageReader& reader, uint32_t offset) {
  uint32_t base = 0;
  uint32_t volume = 0;
  while (volume + 1 < reader.knownVolumes && offset >= base + reader.knownLengths[volume]) {
    base += reader.knownLengths[volume];
    ++volume;
  }
  reader.volume = volume;
  reader.volumeBase = base;
  if (!VolumeFileName(reader.packagePath, volume, reader.fileName, kPathSize)) return false;
  return OpenVolume(reader, 0) != kInvalidFile;
}

// A stream that needs more bytes than its stated length takes them straight
// from the volume file, past the count of bytes left. Counts the volume again
// from the file position; false when the stream used bytes beyond the
// volume's data.
bool RecountAfterDecode(PackageReader& reader) {
  if (reader.handle == kInvalidFile) return false;
  uint32_t start = (reader.volume == 0 ? reader.regionStart : 0) + 4;
  uint32_t position = TellFile(reader.platform, reader.handle);
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

int BeginPackageData(PackageReader& reader, const char* packagePath, uint32_t regionStart,
                     uint32_t regionLength) {
  CloseVolume(reader);
  CopyText(reader.packagePath, kPathSize, packagePath);
  reader.regionStart = regionStart;
  reader.regionLength = regionLength;
  reader.gaveUp = false;
  reader.volume = 0;
  reader.volumeBase = 0;
  reader.knownVolumes = 0;
  CopyText(reader.fileName, kPathSize, reader.packagePath);
  reader.handle = OpenForRead(reader.platform, reader.fileName);
  if (reader.handle == kInvalidFile) {
    RecordError(reader.error, ERR_OPEN, reader.packagePath);
    return ERR_OPEN;
  }
  reader.volumeLength = regionLength;
  reader.bytesLeft = regionLength;
  RememberVolumeLength(reader);
  uint32_t first = regionStart + 4;
  SeekFile(reader.platform, reader.handle, static_cast<int32_t>(first), kFileBegin);
  return 0;
}

void EndPackageData(PackageReader& reader) {
  CloseVolume(reader);
  reader.decoder.ReleaseBuffers();
}

FileHandle OpenNextVolume(PackageReader& reader) {
  uint32_t resume = 0;
  if (reader.bytesLeft != 0) {
    // The last read ended early inside this volume: open it again where it stopped.
    resume = reader.volumeLength - reader.bytesLeft;
  } else {
    reader.volumeBase += reader.volumeLength;
    ++reader.volume;
    if (!VolumeFileName(reader.packagePath, reader.volume, reader.fileName, kPathSize)) {
      CloseVolume(reader);
      return kInvalidFile;
    }
  }
  return OpenVolume(reader, resume);
}

int SeekPackageData(PackageReader& reader, uint32_t offset) {
  bool opened = reader.handle != kInvalidFile;
  if (offset < reader.volumeBase || !opened) {
    opened = ReopenEarlierVolume(reader, offset);
  }
  while (opened && offset - reader.volumeBase >= reader.volumeLength) {
    reader.bytesLeft = 0;
    opened = OpenNextVolume(reader) != kInvalidFile;
  }
  if (!opened) {
    if (reader.gaveUp) return ERR_DISK_CANCELLED;
    RecordError(reader.error, ERR_CORRUPT, reader.fileName);
    return ERR_CORRUPT;
  }
  uint32_t within = offset - reader.volumeBase;
  uint32_t position = within + 4 + (reader.volume == 0 ? reader.regionStart : 0);
  SeekFile(reader.platform, reader.handle, static_cast<int32_t>(position), kFileBegin);
  reader.bytesLeft = reader.volumeLength - within;
  return 0;
}

bool ReadPackageData(PackageReader& reader, FileHandle file, void* buffer, uint32_t n,
                     uint32_t* got) {
  // Never read past the current volume's data.
  uint32_t first = file == reader.handle && n > reader.bytesLeft ? reader.bytesLeft : n;
  uint32_t count = ReadUpTo(reader.platform, file, buffer, first);
  reader.bytesLeft -= count < reader.bytesLeft ? count : reader.bytesLeft;
  *got = count;
  // Go on in the next volume, passing over empty ones, until the count is
  // complete. A read that comes up short inside a volume's data (a read error)
  // ends the call with what was delivered.
  while (count < n) {
    FileHandle next = OpenNextVolume(reader);
    if (next == kInvalidFile) return false;
    uint32_t want = n - count;
    if (want > reader.bytesLeft) want = reader.bytesLeft;
    uint32_t more = ReadUpTo(reader.platform, next, static_cast<uint8_t*>(buffer) + count, want);
    reader.bytesLeft -= more;
    count += more;
    *got = count;
    if (more < want) break;
  }
  return true;
}

bool PackageDataSource::ReadCounted(FileHandle* file, void* buffer, uint32_t count,
                                    uint32_t* delivered) {
  bool current = *file == reader_.handle;
  bool read = ReadPackageData(reader_, *file, buffer, count, delivered);
  if (current) *file = reader_.handle;
  return read;
}

void PackageDataSource::UnreadCounted(FileHandle file, uint32_t count) {
  PackageReader& reader = reader_;
  uint32_t consumed = reader.volumeLength - reader.bytesLeft;
  if (file == reader.handle && count <= consumed) {
    reader.platform.SetFilePointer(file, -static_cast<int32_t>(count), kFileCurrent);
    reader.bytesLeft += count;
    return;
  }
  // The bytes reach back into an earlier volume: position by logical offset.
  uint32_t logical = reader.volumeBase + consumed;
  SeekPackageData(reader, logical >= count ? logical - count : 0);
}

int ReadDataItem(PackageReader& reader, uint8_t** buffer, uint32_t* size) {
  uint8_t raw[4];
  uint32_t got = 0;
  auto readField = [&](uint32_t width, uint32_t* value) {
    if (!ReadPackageData(reader, reader.handle, raw, width, &got) || got != width) {
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
      RecordError(reader.error, ERR_CORRUPT, reader.fileName);
      return ERR_CORRUPT;
    }
    uint8_t* block = nullptr;
    if (!AllocBlock(reader.platform, length, &block)) {
      *size = length;
      return ERR_OUT_OF_MEMORY;
    }
    if (compressed) {
      {
        MemorySink sink(block, length);
        DecodeResult decoded = reader.decoder.Decode(sink, reader.handle, packed);
        if (decoded == DECODE_ABORTED) {
          result = RESULT_ABORTED;
        } else if (reader.decoder.LastResult() == STREAM_NO_MEMORY) {
          result = ERR_OUT_OF_MEMORY;
        } else if (!RecountAfterDecode(reader) || decoded != DECODE_OK ||
                   sink.Written() != length) {
          result = ERR_CORRUPT;
        }
      }
    } else if (!ReadPackageData(reader, reader.handle, block, length, &got) ||
               got != length) {
      result = ERR_CORRUPT;
    }
    if (result == 0) {
      *buffer = block;
    } else {
      FreeBlock(reader.platform, &block);
    }
  }
  *size = length;
  if (result == ERR_CORRUPT) RecordError(reader.error, ERR_CORRUPT, reader.fileName);
  return result;
}

}  // namespace setup
