#pragma once

// The words in which the addresser and the diagnostics window show a result
// code in their display box. The window puts the text in its box and beeps.

#include <QString>

#include <cstdint>

namespace velorix {

enum class ErrorDisplayWindow {
    Addresser,
    Diagnostics
};

// "ERROR: " and the word for the code; the diagnostics window names the
// device address for a missing reply ("NO DEVICE PRESENT AT ADDRESS 12").
[[nodiscard]] QString ErrorDisplayText(std::int16_t intCode, ErrorDisplayWindow window,
                                       std::uint8_t deviceAddress = 0);

// What a result code means, in a few plain words, for a log line or a
// terminal ("no reply, or a short one"); empty for success and for a code
// the program does not know.
[[nodiscard]] QString resultCodeMeaning(std::int16_t code);

} // namespace velorix
