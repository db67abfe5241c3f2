#include "discovery/windows/frmcomsetup.h"

#include "base/delay.h"
#include "model/globals.h"
#include "model/prompter.h"
#include "discovery/windows/childplacement.h"
#include "protocol/resultcodes.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace velorix {

namespace {

constexpr int kFirstAddress = 128;
constexpr int kLastAddress = 239;

const QString kTitle = QStringLiteral("Communication Setup");

void keepPlaceWhenHidden(QWidget *widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

} // namespace

frmcomsetup::frmcomsetup(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmcomsetup"));
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_DeleteOnClose);

    lblport = new QLabel(this);
    lblport->setObjectName(QStringLiteral("lblport"));
    lblport->setWordWrap(true);
    lblport->setAlignment(Qt::AlignCenter);
    lblport->setFrameShape(QFrame::Panel);
    lblport->setFrameShadow(QFrame::Sunken);
    // Two lines' room: long port paths wrap instead of widening the window.
    lblport->setMinimumHeight(lblport->fontMetrics().lineSpacing() * 2 + 8);

    cmdSearch = new QPushButton(QStringLiteral("Scan Ports"), this);
    cmdSearch->setObjectName(QStringLiteral("cmdSearch"));

    optcom = new QRadioButton(QStringLiteral("Manually Select Address"), this);
    optcom->setObjectName(QStringLiteral("optcom"));
    optcom->setVisible(false);
    keepPlaceWhenHidden(optcom);
    // On its own a radio button unchecks on a second click; in an exclusive
    // group it stays selected, as an option button does.
    auto *options = new QButtonGroup(this);
    options->addButton(optcom, 1);

    cbdevscan = new QComboBox(this);
    cbdevscan->setObjectName(QStringLiteral("cbdevscan"));
    cbdevscan->setVisible(false);
    keepPlaceWhenHidden(cbdevscan);

    auto *layout = new QGridLayout(this);
    layout->addWidget(lblport, 0, 0, 1, 2);
    layout->addWidget(optcom, 1, 0);
    layout->addWidget(cbdevscan, 1, 1);
    layout->addWidget(cmdSearch, 2, 1);
    layout->setColumnStretch(0, 1);
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Searching /dev/ttyUSB10 For DEVID 239")) + 40);

    connect(cmdSearch, &QPushButton::clicked, this, &frmcomsetup::cmdSearch_Click);
    connect(optcom, &QRadioButton::clicked, this, &frmcomsetup::optcom_Click);
}

frmcomsetup::~frmcomsetup()
{
    // Also when the window goes with its parent and never saw a close: the
    // start-up must not wait for it forever.
    unload();
}

bool frmcomsetup::stillOpen(const QPointer<frmcomsetup> &window)
{
    return window && !window->m_unloaded;
}

void frmcomsetup::load()
{
    if (m_loaded || m_unloaded)
        return;
    m_loaded = true;
    bolCommFound = false;
    cbdevscan->clear();
    showWithFrame(this);

    for (int address = kFirstAddress; address <= kLastAddress; ++address)
        cbdevscan->addItem(QString::number(address));
    cbdevscan->setCurrentIndex(cbdevscan->count() - 1);
    m_bytDevID = kFirstAddress;

    if (!bolPortSetup)
        return;
    QPointer<frmcomsetup> self(this);
    // No input while the devices of the table are searched: a second search
    // must not start from this window meanwhile.
    setEnabled(false);
    for (int record = 0; record < kSearchedRecords; ++record) {
        const DeviceInfo &device = Devices[record];
        if (device.intDevType < 1) {
            lblport->setText(QStringLiteral("Manually Configure Port!"));
            continue;
        }
        m_bytDevID = device.bytBusAddr;
        EstablishComm();
        if (!stillOpen(self))
            return;
        if (!bolPortSetup)
            break;
        lblport->setText(QStringLiteral("No Device Found!"));
        showManualControls();
    }
    setEnabled(true);
}

void frmcomsetup::showManualControls()
{
    cbdevscan->setVisible(true);
    optcom->setVisible(true);
}

void frmcomsetup::EstablishComm()
{
    if (m_searching || m_unloaded)
        return;
    m_searching = true;
    // The address is the one asked for when the search started, even when
    // the user picks another one meanwhile.
    const std::uint8_t address = m_bytDevID;
    const QString addressText = QString::number(address);

    // A fresh protocol object for every search; the window's reference goes
    // when the window closes, this one when the search has unwound.
    m_device = std::make_shared<multiVelorix>();
    const std::shared_ptr<multiVelorix> device = m_device;
    QPointer<frmcomsetup> self(this);

    QStringList ports;
    std::int16_t count = 0;
    device->CommPorts(ports, count);
    bolCommFound = false;

    for (int port = 0; port < count; ++port) {
        const QString &name = ports.at(port);
        device->CommPort(name);
        lblport->setText(QStringLiteral("Searching ") + name + QStringLiteral(" For DEVID ") + addressText);
        Delay(m_portPauseMs);
        if (!stillOpen(self))
            return;
        QString identity;
        const std::int16_t result = device->ReturnID(address, identity);
        if (!stillOpen(self))
            return;
        if (result == rc::Ok) {
            // Any device that answers at the address will do, whatever its product.
            lblport->setText(QStringLiteral("Device ") + addressText + QStringLiteral(" found on ") + name);
            strCommPort = name;
            bolCommFound = true;
            setWindowTitle(kTitle + QStringLiteral(" on ") + name);
            bolPortSetup = false;
            m_searching = false;
            return;
        }
        lblport->setText(QStringLiteral("No Device Found!"));
    }

    m_searching = false;
    if (!bolPortSetup) {
        prompter().message(this, MessageRequest{QStringLiteral("Devices not Found.\r\nManually Setup Communication Ports."),
                                                QStringLiteral("Communication Port Setup"),
                                                MessageRequest::Buttons::Ok,
                                                MessageRequest::Icon::Exclamation});
        if (!stillOpen(self))
            return;
        lblport->clear();
    }
}

void frmcomsetup::checkID()
{
    if (!optcom->isChecked())
        return;
    bool ok = false;
    const int address = cbdevscan->currentText().toInt(&ok);
    if (ok && address >= kFirstAddress && address <= kLastAddress)
        m_bytDevID = static_cast<std::uint8_t>(address);
}

void frmcomsetup::cmdSearch_Click()
{
    if (m_searching) {
        // One search at a time: the running one keeps the port.
        QApplication::beep();
        return;
    }
    checkID();
    EstablishComm();
}

void frmcomsetup::optcom_Click()
{
    checkID();
}

void frmcomsetup::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    bolPortSetup = false;
    m_device.reset();
}

void frmcomsetup::closeEvent(QCloseEvent *event)
{
    unload();
    QWidget::closeEvent(event);
}

void frmcomsetup::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        centreOverMainWindow(this);
    }
}

} // namespace velorix
