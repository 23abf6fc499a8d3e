#include "wizard/dialog_template.h"

#include "base/bytes.h"

namespace setup {

namespace {

constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kHeaderSize = 18;  // style, extended style, item count, x, y, cx, cy
constexpr uint32_t kItemSize = 18;    // style, extended style, x, y, cx, cy, id

// A reader of one template that stops at its end: every step reports
// whether what it reads lies within the template's bytes.
class TemplateWalk {
 public:
  TemplateWalk(const uint8_t* start, uint32_t size) : start_(start), size_(size) {}

  bool Skip(uint32_t n) {
    if (n > size_ - at_) return false;
    at_ += n;
    return true;
  }
  bool Word(uint16_t* value) {
    if (2 > size_ - at_) return false;
    *value = ReadU16(start_ + at_);
    at_ += 2;
    return true;
  }
  // A NUL-terminated UTF-16 text.
  bool Text() {
    for (uint16_t c = 1; c != 0;) {
      if (!Word(&c)) return false;
    }
    return true;
  }
  // A menu, class or title field: none (0), an ordinal (0xFFFF and a word)
  // or a text.
  bool NameOrOrdinal() {
    uint16_t first;
    if (!Word(&first)) return false;
    if (first == 0) return true;
    if (first == 0xFFFF) return Skip(2);
    for (uint16_t c = first; c != 0;) {
      if (!Word(&c)) return false;
    }
    return true;
  }
  // Items start on a 4-byte boundary counted from the template's first byte.
  bool AlignToDword() { return Skip((4 - at_ % 4) % 4); }

 private:
  const uint8_t* start_;
  uint32_t size_;
  uint32_t at_ = 0;
};

}  // namespace

TemplateSpan FindDialogTemplate(const uint8_t* block, uint32_t blockSize, uint32_t number) {
  if (block == nullptr || number >= blockSize / 4) return {nullptr, 0};
  uint32_t offset = ReadU32(block + number * 4);
  if (offset >= blockSize) return {nullptr, 0};
  uint32_t rest = blockSize - offset;
  return {block + offset, rest < kTemplateCopySize ? rest : kTemplateCopySize};
}

bool DialogTemplateFits(const uint8_t* start, uint32_t size) {
  if (start == nullptr || size < kHeaderSize) return false;
  // The extended form starts with version 1 and the signature 0xFFFF.
  if (ReadU16(start) == 1 && ReadU16(start + 2) == 0xFFFF) return false;
  uint32_t style = ReadU32(start);
  uint16_t items = ReadU16(start + 8);
  TemplateWalk walk(start, size);
  if (!walk.Skip(kHeaderSize) || !walk.NameOrOrdinal() || !walk.NameOrOrdinal() || !walk.Text()) {
    return false;
  }
  if ((style & kDsSetFont) && !(walk.Skip(2) && walk.Text())) return false;
  for (uint16_t i = 0; i < items; ++i) {
    uint16_t extra;
    if (!walk.AlignToDword() || !walk.Skip(kItemSize) || !walk.NameOrOrdinal() ||
        !walk.NameOrOrdinal() || !walk.Word(&extra) || !walk.Skip(extra)) {
      return false;
    }
  }
  return true;
}

}  // namespace setup
