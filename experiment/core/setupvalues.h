#pragma once

// The experiment set-up as the set-up frame shows it, and its way into and
// out of the device record: packing the boxes (typed numbers, tenths,
// halves to even), checking that every value is a number that fits its
// field before anything is sent, and formatting the record for the boxes.

#include "model/deviceinfo.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace velorix {

// Bits of bytExpOptions.
constexpr std::uint8_t kOptionRpm = 0x01;
constexpr std::uint8_t kOptionMouseWheel = 0x10;

// The texts of the set-up boxes and the state of the option buttons.
struct SetupTexts
{
    QString startSpeed;                         // txts_speed
    QString endSpeed;                           // txte_speed
    QString accInterval;                        // txtacc_time
    QString accStep;                            // txtacc_step
    QString duration;                           // txtduration
    QString rotDelay;                           // txtrot_delay
    QString rockInterval = QStringLiteral("0"); // txtdir
    bool rpm = true;                            // optrpmspeed(0), else optrpmspeed(1)
    bool mouseWheel = true;                     // optwheel(1), else optwheel(0)
    bool ccw = false;                           // optdir
};

// A box whose value does not fit its field, with the message for the user.
struct SetupProblem
{
    QString box;  // the caption beside the box
    QString text; // "Acc Step must be from 0.0 to 25.5 RPM.", for a number
                  // written with a comma followed by a line with the hint
                  // "Acc Step: use a decimal point, as in 0.5"
};

// "RPM" or "cm/s" for an options byte.
[[nodiscard]] QString unitsText(std::uint8_t options);

// The first box (in the frame's order) that holds no number, a malformed
// one, or one that would not fit, if any.
[[nodiscard]] std::optional<SetupProblem> checkSetup(const SetupTexts &texts);

// pack_exp_values: the boxes into the record and the rocking interval.
// Values outside a field are clamped to it; callers check first.
void packSetup(const SetupTexts &texts, DeviceInfo &record, std::int16_t &rockInterval);

// iniexp_values: the record as the boxes show it. The rocking interval is
// the window's own and is not part of the record, so it is passed through.
[[nodiscard]] SetupTexts showSetup(const DeviceInfo &record, const QString &rockIntervalText);

} // namespace velorix
