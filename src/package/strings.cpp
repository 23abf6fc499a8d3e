#include "package/strings.h"

#include "base/bytes.h"
#include "base/text_format.h"

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

const char* GetPackageString(const SetupContext& context, unsigned group, unsigned index) {
  const ComponentDescriptor* descriptor = context.current.descriptor;
  if (group >= kStringGroups || descriptor == nullptr) return kEmptyText;
  return StringInGroup(descriptor->groups[group], index);
}

void FormatErrorText(const SetupContext& context, char* buffer, uint32_t size, int error) {
  const char* text = GetPackageString(context, 6, static_cast<unsigned>(error));
  if (HasTextConversion(text)) {
    FormatText(buffer, size, text, context.run.errorSubject, 0);
  } else {
    CopyText(buffer, size, text);
  }
}

int ShowSetupMessage(SetupContext& context, const char* text, uint32_t type) {
  WindowHandle owner = context.run.frameWindow != 0 ? context.run.frameWindow
                                                    : context.run.backgroundWindow;
  return context.platform.MessageBoxA(owner, text, GetPackageString(context, 6, 0), type);
}

}  // namespace setup
