#pragma once

// The acceleration calculator: from a start speed, an end speed and a
// ramp duration it tries whole-second intervals and picks the interval and
// step (whole tenths, at most 25.5) that come closest to the wanted ramp.

#include "model/deviceinfo.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace velorix {

struct AccelInputs
{
    QString startSpeed = QStringLiteral("1.0"); // txtStart_SP
    QString endSpeed = QStringLiteral("10.0");  // txtEnd_SP
    QString period = QStringLiteral("60");      // txtPeriod
    QString maxInterval = QStringLiteral("15"); // txtMAX
};

// The six result labels.
struct AccelLabels
{
    QString lblSP = QStringLiteral("SP");
    QString lblES = QStringLiteral("ES");
    QString lblpr = QStringLiteral("PR");
    QString lblAcc_int = QStringLiteral("Ac Int");
    QString lblAcc_Step = QStringLiteral("ACC");
    QString lblerror = QStringLiteral("Error 0%");
};

struct AccelOutcome
{
    std::optional<AccelLabels> labels; // empty: no usable result
    QString problem;                   // why, for the user
};

// calc_accel. The four boxes are read as typed numbers
// (base/leadingnumber.h): one without a number, or with a decimal comma,
// gives no result.
[[nodiscard]] AccelOutcome calcAccel(const AccelInputs &inputs);

// Update_Settings: the calculator's speeds and period and the result
// labels, read as numbers (an unchanged "Ac Int" label reads as 0), into
// the record's set-up. When a box holds no number or a malformed one, or
// one would not fit its set-up field, the record stays as it was and the
// message for the user comes back.
[[nodiscard]] std::optional<QString> copyToSetup(const AccelInputs &inputs, const AccelLabels &labels,
                                                 DeviceInfo &record);

} // namespace velorix
