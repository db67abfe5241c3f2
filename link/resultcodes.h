#pragma once

#include <cstdint>

namespace velorix {

// Result codes of the link and of the device commands; 0 is success.
namespace rc {
constexpr std::int16_t Ok = 0;
constexpr std::int16_t RecordRefused = 2;     // firmware record refused four times
constexpr std::int16_t Busy = 1001;           // link busy, nothing sent
constexpr std::int16_t SerialError = 1003;    // the port failed during the exchange
constexpr std::int16_t NoReply = 1005;        // no reply, or a short one
constexpr std::int16_t EmptyRecord = 2004;    // empty firmware record
constexpr std::int16_t BadReply = 2006;       // wrong address, no ack, wrong echo, bad status
constexpr std::int16_t LateText = 2006;       // text exchange only: text came after the time-out
constexpr std::int16_t BadChecksum = 2007;
constexpr std::int16_t BadGroupId = 2008;     // group ID outside 240..254
constexpr std::int16_t BusResetFailed = -1;   // BusRESET's own failure value
} // namespace rc

} // namespace velorix
