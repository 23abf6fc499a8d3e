// The progress bar's geometry: a sunken strip with blocks of half its height
// and 2-pixel gaps, as many as the percentage reaches, the first always.
#pragma once

#include <cstdint>

namespace setup {

// The percentage the bar keeps: at most 100.
inline uint32_t ClampPercent(uint32_t percent) { return percent < 100 ? percent : 100; }

// The left edges of the blocks drawn for `percent` on a bar of `width` by
// `height` pixels, written to `lefts` (at most `room`); returns how many
// blocks there are. Each block spans x to x + height / 2 and rows 2 to
// height - 2.
uint32_t ProgressBlockLefts(uint32_t width, uint32_t height, uint32_t percent, int32_t *lefts,
                            uint32_t room);

}  // namespace setup
