// Dialog templates from the package, checked before USER32 sees them.
//
// The dialog block starts with a table of u32 offsets, one per template
// number, counted from the block's start. A template is used through a copy of
// at most 16384 bytes from its offset; everything CreateDialogIndirectParamA
// reads of it (the DLGTEMPLATE, its menu, class, title and font, and every
// DLGITEMTEMPLATE with its class, title and creation data) must lie inside
// those bytes, or the dialog is not made.
#pragma once

#include <cstdint>

namespace setup {

constexpr uint32_t kTemplateCopySize = 16384;

struct TemplateSpan {
  const uint8_t* start;  // null when the block has no such template
  uint32_t size;         // the bytes that go into the copy
};

// Where template `number` lies in the dialog block, and how much of the block
// its copy takes.
TemplateSpan FindDialogTemplate(const uint8_t* block, uint32_t blockSize, uint32_t number);

// Whether the template at `start` is a DLGTEMPLATE (not the extended form)
// whose every part lies within `size` bytes.
bool DialogTemplateFits(const uint8_t* start, uint32_t size);

}  // namespace setup
