#include "wizard/page_figures.h"

#include "package/file_entry.h"

namespace setup {

namespace {

constexpr uint32_t kBtnBack = 0x001;
constexpr uint32_t kBtnCancel = 0x004;
constexpr uint32_t kBtnQuietCancel = 0x100;

}  // namespace

uint32_t NeededMegabytes(const uint8_t* firstEntry, uint32_t count) {
  uint64_t bytes = 0;
  const uint8_t* entry = firstEntry;
  for (uint32_t i = 0; i < count; ++i, entry = NextFileEntry(entry)) {
    bytes += (uint64_t{EntryFileSize(entry)} + 0x7FFF) & ~uint64_t{0x7FFF};
  }
  uint64_t megabytes = (bytes + 0xFFFFF) >> 20;
  return megabytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(megabytes);
}

uint32_t FreeMegabytes(uint32_t freeKilobytes) {
  if (freeKilobytes == 0xFFFFFFFFu) return 0;
  return static_cast<uint32_t>((uint64_t{freeKilobytes} + 1023) >> 10);
}

uint32_t FinishButtonFlags(bool restartNeeded) {
  return kBtnCancel | kBtnQuietCancel | (restartNeeded ? kBtnBack : 0);
}

int RestartNoticeControl(const FinishLines& lines) {
  if (lines.runBoxVisible) return lines.runBoxMovedUp ? 1002 : 1003;
  if (!lines.openButtonShown && lines.openLineEmpty) return 1001;
  return lines.runLineEmpty ? 1002 : 1003;
}

}  // namespace setup
