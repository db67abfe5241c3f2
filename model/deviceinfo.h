#pragma once

// One record of the device table: the device's identity (from the
// configuration file and the scan) and the state of its experiment.

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>

namespace velorix {

constexpr int kChannels = 4;

// Device type code of a Velorix-5; a record with a type of 0 or less is free.
constexpr std::int16_t kDevTypeVelorix5 = 8;

struct DeviceInfo
{
    QString strRawFile;      // working copy of the current data file
    QString strDataFile;     // the current comma-separated data file
    QString strTemplateFile; // channel-label template file last used

    std::uint8_t bytBusAddr = 0; // "Device ID" in the configuration file
    float sngProdID = 0.0f;
    QString strDevName;
    std::int16_t intDevType = 0;
    float sngVersion = 0.0f;
    QString strLabel;
    QString strUnits;
    bool bolPresent = false;

    // Experiment set-up, each in tenths.
    std::int16_t intStartSpeed = 0;
    std::int16_t intEndSpeed = 0;
    std::int16_t intAccInterval = 0;
    std::int16_t intAccStep = 0;
    std::int16_t intRotDelay = 0;

    std::array<float, kChannels> sngRunTime{};
    std::array<QDateTime, kChannels> dtChanStart{};
    std::uint8_t bytPrevChanBits = 0; // bit 0 = channel 1
    std::uint8_t bytChanBits = 0;
    std::array<float, kChannels> sngChanSpeed{};
    std::array<float, kChannels> sngRotTime{};
    std::array<float, kChannels> sngRotSpeed{};
    std::array<bool, kChannels> bolChanArmed{};
    float sngSpeed = 0.0f;
    float sngElapsed = 0.0f;
    std::array<QString, kChannels> strSubID{};
    std::array<bool, kChannels> bolResultReady{};
    std::uint8_t bytExpOptions = 0; // bit 0 = RPM (else cm/s), bit 4 = mouse wheel
    std::int16_t intDuration = 0;   // whole seconds; 0 or less: no limit
    QDateTime dtExpStart;
    std::uint8_t bytDirection = 0; // 1 = counter-clockwise
    std::uint8_t bytRotBits = 0;
    std::array<float, kChannels> sngTotalTime{};

    [[nodiscard]] bool inUse() const { return intDevType > 0; }
};

} // namespace velorix
