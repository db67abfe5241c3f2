#include "experiment/core/setupvalues.h"

#include "experiment/core/expnumbers.h"

#include <algorithm>

namespace velorix {

namespace {

enum class Scale {
    Tenths,
    Whole
};

struct FieldRule
{
    const char *caption;
    QString SetupTexts::*text;
    Scale scale;
    int maximum;    // in the field's own unit (tenths or whole)
    bool speedUnit; // the range is in the speed unit, else in seconds
};

// In the order of the set-up frame, so the first problem named is the one
// highest up on the screen.
const FieldRule kRules[] = {
        {"Start Speed", &SetupTexts::startSpeed, Scale::Tenths, 32767, true},
        {"Max Speed", &SetupTexts::endSpeed, Scale::Tenths, 32767, true},
        {"Acc Int", &SetupTexts::accInterval, Scale::Tenths, 32767, false},
        {"Acc Step", &SetupTexts::accStep, Scale::Tenths, 255, true},
        {"Duration", &SetupTexts::duration, Scale::Whole, 32767, false},
        {"Rot Delay", &SetupTexts::rotDelay, Scale::Tenths, 255, false},
        {"Rocking Int", &SetupTexts::rockInterval, Scale::Whole, 32767, false},
};

double packed(double number, Scale scale)
{
    return roundHalfEven(scale == Scale::Tenths ? number * 10.0 : number);
}

// A box that is not a number packs as 0; callers check first.
double packed(const QString &text, Scale scale)
{
    return packed(readTypedNumber(text).value, scale);
}

std::int16_t clampedField(double value, int maximum)
{
    return static_cast<std::int16_t>(std::clamp(value, 0.0, double(maximum)));
}

QString rangeText(const FieldRule &rule)
{
    if (rule.scale == Scale::Whole)
        return QStringLiteral("0 to %1").arg(rule.maximum);
    return QStringLiteral("0.0 to %1").arg(format1(rule.maximum / 10.0));
}

} // namespace

QString unitsText(std::uint8_t options)
{
    return (options & kOptionRpm) ? QStringLiteral("RPM") : QStringLiteral("cm/s");
}

std::optional<SetupProblem> checkSetup(const SetupTexts &texts)
{
    const QString units = texts.rpm ? QStringLiteral("RPM") : QStringLiteral("cm/s");
    for (const FieldRule &rule : kRules) {
        // A box without a number ("abc", empty) or with one written another
        // way ("0,5") is refused like one out of range: read as 0 it would
        // go to the device unnoticed.
        const TypedNumber number = readTypedNumber(texts.*rule.text);
        const double value = number.ok() ? packed(number.value, rule.scale) : -1;
        if (value >= 0 && value <= rule.maximum)
            continue;
        const QString caption = QLatin1String(rule.caption);
        QString message
                = QStringLiteral("%1 must be from %2 %3.")
                          .arg(caption, rangeText(rule), rule.speedUnit ? units : QStringLiteral("seconds"));
        if (number.status == TypedNumber::Status::Malformed)
            message += QLatin1Char('\n') + decimalPointHint(caption);
        return SetupProblem{caption, message};
    }
    return std::nullopt;
}

void packSetup(const SetupTexts &texts, DeviceInfo &record, std::int16_t &rockInterval)
{
    rockInterval = clampedField(packed(texts.rockInterval, Scale::Whole), 32767);
    record.intDuration = clampedField(packed(texts.duration, Scale::Whole), 32767);
    record.intStartSpeed = clampedField(packed(texts.startSpeed, Scale::Tenths), 32767);
    record.intEndSpeed = clampedField(packed(texts.endSpeed, Scale::Tenths), 32767);
    record.intAccInterval = clampedField(packed(texts.accInterval, Scale::Tenths), 32767);
    record.intAccStep = clampedField(packed(texts.accStep, Scale::Tenths), 255);
    record.intRotDelay = clampedField(packed(texts.rotDelay, Scale::Tenths), 255);
    // Only bits 0 and 4 are the window's; the others travel unchanged.
    record.bytExpOptions = static_cast<std::uint8_t>(
            (record.bytExpOptions & ~(kOptionRpm | kOptionMouseWheel)) | (texts.rpm ? kOptionRpm : 0)
            | (texts.mouseWheel ? kOptionMouseWheel : 0));
    record.bytDirection = texts.ccw ? 1 : 0;
}

SetupTexts showSetup(const DeviceInfo &record, const QString &rockIntervalText)
{
    SetupTexts texts;
    texts.duration = QString::number(record.intDuration);
    texts.startSpeed = format1(record.intStartSpeed / 10.0);
    texts.endSpeed = format1(record.intEndSpeed / 10.0);
    texts.accStep = format1(record.intAccStep / 10.0);
    texts.rotDelay = format1(record.intRotDelay / 10.0);
    texts.accInterval = formatWhole(record.intAccInterval / 10.0);
    texts.rockInterval = rockIntervalText;
    texts.rpm = (record.bytExpOptions & kOptionRpm) != 0;
    texts.mouseWheel = (record.bytExpOptions & kOptionMouseWheel) != 0;
    texts.ccw = (record.bytDirection & 1) != 0;
    return texts;
}

} // namespace velorix
