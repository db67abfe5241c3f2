#include "simulator/simconfig.h"

#include <QRegularExpression>

#include <cmath>

namespace velorix::sim {

std::vector<DeviceSpec> defaultDevices()
{
    return {{128, 220}, {129, 220}, {130, 220}, {131, 220}};
}

std::optional<int> parseFirmwareVersion(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\d{1,2}(\\.\\d{1,2})?$"));
    if (!form.match(text.trimmed()).hasMatch())
        return std::nullopt;
    return int(std::lround(text.trimmed().toDouble() * 100));
}

QString formatFirmwareVersion(int hundredths)
{
    return QString::number(hundredths / 100.0, 'f', 2);
}

} // namespace velorix::sim
