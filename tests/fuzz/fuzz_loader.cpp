// Feeds arbitrary bytes to LoadPackage as the package behind a stub, and when
// a package loads, reads everything the setup would read from it: every
// component's strings, error texts, file entries with their strings and
// blocks, patch bases, and the INI, registry and file-patch lists. The
// sanitizers catch any read past a payload; the simulated heap catches leaks.
//
// Input layout: byte 0 the stub size (255: larger than the file); byte 1,
// when bit 7 is set, makes every allocation from number (bits 0-6) + 1 on
// fail; the rest is the package, placed behind that many stub bytes.
#include <cstdint>
#include <cstring>
#include <string>

#include "package/component.h"
#include "package/entry_lists.h"
#include "package/file_entry.h"
#include "package/strings.h"
#include "platform/sim/sim_platform.h"
#include "session/load_package.h"
#include "session/messages.h"

namespace {

volatile uint32_t gSink;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void Touch(const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum += p[i];
  gSink = gSink + sum;
}

void TouchText(const char* text) {
  if (text != nullptr) Touch(text, std::strlen(text) + 1);
}

void WalkStrings(setup::SetupContext& context) {
  const setup::ComponentDescriptor* d = context.current.descriptor;
  if (d != nullptr) {
    for (const char* t :
         {d->displayName, d->choiceLabel, d->defaultFolder, d->folderRegKey, d->folderRegValue,
          d->folderIniFile, d->folderIniSection, d->folderIniKey}) {
      TouchText(t);
    }
  }
  for (unsigned g = 0; g <= setup::kStringGroups; ++g) {
    unsigned count = 0;
    if (d != nullptr && g < setup::kStringGroups && d->groups[g].data != nullptr) {
      count = setup::ReadU16(d->groups[g].data);
    }
    for (unsigned i = 0; i <= count; ++i) {
      const char* text = setup::GetPackageString(context.current, g, i);
      Check(text != nullptr);
      TouchText(text);
      if (i == count) Check(*text == '\0');
    }
  }
  char small[8];
  char full[1024];
  for (int error = 0; error < 40; ++error) {
    std::memset(small, 0x55, sizeof small);
    setup::FormatErrorText(context, small, sizeof small, error);
    Check(std::memchr(small, 0, sizeof small) != nullptr);
    setup::FormatErrorText(context, full, sizeof full, error);
    Check(std::memchr(full, 0, sizeof full) != nullptr);
  }
}

void WalkFiles(setup::SetupContext& context, const setup::Payload& list) {
  const uint8_t* end = list.data + list.size;
  const uint8_t* entry = context.current.firstEntry;
  for (uint32_t i = 0; i < context.current.fileCount; ++i) {
    Check(entry >= list.data + 4 && entry + setup::EntrySize(entry) <= end);
    for (int s = 0; s < setup::kEntryStrings; ++s) {
      const char* text = setup::FileEntryString(entry, s);
      Check(reinterpret_cast<const uint8_t*>(text) + std::strlen(text) <
            entry + setup::EntrySize(entry));
    }
    if (setup::EntryHasVersion(entry))
      Touch(setup::FileEntryVersion(entry), setup::kVersionBlockSize);
    if (setup::EntryHasTimes(entry)) Touch(setup::FileEntryTimes(entry), setup::kFileTimesSize);
    const uint8_t* base = setup::FindPatchBase(context.package, entry);
    if (base != nullptr) TouchText(setup::FileEntryString(base, 0));
    entry = setup::NextFileEntry(entry);
  }
}

template <typename Entry, typename Visit>
void WalkList(const setup::Payload& list, Visit visit) {
  setup::ListCursor cursor(list.data, list.size);
  Entry entry;
  while (cursor.Next(&entry)) visit(entry);
  Check(!cursor.damaged());  // loaded lists were checked
}

void WalkPackage(setup::SetupContext& context) {
  const setup::PackageState& package = context.package;
  if (package.title.data != nullptr) TouchText(reinterpret_cast<const char*>(package.title.data));
  if (package.titleFont.data != nullptr) Touch(package.titleFont.data, setup::kLogFontSize);
  for (int c = 0; c <= setup::kMaxComponents; ++c) {
    setup::SelectComponent(context.package, context.current, c);
    WalkStrings(context);
    if (c >= setup::kMaxComponents) continue;
    const setup::ComponentSlot& slot = package.components[c];
    Check(c < package.componentCount || slot.descriptorBlock.data == nullptr);
    WalkFiles(context, slot.fileList);
    WalkList<setup::IniEntry>(slot.iniEntries, [](const setup::IniEntry& e) {
      for (const char* t : {e.file, e.section, e.key, e.value}) TouchText(t);
    });
    WalkList<setup::RegistryEntry>(slot.registryEntries, [](const setup::RegistryEntry& e) {
      for (const char* t : {e.key, e.valueName, e.data}) TouchText(t);
    });
    WalkList<setup::FilePatchEntry>(slot.filePatches, [](const setup::FilePatchEntry& e) {
      TouchText(e.file);
      TouchText(e.text);
      Touch(e.pattern, e.patternLength);
    });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  uint32_t stubSize = data[0] == 0xFF ? 0xFFFFFF00u : data[0];
  bool failing = (data[1] & 0x80) != 0;
  int failFrom = (data[1] & 0x7F) + 1;
  std::string file(data[0] == 0xFF ? 0 : stubSize, 'S');
  file.append(reinterpret_cast<const char*>(data + 2), size - 2);

  setup::SimPlatform platform;
  platform.AddDrive('C', 1u << 30);
  platform.AddFile("C:\\setup.exe", file);
  int allocations = 0;
  if (failing) {
    platform.allocationFails = [&](uint32_t) { return ++allocations >= failFrom; };
  }
  {
    setup::SetupContext context(platform);
    std::strcpy(context.packagePath, "C:\\setup.exe");
    context.stubSize = stubSize;
    int result = setup::LoadPackage(context);
    Check(result == 0 || result == 1);
    Check(platform.messageBoxes.size() <= (result == 1 ? 0u : 1u));
    Check(platform.OpenHandleCount() == 0);
    if (result == 1) WalkPackage(context);
    setup::FreePackage(context);
    Check(platform.OutstandingBlocks() == 0);
    Check(platform.invalidFrees == 0);
  }
  return 0;
}
