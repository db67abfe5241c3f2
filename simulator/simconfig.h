#pragma once

// Everything a simulated bus starts with.

#include "simulator/faults.h"
#include "simulator/scenario.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace velorix::sim {

struct DeviceSpec
{
    quint8 address = 128;
    int firmwareVersion = 220; // hundredths: 2.20
};

// Four devices at 128 to 131, firmware 2.20.
[[nodiscard]] std::vector<DeviceSpec> defaultDevices();

struct SimConfig
{
    std::vector<DeviceSpec> devices = defaultDevices();
    Scenario scenario;      // empty: every subject stays on until stopped
    double timeScale = 1.0; // device seconds per real second
    bool wireTiming = true;
    double latencyMs = 2.0;
    FaultRates faultRates;
    quint32 faultSeed = 1;
    std::optional<int> newFirmwareVersion; // empty: a transfer keeps the version
    bool frameLog = false;
    QString linkPath; // a symlink to the pseudo-terminal; empty: none
};

// "2.20" or "2.2" gives 220; empty for anything that is not a version from
// 0.00 to 99.99.
[[nodiscard]] std::optional<int> parseFirmwareVersion(const QString &text);
[[nodiscard]] QString formatFirmwareVersion(int hundredths);

} // namespace velorix::sim
