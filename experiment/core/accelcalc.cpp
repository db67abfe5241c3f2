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

namespace {

struct AccelNumbers
{
    double period = 0;      // T, seconds
    double maxInterval = 0; // M, seconds
    double start = 0;       // S
    double end = 0;         // E
};

// The boxes read as numbers, or the rule the first one breaks. A box that
// holds no number breaks its rule as 0 would.
std::optional<AccelNumbers> readAccelInputs(const AccelInputs &inputs, QString *problem)
{
    const TypedNumber period = readTypedNumber(inputs.period);
    const TypedNumber most = readTypedNumber(inputs.maxInterval);
    const TypedNumber start = readTypedNumber(inputs.startSpeed);
    const TypedNumber end = readTypedNumber(inputs.endSpeed);
    if (!period.ok() || period.value <= 0) {
        *problem
                = withHint(QStringLiteral("Period(seconds) must be more than 0."), period, "Period(seconds)");
        return std::nullopt;
    }
    if (!most.ok() || most.value < 1) {
        *problem = withHint(QStringLiteral("Max Acc_Int(sec) must be 1 or more."), most, "Max Acc_Int(sec)");
        return std::nullopt;
    }
    if (!start.ok() || !end.ok() || start.value < 0 || end.value <= 0) {
        *problem = withHint(
                withHint(QStringLiteral("Start Speed must be 0 or more and End Speed more than 0."), start,
                         "Enter Start Speed"),
                end, "Enter End Speed");
        return std::nullopt;
    }
    return AccelNumbers{period.value, most.value, start.value, end.value};
}

struct AccelFit
{
    double error = kWorstError; // tenths the ramp ends away from the end speed
    int interval = 0;           // seconds; 0: none fits
    double step = 0;
};

// The interval and step whose ramp over the period comes nearest the end
// speed; an exact fit cannot be bettered (a tie keeps the smaller interval).
AccelFit bestFit(const AccelNumbers &n, int longest)
{
    const double distance = std::fabs(n.end - n.start) * 10;
    AccelFit best;
    for (int i = 1; i <= longest && best.error > 0; ++i) {
        const double steps = n.period / i;
        const double step = roundHalfEven(distance / steps);
        // Longer intervals only need larger steps.
        if (step > kLargestStep)
            break;
        const double error = std::fabs(distance - steps * step);
        if (error < best.error)
            best = AccelFit{error, i, step / 10};
    }
    return best;
}

} // namespace

AccelOutcome calcAccel(const AccelInputs &inputs)
{
    AccelOutcome outcome;
    QString problem;
    const std::optional<AccelNumbers> numbers = readAccelInputs(inputs, &problem);
    if (!numbers) {
        outcome.problem = problem;
        return outcome;
    }
    const int longest = int(std::min(std::floor(numbers->maxInterval), double(kLongestInterval)));
    const AccelFit fit = bestFit(*numbers, longest);
    if (fit.interval == 0) {
        outcome.problem = QStringLiteral("No acceleration interval from 1 to %1 seconds gives a step of "
                                         "at most 25.5 that comes within 10.0 of the end speed.")
                                  .arg(longest);
        return outcome;
    }

    const auto k = static_cast<long long>(roundHalfEven(numbers->period)) / fit.interval;
    AccelLabels labels;
    labels.lblAcc_Step = format1(fit.step);
    labels.lblAcc_int = QString::number(fit.interval);
    labels.lblSP = inputs.startSpeed;
    labels.lblES = format1(numbers->start + fit.step * double(k));
    labels.lblpr = QString::number(fit.interval * k);
    labels.lblerror = QStringLiteral("Error ") + format1(100 * fit.error / numbers->end) + QLatin1Char('%');
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
