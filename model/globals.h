#pragma once

// The state every window shares for the whole run of the program. There is
// one of each; windows read and write them directly.

#include "model/deviceinfo.h"

#include <QString>

#include <array>
#include <cstdint>

namespace velorix {

// Records 0..63 are the ones the scan, the windows and the configuration
// writer use; 64..78 exist for configuration files that name them.
constexpr int kDeviceRecords = 79;
constexpr int kUsableDevices = 64;

using DeviceTable = std::array<DeviceInfo, kDeviceRecords>;

extern QString strDataPath;   // <program folder>/Data
extern QString strDevIniPath; // <program folder>/config/device.ini
extern bool bolPortSetup;     // the port set-up window is still working
extern bool bolCommFound;     // the port search found a device
extern QString strCommPort;   // the port in use, as the port list names it
extern DeviceTable Devices;
extern std::int16_t intDiagWindows;
extern std::int16_t intExpWindows;

// Sets strDataPath and strDevIniPath below the given program folder.
void setWorkingPaths(const QString &programFolder);

} // namespace velorix
