// list and dump: what the package holds, read from its records alone.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/bytes.h"
#include "package/component.h"
#include "package/entry_lists.h"
#include "package/file_entry.h"
#include "package/strings.h"
#include "tools/common/windows1252.h"
#include "tools/pkgtool/commands.h"
#include "tools/pkgtool/describe.h"

namespace setup::tools {

namespace {

const char* Text(const char* text) { return text != nullptr ? text : ""; }

std::string OptionalText(const char* text) { return text != nullptr ? Quoted(text) : "(none)"; }

std::string Hex(uint32_t value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%X", value);
  return buffer;
}

void ListComponentHeader(std::ostream& out, int index, const CurrentComponent& current) {
  const ComponentDescriptor* d = current.descriptor;
  out << "component " << index << ": " << OptionalText(d ? d->displayName : nullptr)
      << ", choice " << OptionalText(d ? d->choiceLabel : nullptr) << ", folder "
      << OptionalText(d ? d->defaultFolder : nullptr) << ", " << current.fileCount << " files\n";
}

}  // namespace

int ListPackage(PackageFile& package, std::ostream& out) {
  SetupContext& context = package.context();
  for (int c = 0; c < context.package.componentCount; ++c) {
    SelectComponent(context.package, context.current, c);
    ListComponentHeader(out, c, context.current);
    const uint8_t* entry = context.current.firstEntry;
    for (uint32_t i = 0; i < context.current.fileCount; ++i, entry = NextFileEntry(entry)) {
      char line[160];
      std::snprintf(line, sizeof line, "  %4u %10u %10u  %-8s %-10s %-24s ", i,
                    EntryFileSize(entry), EntryStoredSize(entry),
                    FolderKindName(EntryFolderKind(entry)).c_str(),
                    PlacementName(EntryPlacement(entry)).c_str(),
                    FlagNames(EntryFlags(entry)).c_str());
      out << line << Printable(FileEntryString(entry, ENTRY_NAME));
      if (EntryFlags(entry) & FEF_PATCH) {
        out << "  (patch of component " << int{EntryBaseComponent(entry)} << " file "
            << int{EntryBaseIndex(entry)} << ")";
      }
      out << "\n";
    }
  }
  return 0;
}

int DumpPackage(PackageFile& package, std::ostream& out) {
  SetupContext& context = package.context();
  const PackageState& p = context.package;
  out << "stub size: " << context.stubSize << "\n";
  out << "settings: " << Hex(p.settings)
      << ((p.settings & SETUP_FULL_SCREEN) ? " full-screen" : " windowed")
      << ((p.settings & SETUP_REMOVE_PREVIOUS) ? " remove-previous" : "") << "\n";
  if (p.startPage == kNoStartPage) {
    out << "start: normal wizard, component " << p.startComponent << "\n";
  } else {
    out << "start: page " << p.startPage << " only, component " << p.startComponent << "\n";
  }
  out << "file-data region: starts at " << p.regionStart << ", " << p.regionLength
      << " bytes in the setup file\n";
  out << "title: " << (p.title.data ? Quoted(reinterpret_cast<const char*>(p.title.data)) : "(none)")
      << "\n";
  if (p.titleFont.data != nullptr) {
    const uint8_t* f = p.titleFont.data;
    int32_t height = static_cast<int32_t>(ReadU32(f));
    std::string face(reinterpret_cast<const char*>(f + 28),
                     strnlen(reinterpret_cast<const char*>(f + 28), 32));
    out << "title font: " << Quoted(face.c_str()) << " height " << height << " weight "
        << ReadU32(f + 16) << "\n";
  }
  out << "wizard bitmap: " << p.wizardBitmap.size << " bytes; background bitmap: "
      << p.backgroundBitmap.size << " bytes\n";
  out << "dialog templates: " << p.dialogs.size << " bytes";
  for (uint32_t t = 0; p.dialogs.data != nullptr && (t + 1) * 4 <= p.dialogs.size && t < 10; ++t) {
    out << (t == 0 ? " at" : ",") << " " << ReadU32(p.dialogs.data + 4 * t);
  }
  out << "\n";
  out << "uninstaller image: " << p.uninstaller.size << " bytes\n";

  for (int c = 0; c < p.componentCount; ++c) {
    SelectComponent(context.package, context.current, c);
    const ComponentDescriptor* d = context.current.descriptor;
    out << "\ncomponent " << c << "\n";
    if (d == nullptr) {
      out << "  (no descriptor)\n";
      continue;
    }
    out << "  options: " << Hex(d->options) << "\n";
    out << "  displayName: " << OptionalText(d->displayName) << "\n";
    out << "  choiceLabel: " << OptionalText(d->choiceLabel) << "\n";
    out << "  defaultFolder: " << OptionalText(d->defaultFolder) << "\n";
    out << "  folder registry: root " << d->folderRootKey << " key "
        << OptionalText(d->folderRegKey) << " value " << OptionalText(d->folderRegValue) << "\n";
    out << "  folder INI: file " << OptionalText(d->folderIniFile) << " section "
        << OptionalText(d->folderIniSection) << " key " << OptionalText(d->folderIniKey) << "\n";
    for (int g = 0; g < kStringGroups; ++g) {
      const StringGroup& group = d->groups[g];
      if (group.data == nullptr) continue;
      uint16_t n = ReadU16(group.data);
      out << "  strings group " << g << " (" << n << ")\n";
      for (unsigned i = 0; i < n; ++i) {
        out << "    (" << g << "," << i << ") " << Quoted(StringInGroup(group, i)) << "\n";
      }
    }
    const ComponentSlot& slot = p.components[c];
    ListCursor ini(slot.iniEntries.data, slot.iniEntries.size);
    out << "  INI entries: " << ini.count() << "\n";
    for (IniEntry e; ini.Next(&e);) {
      out << "    [" << Printable(Text(e.section)) << "] " << Printable(Text(e.key))
        << "=" << Quoted(e.value) << " in "
          << Quoted(e.file) << ((e.flags & INI_ONLY_IF_MISSING) ? " (only if missing)" : "")
          << "\n";
    }
    ListCursor reg(slot.registryEntries.data, slot.registryEntries.size);
    out << "  registry entries: " << reg.count() << "\n";
    for (RegistryEntry e; reg.Next(&e);) {
      out << "    root " << e.root << " " << Quoted(e.key) << " value "
          << (*e.valueName ? Quoted(e.valueName) : "(default)") << " = " << Quoted(e.data)
          << ((e.flags & REG_KEEP_EXISTING) ? " (keep existing)" : "") << "\n";
    }
    ListCursor patches(slot.filePatches.data, slot.filePatches.size);
    out << "  file patches: " << patches.count() << "\n";
    for (FilePatchEntry e; patches.Next(&e);) {
      out << "    " << Quoted(e.file) << " at ";
      if (e.offset == -1) {
        std::string pattern(reinterpret_cast<const char*>(e.pattern), e.patternLength);
        out << "after " << Quoted(pattern.c_str());
      } else {
        out << e.offset;
      }
      out << ": " << Quoted(e.text) << "\n";
    }
  }
  return 0;
}

}  // namespace setup::tools
