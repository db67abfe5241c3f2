#include "discovery/windows/frmdevicescan.h"

#include "model/deviceconfig.h"
#include "model/globals.h"
#include "model/prompter.h"
#include "model/runguard.h"
#include "model/windowplacement.h"
#include "discovery/windows/childplacement.h"
#include "discovery/windows/devicegrid.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace velorix {

namespace {

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
    cmddevice_setup
            = makeButton(QStringLiteral("cmddevice_setup"), QStringLiteral("Scan Configured Devices"), this);
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

    // The bus reset would stop every running experiment: only with the
    // operator's Yes. Without it the probes still run.
    m_scan->setResetCheck([this] {
        return mayResetDuringRun(this, std::nullopt, QStringLiteral("The bus reset of the device scan"));
    });
    // The window context: once the window is gone the scan reports nowhere.
    BusScan *scan = m_scan.get();
    connect(scan, &BusScan::started, this, &frmdevicescan::disableButtons);
    connect(scan, &BusScan::statusChanged, lblsetup_status, &QLabel::setText);
    connect(scan, &BusScan::progressRange, this, &frmdevicescan::showRange);
    connect(scan, &BusScan::progress, prgbardevice_scan, &QProgressBar::setValue);
    connect(scan, &BusScan::checksCleared, devgrid, &DeviceGrid::clearStatuses);
    connect(scan, &BusScan::deviceChecked, this, &frmdevicescan::showCheck);
    connect(scan, &BusScan::listCleared, this, &frmdevicescan::inidevgrid);
    connect(scan, &BusScan::deviceFound, this, &frmdevicescan::showFound);
    connect(scan, &BusScan::finished, this, &frmdevicescan::scanFinished);

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
    prgbardevice_scan->setRange(BusScan::kFirstAddress, BusScan::kLastAddress);
    prgbardevice_scan->setValue(BusScan::kFirstAddress);
    devgrid->setCurrentCell(-1, -1);
    lblsetup_status->setText(QStringLiteral("Press Scan Devices to Start"));
}

void frmdevicescan::showRange(int minimum, int maximum)
{
    // A bar from 0 to 0 would only spin: without a maximum it keeps its own.
    if (maximum > minimum)
        prgbardevice_scan->setRange(minimum, maximum);
    else
        prgbardevice_scan->setMinimum(minimum);
}

void frmdevicescan::showCheck(int number, BusScan::Check check)
{
    int row = devgrid->rowOf(number);
    if (row < 0) {
        // Put into the table after the list was made (by the addresser,
        // say): its result still gets a row.
        row = devgrid->appendDeviceRow(number);
    }
    switch (check) {
    case BusScan::Check::NoResponse: devgrid->setStatus(row, DeviceGrid::Status::NoResp); break;
    case BusScan::Check::Identified:
        devgrid->showRecord(row, Devices[number]);
        devgrid->setStatus(row, DeviceGrid::Status::Ok);
        break;
    case BusScan::Check::WrongProduct: devgrid->setStatus(row, DeviceGrid::Status::Error); break;
    }
}

void frmdevicescan::showFound(int number)
{
    const int row = devgrid->appendDeviceRow(number);
    devgrid->setCurrentCell(row, 0);
    devgrid->showRecord(row, Devices[number]);
    devgrid->setStatus(row, DeviceGrid::Status::Ok);
}

void frmdevicescan::scanFinished()
{
    prgbardevice_scan->setValue(prgbardevice_scan->minimum());
    enableButtons();
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
    const QPointer<frmdevicescan> self(this);
    const bool leave = mayLeave();
    if (!self || m_unloaded || !leave)
        return;
    m_leaveSettled = true;
    close();
}

void frmdevicescan::closeWithoutAsking()
{
    m_leaveSettled = true;
    close();
}

bool frmdevicescan::mayLeave()
{
    const QPointer<frmdevicescan> self(this);
    const MessageAnswer answer = prompter().message(
            this,
            MessageRequest{QStringLiteral("Update Device Configuration"), QStringLiteral("Configuration"),
                           MessageRequest::Buttons::YesNo, MessageRequest::Icon::Question});
    if (!self || m_unloaded || answer != MessageAnswer::Yes)
        return true;
    QString error;
    if (storedeviceconfig(&error))
        return true;
    // The table stays in memory; the window stays open so that the user can
    // try again once the cause is dealt with.
    const QString text = error.isEmpty() ? QStringLiteral("Device configuration could not be saved.") : error;
    prompter().message(this,
                       MessageRequest{text, QStringLiteral("Configuration"), MessageRequest::Buttons::Ok,
                                      MessageRequest::Icon::Critical});
    return false;
}

void frmdevicescan::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_scan->stop();
}

void frmdevicescan::closeEvent(QCloseEvent *event)
{
    if (!m_leaveSettled && !m_unloaded) {
        // Closed some other way than "Exit": the same question, so that a
        // scan's results are not dropped without a word. A running scan
        // ends first; the table keeps what it has found so far.
        if (isScanning()) {
            m_scan->stop();
            cmdquit->setEnabled(true);
        }
        const QPointer<frmdevicescan> self(this);
        const bool leave = mayLeave();
        if (!self)
            return;
        if (!leave) {
            event->ignore();
            return;
        }
        m_leaveSettled = true;
    }
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
