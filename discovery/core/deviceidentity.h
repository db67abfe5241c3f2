#pragma once

// What a device's identity text means, how a found device is written into
// its record of the device table, and how the grid shows a record.
//
// The identity text is the eight characters of ReturnID: the product number
// in four decimal digits ("0254" for a Velorix-5), then the firmware version
// times 100 in four digits ("0205" for 2.05).

#include "model/deviceinfo.h"

#include <QString>

#include <cstdint>

namespace velorix {

inline const QString kVelorix5Product = QStringLiteral("0254");
inline const QString kVelorix5Name = QStringLiteral("Velorix-5");

struct DeviceIdentity
{
    QString product;        // the first four characters as sent
    float sngProdID = 0.0f; // their numeric value
    float sngVersion = 0.0f;

    [[nodiscard]] bool isVelorix5() const { return product == kVelorix5Product; }
};

[[nodiscard]] DeviceIdentity decodeIdentity(const QString &text);

// Writes a Velorix-5 found at `address` into its record. Only the identity
// fields change; label, units and the experiment fields stay.
void fillRecord(DeviceInfo &record, std::uint8_t address, const DeviceIdentity &identity);

// The fields a scan writes, so that an abandoned scan can put them back.
struct RecordIdentity
{
    std::uint8_t bytBusAddr = 0;
    float sngProdID = 0.0f;
    QString strDevName;
    std::int16_t intDevType = 0;
    float sngVersion = 0.0f;
    bool bolPresent = false;
};

[[nodiscard]] RecordIdentity identityOf(const DeviceInfo &record);
void restoreIdentity(DeviceInfo &record, const RecordIdentity &identity);

// Grid cell texts: "200 (0xC8)", "254", "2.05".
[[nodiscard]] QString addressText(std::uint8_t address);
[[nodiscard]] QString prodIdText(float prodId);
[[nodiscard]] QString versionText(float version);

} // namespace velorix
