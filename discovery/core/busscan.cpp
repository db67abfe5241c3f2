#include "discovery/core/busscan.h"

#include "base/delay.h"
#include "discovery/core/deviceidentity.h"
#include "model/globals.h"
#include "protocol/multidevmod.h"
#include "protocol/resultcodes.h"

#include <QTimer>

#include <array>

namespace velorix {

namespace {

const QString kComplete = QStringLiteral("Scanning Complete.");

QString scanningText(std::uint8_t address)
{
    return QStringLiteral("Scanning Device Address#") + QString::number(address);
}

// The table holds devices 1..63; more Velorix-5 devices on the bus than
// that are reported, not dropped silently.
QString completeText(int notTaken)
{
    if (notTaken <= 0)
        return kComplete;
    return kComplete
            + QStringLiteral(" %1 %2 not taken: the table holds %3.")
                      .arg(notTaken)
                      .arg(notTaken == 1 ? QStringLiteral("device") : QStringLiteral("devices"))
                      .arg(BusScan::kLastScannedDevice);
}

} // namespace

std::shared_ptr<BusScan> BusScan::create()
{
    return std::shared_ptr<BusScan>(new BusScan);
}

BusScan::~BusScan() = default;

void BusScan::start(Kind kind)
{
    if (!m_waitingForLink)
        startWhenLinkFree(kind);
}

void BusScan::stop()
{
    m_stopped = true;
    m_device.reset();
}

void BusScan::startWhenLinkFree(Kind kind)
{
    if (m_running || m_stopped)
        return;
    // Busy means an exchange further down this very call stack waits for
    // its reply; it can only finish once this call has returned. Others
    // already waiting for the link go first.
    if (objComm && !objComm->turns().isFree()) {
        waitForLink(kind);
        return;
    }
    m_waitingForLink = false;
    if (kind == Kind::Configured)
        configuredScan();
    else
        newDeviceScan();
}

void BusScan::waitForLink(Kind kind)
{
    if (!m_waitingForLink) {
        m_waitingForLink = true;
        emit started();
        emit statusChanged(QStringLiteral("Waiting for the serial link..."));
    }
    // The scan starts in its turn, when the exchanges before it have ended;
    // a scan that has gone meanwhile drops out of the line.
    objComm->turns().awaitTurn(this, [this, kind] { startWhenLinkFree(kind); });
}

std::shared_ptr<multiVelorix> BusScan::beginScan()
{
    m_running = true;
    emit started();
    m_device = std::make_shared<multiVelorix>();
    // This copy keeps the object, and with it the shared link, alive until
    // the scan has unwound, even when the scan is stopped meanwhile.
    std::shared_ptr<multiVelorix> device = m_device;
    device->CommPort(strCommPort); // a port that does not open makes every probe fail
    const bool reset = !m_mayReset || m_mayReset();
    if (m_stopped)
        return nullptr;
    if (reset) {
        (void)device->BusRESET(); // a failed reset shows in the probes that follow
        Delay(m_pacing.afterResetMs);
        if (m_stopped)
            return nullptr;
    }
    return device;
}

void BusScan::endScan(const QString &status)
{
    emit statusChanged(status);
    m_device.reset();
    m_running = false;
    emit finished();
}

std::int16_t BusScan::askIdentity(const std::shared_ptr<multiVelorix> &device, std::uint8_t address,
                                  QString &identity)
{
    return probeIdentity([&device](std::uint8_t a, QString &id) { return device->ReturnID(a, id); }, address,
                         identity, m_pacing.busy, [this] { return !m_stopped; });
}

void BusScan::configuredScan()
{
    const std::shared_ptr<BusScan> keep = shared_from_this();
    const std::shared_ptr<multiVelorix> device = beginScan();
    if (!device)
        return;

    // The bar ends at the highest device number in use.
    int highest = 0;
    for (int number = 1; number <= kLastScannedDevice; ++number) {
        if (Devices[number].intDevType >= 1)
            highest = number;
    }
    emit progressRange(0, highest);
    emit progress(0);
    emit checksCleared();

    for (int number = 1; number <= kLastScannedDevice; ++number) {
        if (Devices[number].intDevType < 1)
            continue;
        const std::uint8_t address = Devices[number].bytBusAddr;
        QString identity;
        const std::int16_t result = askIdentity(device, address, identity);
        if (m_stopped)
            return;
        emit statusChanged(scanningText(address));

        const DeviceIdentity decoded = decodeIdentity(identity);
        const bool velorix = Devices[number].intDevType == kDevTypeVelorix5;
        if (result != rc::Ok) {
            emit deviceChecked(number, Check::NoResponse);
        } else if (velorix && decoded.isVelorix5()) {
            fillRecord(Devices[number], address, decoded);
            emit deviceChecked(number, Check::Identified);
        } else if (velorix) {
            emit deviceChecked(number, Check::WrongProduct);
        }

        Delay(m_pacing.perProbeMs);
        if (m_stopped)
            return;
        emit progress(number);
    }
    endScan(kComplete);
}

void BusScan::newDeviceScan()
{
    const std::shared_ptr<BusScan> keep = shared_from_this();
    const std::shared_ptr<multiVelorix> device = beginScan();
    if (!device)
        return;

    emit progressRange(kFirstAddress, kLastAddress);
    emit progress(kFirstAddress);

    std::array<RecordIdentity, kUsableDevices> before;
    for (int number = 0; number < kUsableDevices; ++number) {
        before[number] = identityOf(Devices[number]);
        Devices[number].intDevType = -1;
    }
    // Stopped before the scan came to its end: the table goes back to what
    // it was, a half-scanned bus would lose the devices not yet probed.
    const auto abandon = [&before] {
        for (int number = 0; number < kUsableDevices; ++number)
            restoreIdentity(Devices[number], before[number]);
    };
    emit listCleared();

    int next = 1;
    int notTaken = 0;
    for (int address = kFirstAddress; address <= kLastAddress; ++address) {
        const auto busAddress = static_cast<std::uint8_t>(address);
        QString identity;
        const std::int16_t result = askIdentity(device, busAddress, identity);
        if (m_stopped) {
            abandon();
            return;
        }
        emit statusChanged(scanningText(busAddress));
        const DeviceIdentity decoded = decodeIdentity(identity);
        if (result == rc::Ok && decoded.isVelorix5()) {
            if (next <= kLastScannedDevice) {
                fillRecord(Devices[next], busAddress, decoded);
                emit deviceFound(next);
                ++next;
            } else {
                ++notTaken;
            }
        }

        Delay(m_pacing.perProbeMs);
        if (m_stopped) {
            abandon();
            return;
        }
        emit progress(address);
    }
    endScan(completeText(notTaken));
}

} // namespace velorix
