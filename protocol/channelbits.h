#pragma once

// The device reports its four channels as the low four bits of a byte
// (bit 0 is channel 1): the running bits, the rotation bits, the enables.

#include <cstdint>

namespace velorix {

// Whether channel `channel` (0 to 3) is set in `bits`.
[[nodiscard]] constexpr bool bitSet(std::uint8_t bits, int channel)
{
    return ((bits >> channel) & 1) != 0;
}

} // namespace velorix
