#pragma once

#include <cstdint>
#include <vector>

namespace velorix {

// Frames are built and read in these: 0-based, unsigned 8-bit.
using ByteBuffer = std::vector<std::uint8_t>;

} // namespace velorix
