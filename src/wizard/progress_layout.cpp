#include "wizard/progress_layout.h"

namespace setup {

uint32_t ProgressBlockLefts(uint32_t width, uint32_t height, uint32_t percent, int32_t *lefts,
                            uint32_t room) {
  uint32_t block = height / 2;
  // The reach is worked out in unsigned 32 bits, as the bar always has.
  uint32_t reach = width * percent / 100;
  uint32_t count = 0;
  uint32_t x = 1;
  for (;;) {
    if (count < room) lefts[count] = static_cast<int32_t>(x);
    ++count;
    x += block + 2;
    if (!(x + block < width && x + block < reach)) break;
  }
  return count < room ? count : room;
}

}  // namespace setup
