#include "experiment/core/accelcalc.h"

#include "experiment/core/expnumbers.h"

#include <algorithm>
#include <cmath>

namespace velorix {

namespace {

constexpr int kLargestStep = 255;   // tenths; the device keeps the step in one byte
constexpr double kWorstError = 100; // tenths; an interval must do better
// Whole seconds; the set-up keeps the interval in tenths in 16 bits (3276.7 s),
// so no longer one is tried however large the largest interval typed.
constexpr int kLongestInterval = 3276;

// The rule a box breaks, and for a number written with a comma the hint.
QString withHint(QString rule, const TypedNumber &number, const char *caption)
{
    if (number.status == TypedNumber::Status::Malformed)
        rule += QLatin1Char('\n') + decimalPointHint(QLatin1String(caption));
    return rule;
}

} // namespace

AccelOutcome calcAccel(const AccelInputs &inputs)
{
    const TypedNumber period = readTypedNumber(inputs.period);
    const TypedNumber most = readTypedNumber(inputs.maxInterval);
    const TypedNumber start = readTypedNumber(inputs.startSpeed);
    const TypedNumber end = readTypedNumber(inputs.endSpeed);

    // A box that holds no number breaks its rule as 0 would.
    AccelOutcome outcome;
    if (!period.ok() || period.value <= 0) {
        outcome.problem
                = withHint(QStringLiteral("Period(seconds) must be more than 0."), period, "Period(seconds)");
        return outcome;
    }
    if (!most.ok() || most.value < 1) {
        outcome.problem
                = withHint(QStringLiteral("Max Acc_Int(sec) must be 1 or more."), most, "Max Acc_Int(sec)");
        return outcome;
    }
    if (!start.ok() || !end.ok() || start.value < 0 || end.value <= 0) {
        outcome.problem = withHint(
                withHint(QStringLiteral("Start Speed must be 0 or more and End Speed more than 0."), start,
                         "Enter Start Speed"),
                end, "Enter End Speed");
        return outcome;
    }
    const double T = period.value;
    const double M = most.value;
    const double S = start.value;
    const double E = end.value;

    const double D = std::fabs(E - S) * 10;
    double bestError = kWorstError;
    int bestInterval = 0;
    double bestStep = 0;
    const int longest = int(std::min(std::floor(M), double(kLongestInterval)));
    // An exact fit cannot be bettered (a tie keeps the smaller interval).
    for (int i = 1; i <= longest && bestError > 0; ++i) {
        const double n = T / i;
        const double step = roundHalfEven(D / n);
        // Longer intervals only need larger steps.
        if (step > kLargestStep)
            break;
        const double error = std::fabs(D - n * step);
        if (error < bestError) {
            bestError = error;
            bestInterval = i;
            bestStep = step / 10;
        }
    }
    if (bestInterval == 0) {
        outcome.problem = QStringLiteral("No acceleration interval from 1 to %1 seconds gives a step of "
                                         "at most 25.5 that comes within 10.0 of the end speed.")
                                  .arg(longest);
        return outcome;
    }

    const auto k = static_cast<long long>(roundHalfEven(T)) / bestInterval;
    AccelLabels labels;
    labels.lblAcc_Step = format1(bestStep);
    labels.lblAcc_int = QString::number(bestInterval);
    labels.lblSP = inputs.startSpeed;
    labels.lblES = format1(S + bestStep * double(k));
    labels.lblpr = QString::number(bestInterval * k);
    labels.lblerror = QStringLiteral("Error ") + format1(100 * bestError / E) + QLatin1Char('%');
    outcome.labels = labels;
    return outcome;
}

std::optional<QString> copyToSetup(const AccelInputs &inputs, const AccelLabels &labels, DeviceInfo &record)
{
    struct Value
    {
        const QString &text;
        bool typed; // a box the operator types in, else a result label
        double scale;
        int maximum;
        const char *caption;
        std::int16_t DeviceInfo::*field;
    };
    const Value values[] = {
            {inputs.startSpeed, true, 10, 32767, "Enter Start Speed", &DeviceInfo::intStartSpeed},
            {inputs.endSpeed, true, 10, 32767, "Enter End Speed", &DeviceInfo::intEndSpeed},
            {labels.lblAcc_int, false, 10, 32767, "Acc Int", &DeviceInfo::intAccInterval},
            {labels.lblAcc_Step, false, 10, 255, "Acc Step", &DeviceInfo::intAccStep},
            {inputs.period, true, 1, 32767, "Period(seconds)", &DeviceInfo::intDuration},
    };
    DeviceInfo updated = record;
    for (const Value &value : values) {
        const TypedNumber number = readTypedNumber(value.text);
        // A label not yet calculated ("Ac Int") copies as 0; a box without
        // a number is refused like one out of range.
        const bool readable = number.ok() || (!value.typed && number.status == TypedNumber::Status::NoNumber);
        const double rounded = readable ? roundHalfEven(number.value * value.scale) : -1;
        if (rounded < 0 || rounded > value.maximum) {
            return withHint(QStringLiteral("%1 does not fit the experiment set-up (0 to %2).")
                                    .arg(QLatin1String(value.caption),
                                         value.scale == 1 ? QString::number(value.maximum)
                                                          : format1(value.maximum / value.scale)),
                            number, value.caption);
        }
        updated.*value.field = static_cast<std::int16_t>(rounded);
    }
    record = updated;
    return std::nullopt;
}

} // namespace velorix
