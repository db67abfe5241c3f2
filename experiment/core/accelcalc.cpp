#include "experiment/core/accelcalc.h"

#include "experiment/core/expnumbers.h"

#include <cmath>

namespace velorix {

namespace {

constexpr int kLargestStep = 255; // tenths; the device keeps the step in one byte
constexpr double kWorstError = 100; // tenths; an interval must do better

} // namespace

AccelOutcome calcAccel(const AccelInputs &inputs)
{
    const double T = leadingNumber(inputs.period);
    const double M = leadingNumber(inputs.maxInterval);
    const double S = leadingNumber(inputs.startSpeed);
    const double E = leadingNumber(inputs.endSpeed);

    AccelOutcome outcome;
    if (T <= 0) {
        outcome.problem = QStringLiteral("Period(seconds) must be more than 0.");
        return outcome;
    }
    if (M < 1) {
        outcome.problem = QStringLiteral("Max Acc_Int(sec) must be 1 or more.");
        return outcome;
    }
    if (S < 0 || E <= 0) {
        outcome.problem = QStringLiteral("Start Speed must be 0 or more and End Speed more than 0.");
        return outcome;
    }

    const double D = std::fabs(E - S) * 10;
    double bestError = kWorstError;
    int bestInterval = 0;
    double bestStep = 0;
    for (int i = 1; i <= M; ++i) {
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
                              .arg(formatWhole(std::floor(M)));
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
        double scale;
        int maximum;
        const char *caption;
        std::int16_t DeviceInfo::*field;
    };
    const Value values[] = {
        {inputs.startSpeed, 10, 32767, "Enter Start Speed", &DeviceInfo::intStartSpeed},
        {inputs.endSpeed, 10, 32767, "Enter End Speed", &DeviceInfo::intEndSpeed},
        {labels.lblAcc_int, 10, 32767, "Acc Int", &DeviceInfo::intAccInterval},
        {labels.lblAcc_Step, 10, 255, "Acc Step", &DeviceInfo::intAccStep},
        {inputs.period, 1, 32767, "Period(seconds)", &DeviceInfo::intDuration},
    };
    DeviceInfo updated = record;
    for (const Value &value : values) {
        const double rounded = roundHalfEven(leadingNumber(value.text) * value.scale);
        if (rounded < 0 || rounded > value.maximum) {
            return QStringLiteral("%1 does not fit the experiment set-up (0 to %2).")
                .arg(QLatin1String(value.caption),
                     value.scale == 1 ? QString::number(value.maximum) : format1(value.maximum / value.scale));
        }
        updated.*value.field = static_cast<std::int16_t>(rounded);
    }
    record = updated;
    return std::nullopt;
}

} // namespace velorix
