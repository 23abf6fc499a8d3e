#include "wizard/page_sequence.h"

namespace setup {

namespace {

constexpr int32_t kResultNext = 1;
constexpr int32_t kResultEnd = 2;
constexpr int32_t kResultBack = 1007;

struct SlotInfo {
  uint16_t templateNumber;
  uint16_t textGroup;
};

// Welcome and Ready share template 5; slot 3 is empty and never reached.
constexpr SlotInfo kSlots[kPageSlots] = {
    {5, 0}, {3, 1}, {8, 9}, {kNoTemplate, 0}, {2, 2}, {5, 3}, {4, 4}, {6, 5}, {kNoTemplate, 0},
};

bool ValidSlot(int32_t slot) { return slot >= 0 && slot < kPageSlots; }

}  // namespace

uint16_t PageTemplate(int32_t slot) {
  return ValidSlot(slot) ? kSlots[slot].templateNumber : kNoTemplate;
}

uint16_t PageTextGroup(int32_t slot) { return ValidSlot(slot) ? kSlots[slot].textGroup : 0; }

int32_t FirstPageIndex(uint16_t startPage) {
  if (startPage == kNormalWizard) return PAGE_WELCOME;
  return ValidSlot(startPage) ? startPage : kLoopEnded;
}

int32_t NextPageIndex(int32_t index, int32_t result, bool singlePage) {
  if (singlePage) return kLoopEnded;
  switch (result) {
    case kResultNext:
      return index >= PAGE_END_MARKER ? kLoopEnded : index + 1;
    case kResultEnd:
      return kLoopEnded;
    case kResultBack:
      return index > 0 ? index - 1 : 0;
    default:
      return index;
  }
}

int32_t NextPageAfter(int32_t slot, const WizardShape& shape) {
  switch (slot) {
    case PAGE_WELCOME:
      if (shape.hasInformation) return PAGE_INFORMATION;
      return shape.componentCount >= 2 ? PAGE_COMPONENTS : PAGE_DESTINATION;
    case PAGE_INFORMATION:
      return shape.componentCount == 1 ? PAGE_DESTINATION : PAGE_COMPONENTS;
    case PAGE_COMPONENTS:
      return PAGE_DESTINATION;
    default:
      return slot + 1;
  }
}

int32_t PageBefore(int32_t slot, const WizardShape& shape) {
  switch (slot) {
    case PAGE_COMPONENTS:
      return shape.hasInformation ? PAGE_INFORMATION : PAGE_WELCOME;
    case PAGE_DESTINATION:
      if (shape.componentCount != 1) return PAGE_COMPONENTS;
      return shape.hasInformation ? PAGE_INFORMATION : PAGE_WELCOME;
    default:
      return slot > 0 ? slot - 1 : 0;
  }
}

int32_t FrameOrigin(int32_t centre, int32_t frame, int32_t outer) {
  int32_t origin = centre - frame / 2;
  if (origin > outer - frame) origin = outer - frame;
  return origin < 0 ? 0 : origin;
}

}  // namespace setup
