#include "discovery/core/deviceidentity.h"

#include "base/leadingnumber.h"

namespace velorix {

DeviceIdentity decodeIdentity(const QString &text)
{
    DeviceIdentity identity;
    identity.product = text.left(4);
    identity.sngProdID = static_cast<float>(leadingNumber(identity.product));
    identity.sngVersion = static_cast<float>(leadingNumber(text.right(4)) / 100.0);
    return identity;
}

void fillRecord(DeviceInfo &record, std::uint8_t address, const DeviceIdentity &identity)
{
    record.strDevName = kVelorix5Name;
    record.bolPresent = true;
    record.bytBusAddr = address;
    record.sngVersion = identity.sngVersion;
    record.intDevType = kDevTypeVelorix5;
    record.sngProdID = identity.sngProdID;
}

RecordIdentity identityOf(const DeviceInfo &record)
{
    return RecordIdentity{record.bytBusAddr, record.sngProdID,  record.strDevName,
                          record.intDevType, record.sngVersion, record.bolPresent};
}

void restoreIdentity(DeviceInfo &record, const RecordIdentity &identity)
{
    record.bytBusAddr = identity.bytBusAddr;
    record.sngProdID = identity.sngProdID;
    record.strDevName = identity.strDevName;
    record.intDevType = identity.intDevType;
    record.sngVersion = identity.sngVersion;
    record.bolPresent = identity.bolPresent;
}

QString addressText(std::uint8_t address)
{
    return QStringLiteral("%1 (0x%2)").arg(address).arg(QString::number(address, 16).toUpper());
}

QString prodIdText(float prodId)
{
    return QString::number(static_cast<double>(prodId));
}

QString versionText(float version)
{
    // Always a decimal point, as in the configuration file.
    return QString::number(static_cast<double>(version), 'f', 2);
}

} // namespace velorix
