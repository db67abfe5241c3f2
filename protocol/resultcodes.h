#pragma once

#include "link/linkresults.h"

#include <QString>

namespace velorix {

// Result codes of the device commands, beside the link's own: 0 is success.
namespace rc {

constexpr std::int16_t RecordRefused = 2;  // firmware record refused four times
constexpr std::int16_t EmptyRecord = 2004; // empty firmware record
constexpr std::int16_t BadReply = 2006;    // wrong address, no ack, wrong echo, bad status
constexpr std::int16_t BadChecksum = 2007;
constexpr std::int16_t BadGroupId = 2008;   // group ID outside 240..254
constexpr std::int16_t BusResetFailed = -1; // BusRESET's own failure value

} // namespace rc

// How the experiment and diagnostics windows show a failed command in their
// display box: "Error #" and the code, as in "Error #1005".
[[nodiscard]] QString errorNumberText(int result);

} // namespace velorix
