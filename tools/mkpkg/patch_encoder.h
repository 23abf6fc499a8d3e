// Delta encoding of patch entries.
//
// A patch rebuilds a target file from a base file with two streams: command
// bytes (each followed by its operands) and the literal bytes those commands
// copy in order.
//
//   0x80-0xFF, n = (c >> 5) & 3 == 0   (c & 0x1F) + 1 literals (1-32)
//   0x80-0xFF, n = 1..3                 n literals, then (c & 0x1F) + 2 bytes
//                                       (2-33) from the base
//   0x01-0x7F                           c + 1 bytes (2-128) from the base
//   0x00, u16 L (little-endian)         L + 129 bytes (129-65664) from the base
//
// Every copy from the base is followed by a signed distance d from the base
// position (the end of the previous base copy, 0 at the start); the copy reads
// base[pos + d, pos + d + len) and leaves pos at its end. Distances take one
// byte (10xxxxxx: -32..31), two bytes (0xxxxxxx + 1: 32..16415 and
// -16416..-33) or three bytes (11xxxxxx + 2: 16416..2^21+16415 and
// -(2^21+16416)..-16417).
#pragma once

#include <cstdint>
#include <vector>

namespace setup::tools {

struct PatchStreams {
  std::vector<uint8_t> commands;
  std::vector<uint8_t> literals;
};

// Distances a copy from the base can be given.
inline constexpr int32_t kMaxPatchDistance = (1 << 21) + 16415;
inline constexpr int32_t kMinPatchDistance = -((1 << 21) + 16416);

// Commands and literals that rebuild `target` from `base`. Works for any pair
// of inputs (either may be empty); bytes no reachable part of the base supplies
// go to the literal stream. Throws std::length_error for a base of 4 GB or more.
PatchStreams EncodePatch(const std::vector<uint8_t>& base, const std::vector<uint8_t>& target);

// Appends the shortest form of distance `d`; throws std::out_of_range when d
// lies outside [kMinPatchDistance, kMaxPatchDistance].
void AppendDistance(std::vector<uint8_t>& commands, int32_t d);

// Bytes the shortest form of `d` takes (1 to 3), or 0 when d cannot be written.
int DistanceSize(int64_t d);

}  // namespace setup::tools
