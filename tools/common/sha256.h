// SHA-256, for telling files apart by their contents while a package is
// built: two sources with the same digest are stored once, and a source
// read twice must give the same digest both times.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace setup::tools {

using Sha256Digest = std::array<uint8_t, 32>;

Sha256Digest Sha256(const uint8_t* data, size_t size);

}  // namespace setup::tools
