#pragma once

// How the experiment window reads the numbers operators type and shows the
// numbers devices report. Boxes are read as typed numbers
// (base/leadingnumber.h): a unit after the number is allowed ("7.5 rpm" is
// 7.5), a number written with a decimal comma is not.

#include "base/leadingnumber.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace velorix {

// Nearest whole number, a half going to the even neighbour (122.5 -> 122,
// 127.5 -> 128).
[[nodiscard]] double roundHalfEven(double value);

// Whether a rounded value fits a signed 16-bit field.
[[nodiscard]] bool fitsInt16(double rounded);

// Display formats. "0.0" and "0" round a half away from zero, as the
// program's number formats always have (12.5 shows as "13").
[[nodiscard]] QString format1(double value); // "0.0"
// Seconds as a clock, "m:ss" or from an hour on "h:mm:ss" (whole seconds, cut).
[[nodiscard]] QString clockText(double seconds);
[[nodiscard]] QString formatWhole(double value); // "0"
[[nodiscard]] QString formatSpeed(double value); // "00.0": 5.3 -> "05.3"

// A two-byte count of tenths, low byte first, combined unsigned (0.0 to
// 6553.5), so a session past 54 minutes keeps counting.
[[nodiscard]] float tenthsValue(std::uint8_t low, std::uint8_t high);

} // namespace velorix
