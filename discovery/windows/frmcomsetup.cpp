#include "discovery/windows/frmcomsetup.h"

#include "model/globals.h"
#include "model/prompter.h"
#include "discovery/windows/childplacement.h"

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

    // Empty and hidden until the system refuses a port: then it says why
    // and how to mend it, beside the search's own texts.
    lblpermission = new QLabel(this);
    lblpermission->setObjectName(QStringLiteral("lblpermission"));
    lblpermission->setWordWrap(true);
    lblpermission->setVisible(false);

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
    layout->addWidget(lblpermission, 3, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Searching /dev/ttyUSB10 For DEVID 239"))
                    + 40);

    connect(cmdSearch, &QPushButton::clicked, this, &frmcomsetup::cmdSearch_Click);
    connect(optcom, &QRadioButton::clicked, this, &frmcomsetup::optcom_Click);

    // The window context: once the window is gone the search reports nowhere.
    connect(m_search.get(), &PortSearch::statusChanged, lblport, &QLabel::setText);
    connect(m_search.get(), &PortSearch::found, this,
            [this](const QString &port) { setWindowTitle(kTitle + QStringLiteral(" on ") + port); });
    connect(m_search.get(), &PortSearch::deviceMissed, this, &frmcomsetup::showManualControls);
    connect(m_search.get(), &PortSearch::nothingFound, this, &frmcomsetup::reportNothingFound);
    connect(m_search.get(), &PortSearch::portRefused, lblpermission, [this](const QString &text) {
        lblpermission->setText(text);
        if (lblpermission->isVisible())
            return;
        lblpermission->setVisible(true);
        // The frame was sized without this text: make room for it.
        QWidget *frame = placedFrame(this);
        frame->resize(frame->size().expandedTo(frame->sizeHint()));
    });
}

frmcomsetup::~frmcomsetup()
{
    // Also when the window goes with its parent and never saw a close: the
    // start-up must not wait for it forever.
    unload();
}

void frmcomsetup::load()
{
    if (m_loaded || m_unloaded)
        return;
    m_loaded = true;
    bolCommFound = false;
    cbdevscan->clear();
    showWithFrame(this);

    for (int address = PortSearch::kFirstAddress; address <= PortSearch::kLastAddress; ++address)
        cbdevscan->addItem(QString::number(address));
    cbdevscan->setCurrentIndex(cbdevscan->count() - 1);
    m_search->setAddress(PortSearch::kFirstAddress);

    if (!bolPortSetup)
        return;
    // No input while the devices of the table are searched: a second search
    // must not start from this window meanwhile.
    setEnabled(false);
    if (m_search->searchTable() == PortSearch::Outcome::Stopped)
        return; // closed meanwhile, perhaps gone
    setEnabled(true);
}

void frmcomsetup::showManualControls()
{
    cbdevscan->setVisible(true);
    optcom->setVisible(true);
}

void frmcomsetup::reportNothingFound()
{
    prompter().message(
            this,
            MessageRequest{QStringLiteral("Devices not Found.\r\nManually Setup Communication Ports."),
                           QStringLiteral("Communication Port Setup"), MessageRequest::Buttons::Ok,
                           MessageRequest::Icon::Exclamation});
}

void frmcomsetup::EstablishComm()
{
    if (!m_unloaded)
        (void)m_search->search();
}

void frmcomsetup::checkID()
{
    if (!optcom->isChecked())
        return;
    bool ok = false;
    const int address = cbdevscan->currentText().toInt(&ok);
    if (ok && address >= PortSearch::kFirstAddress && address <= PortSearch::kLastAddress)
        m_search->setAddress(static_cast<std::uint8_t>(address));
}

void frmcomsetup::cmdSearch_Click()
{
    if (m_search->isRunning()) {
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
    m_search->stop();
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
