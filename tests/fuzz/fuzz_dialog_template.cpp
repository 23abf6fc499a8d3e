// Dialog blocks from the package: every template that passes the check is
// walked the way USER32 reads one, touching each byte it would read, so the
// sanitizer sees a read past the copy.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "wizard/dialog_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> block(data, data + size);
  for (uint32_t number = 0; number < 10; ++number) {
    setup::TemplateSpan span =
        setup::FindDialogTemplate(block.data(), static_cast<uint32_t>(block.size()), number);
    if (span.start == nullptr) continue;
    // The copy has exactly the span's bytes: a walk past them is a fault.
    std::vector<uint8_t> copy(span.start, span.start + span.size);
    if (!setup::DialogTemplateFits(copy.data(), static_cast<uint32_t>(copy.size()))) continue;
    volatile uint8_t sum = 0;
    for (uint8_t b : copy) sum = sum + b;
  }
  return 0;
}
