// The wizard's page sequence: which slot runs next, where each button leads,
// and where the frame sits on the screen. The dialog procedures only ask.
#pragma once

#include <cstdint>

namespace setup {

// Page slots of the page table (slot 3 holds no page).
enum PageSlot : int32_t {
  PAGE_WELCOME = 0,
  PAGE_INFORMATION = 1,
  PAGE_COMPONENTS = 2,
  PAGE_DESTINATION = 4,
  PAGE_READY = 5,
  PAGE_PROGRESS = 6,
  PAGE_FINISH = 7,
  PAGE_END_MARKER = 8,
};
constexpr int32_t kPageSlots = 9;
constexpr int32_t kLoopEnded = -1;
constexpr uint16_t kNormalWizard = 0xFFFF;

// Template number of each slot; kNoTemplate ends the wizard at once.
constexpr uint16_t kNoTemplate = 10;
uint16_t PageTemplate(int32_t slot);
// String group of each slot's texts.
uint16_t PageTextGroup(int32_t slot);

// The first slot to run: 0, or the start page of single-page mode. A start
// page with no slot runs nothing (kLoopEnded) rather than a page the table
// does not have.
int32_t FirstPageIndex(uint16_t startPage);

// The slot after `index` returned `result` (1 next, 2 end, 1007 back, any
// other value: the same again); kLoopEnded when the wizard is over.
int32_t NextPageIndex(int32_t index, int32_t result, bool singlePage);

// What a page's Next or Back leads to, by the package's shape: its component
// count and whether the Information page has a text (string (1,1)).
struct WizardShape {
  int32_t componentCount;
  bool hasInformation;
};
int32_t NextPageAfter(int32_t slot, const WizardShape& shape);
int32_t PageBefore(int32_t slot, const WizardShape& shape);

// Where the frame goes: centred on `centre`, kept inside the background
// window's `outer` size, never before 0 (one axis at a time).
int32_t FrameOrigin(int32_t centre, int32_t frame, int32_t outer);

}  // namespace setup
