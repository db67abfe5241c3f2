#include "discovery/core/portsearch.h"

#include "base/delay.h"
#include "link/portlist.h"
#include "model/globals.h"
#include "protocol/resultcodes.h"

#include <QStringList>

namespace velorix {

std::shared_ptr<PortSearch> PortSearch::create()
{
    return std::shared_ptr<PortSearch>(new PortSearch);
}

PortSearch::~PortSearch() = default;

void PortSearch::stop()
{
    m_stopped = true;
    m_device.reset();
}

PortSearch::Outcome PortSearch::search()
{
    if (m_running || m_stopped)
        return Outcome::NotFound;
    m_running = true;
    // Whoever started the search may let go of it meanwhile.
    const std::shared_ptr<PortSearch> keep = shared_from_this();
    // The address is the one asked for when the search started, even when
    // the user picks another one meanwhile.
    const std::uint8_t address = m_address;
    const QString addressText = QString::number(address);

    // A fresh protocol object for every search; this reference keeps it
    // (and the port) until the search has unwound, also after stop().
    m_device = std::make_shared<multiVelorix>();
    const std::shared_ptr<multiVelorix> device = m_device;

    QStringList ports;
    std::int16_t count = 0;
    device->CommPorts(ports, count);
    bolCommFound = false;

    for (int port = 0; port < count; ++port) {
        const QString &name = ports.at(port);
        PortError refused;
        if (!device->CommPort(name, &refused) && isPermissionDenied(refused.number))
            emit portRefused(permissionDeniedText(name));
        emit statusChanged(QStringLiteral("Searching ") + name + QStringLiteral(" For DEVID ") + addressText);
        Delay(m_portPauseMs);
        if (m_stopped)
            return Outcome::Stopped;
        QString identity;
        const std::int16_t result = device->ReturnID(address, identity);
        if (m_stopped)
            return Outcome::Stopped;
        if (result == rc::Ok) {
            emit statusChanged(QStringLiteral("Device ") + addressText + QStringLiteral(" found on ") + name);
            strCommPort = name;
            bolCommFound = true;
            emit found(name);
            bolPortSetup = false;
            m_running = false;
            return Outcome::Found;
        }
        emit statusChanged(QStringLiteral("No Device Found!"));
    }

    m_running = false;
    if (!bolPortSetup) {
        emit nothingFound();
        if (m_stopped)
            return Outcome::Stopped;
        emit statusChanged(QString());
    }
    return Outcome::NotFound;
}

PortSearch::Outcome PortSearch::searchTable()
{
    const std::shared_ptr<PortSearch> keep = shared_from_this();
    for (int record = 0; record < kSearchedRecords && !m_stopped; ++record) {
        const DeviceInfo &device = Devices[record];
        if (device.intDevType < 1) {
            emit statusChanged(QStringLiteral("Manually Configure Port!"));
            continue;
        }
        m_address = device.bytBusAddr;
        const Outcome outcome = search();
        if (outcome == Outcome::Stopped || m_stopped)
            return Outcome::Stopped;
        if (!bolPortSetup)
            return outcome;
        emit statusChanged(QStringLiteral("No Device Found!"));
        emit deviceMissed();
    }
    return m_stopped ? Outcome::Stopped : Outcome::NotFound;
}

} // namespace velorix
