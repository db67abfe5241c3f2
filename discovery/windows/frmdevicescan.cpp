#include "discovery/windows/frmdevicescan.h"

#include "base/delay.h"
#include "model/deviceconfig.h"
#include "model/globals.h"
#include "model/prompter.h"
#include "model/runguard.h"
#include "model/windowplacement.h"
#include "discovery/windows/childplacement.h"
#include "discovery/windows/devicegrid.h"
#include "discovery/core/deviceidentity.h"
#include "protocol/resultcodes.h"
#include "protocol/multidevmod.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

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
    return kComplete + QStringLiteral(" %1 %2 not taken: the table holds %3.")
                           .arg(notTaken)
                           .arg(notTaken == 1 ? QStringLiteral("device") : QStringLiteral("devices"))
                           .arg(frmdevicescan::kLastScannedDevice);
}

QPushButton *makeButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

} // namespace

frmdevicescan::frmdevicescan(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmdevicescan"));
    setWindowTitle(QStringLiteral("Communication Scan"));
    setAttribute(Qt::WA_DeleteOnClose);

    lblcomport = new QLabel(this);
    lblcomport->setObjectName(QStringLiteral("lblcomport"));
    devgrid = new DeviceGrid(this);
    lblsetup_status = new QLabel(this);
    lblsetup_status->setObjectName(QStringLiteral("lblsetup_status"));
    lblsetup_status->setWordWrap(true);
    prgbardevice_scan = new QProgressBar(this);
    prgbardevice_scan->setObjectName(QStringLiteral("prgbardevice_scan"));
    prgbardevice_scan->setTextVisible(false);
    cmddevice_setup = makeButton(QStringLiteral("cmddevice_setup"), QStringLiteral("Scan Configured Devices"), this);
    cmdscannew = makeButton(QStringLiteral("cmdscannew"), QStringLiteral("Scan for New Devices"), this);
    cmdquit = makeButton(QStringLiteral("cmdquit"), QStringLiteral("Exit"), this);

    // The grid shows every column and about ten rows without scrolling sideways.
    int gridWidth = 2 * devgrid->frameWidth() + devgrid->verticalScrollBar()->sizeHint().width();
    for (int column = 0; column < DeviceGrid::ColumnCount; ++column)
        gridWidth += devgrid->columnWidth(column);
    devgrid->setMinimumWidth(gridWidth);
    devgrid->setMinimumHeight(devgrid->horizontalHeader()->sizeHint().height()
                              + 10 * devgrid->verticalHeader()->defaultSectionSize()
                              + 2 * devgrid->frameWidth());

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmddevice_setup);
    buttons->addWidget(cmdscannew);
    buttons->addStretch();
    buttons->addWidget(cmdquit);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblcomport);
    layout->addWidget(devgrid, 1);
    layout->addWidget(lblsetup_status);
    layout->addWidget(prgbardevice_scan);
    layout->addLayout(buttons);

    connect(cmddevice_setup, &QPushButton::clicked, this, &frmdevicescan::devicescan);
    connect(cmdscannew, &QPushButton::clicked, this, &frmdevicescan::devicescan1);
    connect(cmdquit, &QPushButton::clicked, this, &frmdevicescan::cmdquit_Click);
    connect(devgrid, &QTableWidget::cellDoubleClicked, this, &frmdevicescan::addresserRequested);

    // The window load.
    lblcomport->setText(strCommPort.isEmpty() ? QStringLiteral("Not Connected")
                                              : QStringLiteral("Connected through ") + strCommPort);
    inidevgrid();
    inidevicescan();
    enableButtons();
}

frmdevicescan::~frmdevicescan()
{
    unload();
}

bool frmdevicescan::stillOpen(const QPointer<frmdevicescan> &window)
{
    return window && !window->m_unloaded;
}

void frmdevicescan::inidevgrid()
{
    devgrid->layOut();
}

void frmdevicescan::inidevicescan()
{
    devgrid->layOut();
    for (int number = 1; number <= kLastListedDevice; ++number) {
        const DeviceInfo &record = Devices[number];
        if (record.intDevType <= 0)
            continue;
        const int row = devgrid->appendDeviceRow(number);
        // A record of another device type is listed as an empty row.
        if (record.intDevType == kDevTypeVelorix5)
            devgrid->showRecord(row, record);
    }
    prgbardevice_scan->setRange(kFirstAddress, kLastAddress);
    prgbardevice_scan->setValue(kFirstAddress);
    devgrid->setCurrentCell(-1, -1);
    lblsetup_status->setText(QStringLiteral("Press Scan Devices to Start"));
}

void frmdevicescan::devicescan()
{
    if (!m_waitingForLink)
        startScan(Scan::Configured);
}

void frmdevicescan::devicescan1()
{
    if (!m_waitingForLink)
        startScan(Scan::NewDevices);
}

void frmdevicescan::startScan(Scan scan)
{
    if (m_scanning || m_unloaded)
        return;
    // Busy means an exchange further down this very call stack waits for
    // its reply; it can only finish once this handler has returned.
    if (objComm && objComm->CommBusy()) {
        waitForLink(scan);
        return;
    }
    m_waitingForLink = false;
    if (scan == Scan::Configured)
        configuredScan();
    else
        newDeviceScan();
}

void frmdevicescan::waitForLink(Scan scan)
{
    if (!m_waitingForLink) {
        m_waitingForLink = true;
        disableButtons();
        lblsetup_status->setText(QStringLiteral("Waiting for the serial link..."));
    }
    QTimer::singleShot(m_pacing.busy.pauseMs, this, [this, scan] { startScan(scan); });
}

std::shared_ptr<multiVelorix> frmdevicescan::beginScan()
{
    m_scanning = true;
    disableButtons();
    m_device = std::make_shared<multiVelorix>();
    // This copy keeps the object, and with it the shared link, alive until
    // the scan has unwound, even when the window closes meanwhile.
    std::shared_ptr<multiVelorix> device = m_device;
    QPointer<frmdevicescan> self(this);
    device->CommPort(strCommPort); // a port that does not open makes every probe fail
    // The bus reset would stop every running experiment: only with the
    // operator's Yes. Without it the probes still run.
    const bool reset = mayResetDuringRun(this, std::nullopt, QStringLiteral("The bus reset of the device scan"));
    if (!stillOpen(self))
        return nullptr;
    if (reset) {
        (void)device->BusRESET(); // a failed reset shows in the probes that follow
        Delay(m_pacing.afterResetMs);
        if (!stillOpen(self))
            return nullptr;
    }
    return device;
}

void frmdevicescan::endScan(const QString &status)
{
    lblsetup_status->setText(status);
    prgbardevice_scan->setValue(prgbardevice_scan->minimum());
    m_device.reset();
    m_scanning = false;
    enableButtons();
}

std::int16_t frmdevicescan::askIdentity(const std::shared_ptr<multiVelorix> &device,
                                        std::uint8_t address, QString &identity)
{
    // The window may close during the waits: nothing of it is touched after.
    const QPointer<frmdevicescan> self(this);
    const BusyRetry busy = m_pacing.busy;
    return probeIdentity(
        [&device](std::uint8_t a, QString &id) { return device->ReturnID(a, id); }, address,
        identity, busy, [&self] { return stillOpen(self); });
}

void frmdevicescan::configuredScan()
{
    QPointer<frmdevicescan> self(this);
    const std::shared_ptr<multiVelorix> device = beginScan();
    if (!device)
        return;

    prgbardevice_scan->setMinimum(0);
    prgbardevice_scan->setValue(0);
    // The bar ends at the highest device number in use; a table without
    // one keeps the maximum it had (a bar from 0 to 0 would only spin).
    for (int number = 1; number <= kLastScannedDevice; ++number) {
        if (Devices[number].intDevType >= 1)
            prgbardevice_scan->setMaximum(number);
    }
    devgrid->clearStatuses();

    for (int number = 1; number <= kLastScannedDevice; ++number) {
        if (Devices[number].intDevType < 1)
            continue;
        const std::uint8_t address = Devices[number].bytBusAddr;
        QString identity;
        const std::int16_t result = askIdentity(device, address, identity);
        if (!stillOpen(self))
            return;
        lblsetup_status->setText(scanningText(address));

        int row = devgrid->rowOf(number);
        const DeviceIdentity decoded = decodeIdentity(identity);
        const bool velorix = Devices[number].intDevType == kDevTypeVelorix5;
        if (row < 0 && (result != rc::Ok || velorix)) {
            // Put into the table after the list was made (by the addresser,
            // say): its result still gets a row.
            row = devgrid->appendDeviceRow(number);
        }
        if (result != rc::Ok) {
            devgrid->setStatus(row, DeviceGrid::Status::NoResp);
        } else if (velorix && decoded.isVelorix5()) {
            fillRecord(Devices[number], address, decoded);
            devgrid->showRecord(row, Devices[number]);
            devgrid->setStatus(row, DeviceGrid::Status::Ok);
        } else if (velorix) {
            devgrid->setStatus(row, DeviceGrid::Status::Error);
        }

        Delay(m_pacing.perProbeMs);
        if (!stillOpen(self))
            return;
        prgbardevice_scan->setValue(number);
    }
    endScan(kComplete);
}

void frmdevicescan::newDeviceScan()
{
    QPointer<frmdevicescan> self(this);
    const std::shared_ptr<multiVelorix> device = beginScan();
    if (!device)
        return;

    prgbardevice_scan->setRange(kFirstAddress, kLastAddress);
    prgbardevice_scan->setValue(kFirstAddress);

    std::array<RecordIdentity, kUsableDevices> before;
    for (int number = 0; number < kUsableDevices; ++number) {
        before[number] = identityOf(Devices[number]);
        Devices[number].intDevType = -1;
    }
    // Closed before the scan came to its end: the table goes back to what
    // it was, a half-scanned bus would lose the devices not yet probed.
    const auto abandon = [&before] {
        for (int number = 0; number < kUsableDevices; ++number)
            restoreIdentity(Devices[number], before[number]);
    };
    inidevgrid();

    int next = 1;
    int notTaken = 0;
    for (int address = kFirstAddress; address <= kLastAddress; ++address) {
        const auto busAddress = static_cast<std::uint8_t>(address);
        QString identity;
        const std::int16_t result = askIdentity(device, busAddress, identity);
        if (!stillOpen(self)) {
            abandon();
            return;
        }
        lblsetup_status->setText(scanningText(busAddress));
        const DeviceIdentity decoded = decodeIdentity(identity);
        if (result == rc::Ok && decoded.isVelorix5()) {
            if (next <= kLastScannedDevice) {
                fillRecord(Devices[next], busAddress, decoded);
                const int row = devgrid->appendDeviceRow(next);
                devgrid->setCurrentCell(row, 0);
                devgrid->showRecord(row, Devices[next]);
                devgrid->setStatus(row, DeviceGrid::Status::Ok);
                ++next;
            } else {
                ++notTaken;
            }
        }

        Delay(m_pacing.perProbeMs);
        if (!stillOpen(self)) {
            abandon();
            return;
        }
        prgbardevice_scan->setValue(address);
    }
    endScan(completeText(notTaken));
}

void frmdevicescan::enableButtons()
{
    cmddevice_setup->setEnabled(bolCommFound);
    cmdscannew->setEnabled(bolCommFound);
    cmdquit->setEnabled(true);
}

void frmdevicescan::disableButtons()
{
    cmddevice_setup->setEnabled(false);
    cmdscannew->setEnabled(false);
    cmdquit->setEnabled(false);
}

void frmdevicescan::cmdquit_Click()
{
    if (isScanning())
        return;
    QPointer<frmdevicescan> self(this);
    const MessageAnswer answer = prompter().message(
        this, MessageRequest{QStringLiteral("Update Device Configuration"), QStringLiteral("Configuration"),
                             MessageRequest::Buttons::YesNo, MessageRequest::Icon::Question});
    if (!stillOpen(self))
        return;
    if (answer == MessageAnswer::Yes) {
        QString error;
        if (!storedeviceconfig(&error)) {
            // The table stays in memory; the window stays open so that the
            // user can try again once the cause is dealt with.
            const QString text = error.isEmpty()
                                     ? QStringLiteral("Device configuration could not be saved.")
                                     : error;
            prompter().message(this, MessageRequest{text, QStringLiteral("Configuration"),
                                                    MessageRequest::Buttons::Ok,
                                                    MessageRequest::Icon::Critical});
            return;
        }
    }
    close();
}

void frmdevicescan::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_device.reset();
}

void frmdevicescan::closeEvent(QCloseEvent *event)
{
    unload();
    QWidget::closeEvent(event);
}

void frmdevicescan::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        centreOverMainWindow(this);
    }
}

} // namespace velorix
