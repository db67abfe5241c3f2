#include "model/globals.h"

#include <QDir>

namespace velorix {

QString strDataPath;
QString strDevIniPath;
bool bolPortSetup = false;
bool bolCommFound = false;
QString strCommPort;
DeviceTable Devices;
std::int16_t intDiagWindows = 0;
std::int16_t intExpWindows = 0;

void setWorkingPaths(const QString &programFolder)
{
    // The suffixes keep their folder and file names; only the separator
    // follows the platform.
    QString folder = QDir::toNativeSeparators(programFolder);
    while (folder.size() > 1 && folder.endsWith(QDir::separator()))
        folder.chop(1);
    strDataPath = folder + QDir::toNativeSeparators(QStringLiteral("/Data"));
    strDevIniPath = folder + QDir::toNativeSeparators(QStringLiteral("/config/device.ini"));
}

} // namespace velorix
