#include "maintenance/core/addresser.h"

#include "protocol/multivelorix.h"
#include "protocol/resultcodes.h"

#include <QCoreApplication>

namespace velorix {

QString foundEntry(std::uint8_t address)
{
    return QStringLiteral(" %1, %2h").arg(address).arg(QString::number(address, 16).toUpper());
}

std::optional<std::uint8_t> entryAddress(const QString &entry)
{
    const qsizetype comma = entry.indexOf(QLatin1Char(','));
    if (comma < 0)
        return std::nullopt;
    bool ok = false;
    const int address = entry.left(comma).trimmed().toInt(&ok);
    if (!ok || address < kFirstBusAddress || address > kLastBusAddress)
        return std::nullopt;
    return static_cast<std::uint8_t>(address);
}

IdentityVerdict identityVerdict(const QString &identity, const QString &expected)
{
    const QString product = identity.left(4);
    const QString version = identity.mid(4, 2) + QLatin1Char('.') + identity.mid(6, 2);
    const QString details = product + QStringLiteral(", Version ") + version;
    if (!identity.contains(expected.left(4)))
        return {QStringLiteral("Device not a Velorix-5, Product #") + details, false};
    bool numeric = false;
    const int firmware = identity.mid(4, 4).toInt(&numeric);
    const int oldest = expected.mid(4, 4).toInt();
    if (numeric && firmware < oldest)
        return {QStringLiteral("Velorix-5 version incompatable, Product #") + details, true};
    return {QStringLiteral("Velorix-5 Detected, Product #") + details, false};
}

QList<std::uint8_t> searchBus(multiVelorix &device, const SearchView &view)
{
    const QString product = device.IDString().left(4);
    QList<std::uint8_t> found;
    for (int address = kFirstBusAddress; address <= kLastBusAddress; ++address) {
        if (view.cancelled && view.cancelled())
            break;
        const auto a = static_cast<std::uint8_t>(address);
        if (view.probing)
            view.probing(a);
        QString identity;
        if (device.ReturnID(a, identity) == rc::Ok && identity.contains(product)) {
            found << a;
            if (view.found)
                view.found(a);
        }
        QCoreApplication::processEvents();
    }
    return found;
}

AddressChange changeAddress(multiVelorix &device, std::uint8_t from, std::uint8_t to)
{
    // Any answer at the new address, even a garbled one, is a device there;
    // only silence means the address is free. A link that could not ask
    // says nothing either way.
    QString identity;
    const std::int16_t there = device.ReturnID(to, identity);
    if (there == rc::Busy || there == rc::SerialError)
        return {AddressChange::Outcome::Failed, there};
    if (there != rc::NoReply)
        return {AddressChange::Outcome::AddressInUse, there};
    if (const std::int16_t result = device.ProgramAddr(from, to); result != rc::Ok)
        return {AddressChange::Outcome::Failed, result};
    if (const std::int16_t result = device.ReturnID(to, identity); result != rc::Ok)
        return {AddressChange::Outcome::Failed, result};
    return {AddressChange::Outcome::Done, rc::Ok};
}

QString addressInUseText(std::uint8_t address)
{
    return QStringLiteral("Address %1 is in use: a device already answers there. "
                          "Two devices on one address could not be told apart.")
            .arg(address);
}

} // namespace velorix
