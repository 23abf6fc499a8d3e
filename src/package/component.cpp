#include "package/component.h"

#include "base/bytes.h"
#include "base/text.h"

namespace setup {

namespace {

// A text field: 0 is absent; otherwise the offset must lead to a NUL-terminated
// text inside the descriptor.
bool TextField(const uint8_t* block, uint32_t size, uint32_t field, const char** text) {
  uint32_t offset = ReadU32(block + field);
  *text = nullptr;
  if (offset == 0) return true;
  if (offset >= size || BoundedTextLength(block + offset, block + size) < 0) return false;
  *text = reinterpret_cast<const char*>(block + offset);
  return true;
}

bool GroupField(const uint8_t* block, uint32_t size, uint32_t field, StringGroup* group) {
  uint32_t offset = ReadU32(block + field);
  *group = StringGroup{nullptr, 0};
  if (offset == 0) return true;
  if (offset > size || size - offset < 2) return false;
  const uint8_t* p = block + offset + 2;
  const uint8_t* end = block + size;
  for (uint16_t n = ReadU16(block + offset); n > 0; --n) {
    int32_t length = BoundedTextLength(p, end);
    if (length < 0) return false;
    p += length + 1;
  }
  *group = StringGroup{block + offset, size - offset};
  return true;
}

}  // namespace

bool ParseComponentDescriptor(const uint8_t* block, uint32_t size, ComponentDescriptor* out) {
  *out = ComponentDescriptor{};
  if (block == nullptr || size < kDescriptorFixedSize) return false;
  out->options = ReadU16(block + kDescOptions);
  out->folderRootKey = ReadU32(block + kDescFolderRootKey);
  bool ok = TextField(block, size, kDescDisplayName, &out->displayName) &&
            TextField(block, size, kDescChoiceLabel, &out->choiceLabel) &&
            TextField(block, size, kDescDefaultFolder, &out->defaultFolder) &&
            TextField(block, size, kDescFolderRegKey, &out->folderRegKey) &&
            TextField(block, size, kDescFolderRegValue, &out->folderRegValue) &&
            TextField(block, size, kDescFolderIniFile, &out->folderIniFile) &&
            TextField(block, size, kDescFolderIniSection, &out->folderIniSection) &&
            TextField(block, size, kDescFolderIniKey, &out->folderIniKey);
  for (int g = 0; ok && g < kStringGroups; ++g) {
    ok = GroupField(block, size, kDescStringGroups + 4 * g, &out->groups[g]);
  }
  return ok;
}

void SelectComponent(PackageState& package, CurrentComponent& current, int index) {
  if (current.index >= 0 && current.index < kMaxComponents &&
      package.components[current.index].savedFolder != nullptr) {
    CopyText(package.components[current.index].savedFolder, kPathSize, current.destinationFolder);
  }
  current.index = index;
  current.fileCount = 0;
  current.firstEntry = nullptr;
  current.descriptor = nullptr;
  if (index < 0 || index >= kMaxComponents) return;
  ComponentSlot& slot = package.components[index];
  if (slot.fileList.data != nullptr && slot.fileList.size >= 4) {
    current.fileCount = ReadU32(slot.fileList.data);
    current.firstEntry = current.fileCount != 0 ? slot.fileList.data + 4 : nullptr;
  }
  if (slot.hasDescriptor) current.descriptor = &slot.descriptor;
  if (slot.savedFolder != nullptr) {
    CopyText(current.destinationFolder, kPathSize, slot.savedFolder);
  }
}

}  // namespace setup
