#include "experiment/core/expnumbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velorix {

double roundHalfEven(double value)
{
    // nearbyint rounds in the current mode, which is round-to-nearest-even
    // unless someone changed it; the program never does.
    return std::nearbyint(value);
}

bool fitsInt16(double rounded)
{
    return std::isfinite(rounded) && rounded >= std::numeric_limits<std::int16_t>::min()
            && rounded <= std::numeric_limits<std::int16_t>::max();
}

namespace {

double roundAway(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double rounded = std::round(value * scale) / scale;
    return rounded == 0.0 ? 0.0 : rounded; // never "-0.0"
}

} // namespace

QString format1(double value)
{
    return QString::number(roundAway(value, 1), 'f', 1);
}

QString formatWhole(double value)
{
    return QString::number(roundAway(value, 0), 'f', 0);
}

QString formatSpeed(double value)
{
    const double rounded = roundAway(value, 1);
    if (rounded < 0)
        return QString::number(rounded, 'f', 1);
    return QStringLiteral("%1").arg(rounded, 4, 'f', 1, QLatin1Char('0'));
}

float tenthsValue(std::uint8_t low, std::uint8_t high)
{
    return static_cast<float>(low + 256 * high) / 10.0f;
}

QString clockText(double seconds)
{
    const auto whole = static_cast<long long>(std::floor(std::max(seconds, 0.0)));
    const QLatin1Char zero('0');
    if (whole < 3600)
        return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, zero);
    return QStringLiteral("%1:%2:%3")
            .arg(whole / 3600)
            .arg((whole / 60) % 60, 2, 10, zero)
            .arg(whole % 60, 2, 10, zero);
}

} // namespace velorix
