#include "wizard/page_rules.h"

#include "base/text.h"
#include "base/text_format.h"

namespace setup {

uint32_t PageButtonFlags(uint32_t flags, uint16_t startPage) {
  return startPage != 0xFFFF ? flags | BTN_QUIET_CANCEL : flags;
}

void BuildPageCaption(char* out, uint32_t size, const char* setupTitle, const char* pageTitle) {
  CopyText(out, size, setupTitle);
  if (pageTitle[0] == '\0') return;
  AppendText(out, size, " - ");
  AppendText(out, size, pageTitle);
}

int ChosenComponent(const bool* checked, int count, int current) {
  for (int i = 0; i < count; ++i) {
    if (checked[i]) return i;
  }
  return current;
}

bool FolderFits(const char* folder) { return TextLength(folder) < kPathSize - 1; }

void FillTextFormat(char* out, uint32_t size, const char* format, const char* text) {
  if (IsSingleTextFormat(format)) {
    FormatText(out, size, format, text, 0);
  } else {
    CopyText(out, size, format);
  }
}

namespace {

// How many number conversions `format` holds; -1 when it holds any other.
int NumberConversions(const char* format) {
  int count = 0;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p == '-' || *p == '0') ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p == '.') {
      ++p;
      while (*p >= '0' && *p <= '9') ++p;
    }
    if (*p == 'l') ++p;
    if (*p != 'd' && *p != 'i' && *p != 'u') return -1;
    ++count;
  }
  return count;
}

}  // namespace

void FillNumberFormat(char* out, uint32_t size, const char* format, int32_t number) {
  if (NumberConversions(format) == 1) {
    FormatText(out, size, format, "", number);
  } else {
    CopyText(out, size, format);
  }
}

void BuildCheckMessage(char* out, uint32_t size, const char* heading, const char* errorText) {
  CopyText(out, size, heading);
  AppendText(out, size, "\n\n");
  AppendText(out, size, errorText);
}

bool KeepAfterInstallEntries(bool runStillOpen, int setupError) {
  return !runStillOpen && setupError == 0;
}

}  // namespace setup
