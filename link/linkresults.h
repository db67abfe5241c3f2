#pragma once

#include <cstdint>

namespace velorix {

// Result codes of one exchange on the link; 0 is success. The device
// commands add their own codes (protocol/resultcodes.h) in the same family.
namespace rc {

constexpr std::int16_t Ok = 0;
constexpr std::int16_t Busy = 1001;        // link busy, nothing sent
constexpr std::int16_t SerialError = 1003; // the port failed during the exchange
constexpr std::int16_t NoReply = 1005;     // no reply, or a short one
constexpr std::int16_t LateText = 2006;    // text exchange only: text came after the time-out

} // namespace rc

} // namespace velorix
