#include "package/strings.h"

#include "base/bytes.h"

namespace setup {

namespace {
const char kEmptyText[] = "";
}

const char* StringInGroup(const StringGroup& group, unsigned index) {
  if (group.data == nullptr || group.size < 2) return kEmptyText;
  uint16_t count = ReadU16(group.data);
  if ((index & 0xFFFF) >= count) return kEmptyText;
  const uint8_t* p = group.data + 2;
  const uint8_t* end = group.data + group.size;
  for (unsigned skip = index & 0xFFFF; skip > 0; --skip) {
    int32_t length = BoundedTextLength(p, end);
    if (length < 0) return kEmptyText;
    p += length + 1;
  }
  if (BoundedTextLength(p, end) < 0) return kEmptyText;
  return reinterpret_cast<const char*>(p);
}

const char* GetPackageString(const CurrentComponent& current, unsigned group, unsigned index) {
  const ComponentDescriptor* descriptor = current.descriptor;
  if (group >= kStringGroups || descriptor == nullptr) return kEmptyText;
  return StringInGroup(descriptor->groups[group], index);
}

}  // namespace setup
