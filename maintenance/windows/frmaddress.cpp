#include "maintenance/windows/frmaddress.h"

#include "base/ccrptimer.h"
#include "maintenance/core/addresser.h"
#include "maintenance/core/firmwareflash.h"
#include "model/globals.h"
#include "model/programfolder.h"
#include "model/prompter.h"
#include "model/runguard.h"
#include "model/windowplacement.h"
#include "protocol/errordisplay.h"
#include "protocol/multivelorix.h"
#include "protocol/resultcodes.h"
#include "experiment/windows/namedbutton.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace velorix {

namespace {

constexpr int kWidthTwips = 6264;
constexpr int kHeightTwips = 3420;
constexpr int kCloseTimerMs = 100;
constexpr int kCloseTimerSetting = 50;

} // namespace

frmaddress::frmaddress(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmaddress"));
    setWindowTitle(QStringLiteral("Device Addresser"));
    setAttribute(Qt::WA_DeleteOnClose);

    cboAddr = new QComboBox(this);
    cboAddr->setObjectName(QStringLiteral("cboAddr"));
    cboSetAddr = new QComboBox(this);
    cboSetAddr->setObjectName(QStringLiteral("cboSetAddr"));
    lstAddr = new QListWidget(this);
    lstAddr->setObjectName(QStringLiteral("lstAddr"));
    labSearchAddr = new QLabel(this);
    labSearchAddr->setObjectName(QStringLiteral("labSearchAddr"));
    labSearchAddr->hide();
    txtDisplay = new QLineEdit(this);
    txtDisplay->setObjectName(QStringLiteral("txtDisplay"));
    txtDisplay->setReadOnly(true);
    labPerCentComplete = new QLabel(this);
    labPerCentComplete->setObjectName(QStringLiteral("labPerCentComplete"));
    labPerCentComplete->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    labPerCentComplete->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("1000")));

    cmdSearch = namedButton(this, "cmdSearch", QStringLiteral("Search"));
    cmdCancelSearch = namedButton(this, "cmdCancelSearch", QStringLiteral("Cancel Search"));
    cmdCancelSearch->setEnabled(false);
    cmdReturnID = namedButton(this, "cmdReturnID", QStringLiteral("ReturnID"));
    cmdChangeAddr = namedButton(this, "cmdChangeAddr", QStringLiteral("Set Address"));
    cmdReset = namedButton(this, "cmdReset", QStringLiteral("Reset"));
    cmdBusReset = namedButton(this, "cmdBusReset", QStringLiteral("Bus Reset"));
    cmdProgram = namedButton(this, "cmdProgram", QStringLiteral("Flash Device"));
    cmdClose = namedButton(this, "cmdClose", QStringLiteral("Exit"));

    auto *layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Current Address"), this), 0, 0);
    layout->addWidget(cboAddr, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("New Address"), this), 1, 0);
    layout->addWidget(cboSetAddr, 1, 1);
    layout->addWidget(lstAddr, 2, 0, 3, 2, Qt::AlignTop);
    layout->addWidget(labSearchAddr, 5, 0, 1, 2, Qt::AlignTop);
    layout->addWidget(cmdSearch, 0, 2);
    layout->addWidget(cmdCancelSearch, 1, 2);
    layout->addWidget(cmdReturnID, 2, 2);
    layout->addWidget(cmdChangeAddr, 3, 2);
    layout->addWidget(cmdReset, 0, 3);
    layout->addWidget(cmdBusReset, 1, 3);
    layout->addWidget(cmdProgram, 2, 3);
    layout->addWidget(cmdClose, 3, 3);
    auto *percent = new QHBoxLayout;
    percent->addStretch();
    percent->addWidget(labPerCentComplete);
    percent->addWidget(new QLabel(QStringLiteral("% Complete"), this));
    layout->addLayout(percent, 4, 2, 1, 2);
    layout->addWidget(txtDisplay, 6, 0, 1, 4);
    layout->setRowStretch(5, 1); // the found list grows into it

    connect(cmdSearch, &QPushButton::clicked, this, &frmaddress::cmdSearch_Click);
    connect(cmdCancelSearch, &QPushButton::clicked, this, [this] { bolCancelSearch = true; });
    connect(cmdReturnID, &QPushButton::clicked, this, &frmaddress::cmdReturnID_Click);
    connect(cmdChangeAddr, &QPushButton::clicked, this, &frmaddress::cmdChangeAddr_Click);
    connect(cmdReset, &QPushButton::clicked, this, &frmaddress::cmdReset_Click);
    connect(cmdBusReset, &QPushButton::clicked, this, &frmaddress::cmdBusReset_Click);
    connect(cmdProgram, &QPushButton::clicked, this, &frmaddress::cmdProgram_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmaddress::cmdClose_Click);
    connect(lstAddr, &QListWidget::itemClicked, this, &frmaddress::lstAddr_Click);
    connect(cboAddr, &QComboBox::currentIndexChanged, this,
            [this](int index) { bytCurAddr = std::uint8_t(cboAddr->itemData(index).toInt()); });
    connect(cboSetAddr, &QComboBox::currentIndexChanged, this,
            [this](int index) { bytNewAddr = std::uint8_t(cboSetAddr->itemData(index).toInt()); });
}

frmaddress::~frmaddress() = default;

void frmaddress::load()
{
    resize(twipsToPixels(kWidthTwips, logicalDpiX()), twipsToPixels(kHeightTwips, logicalDpiY()));
    setListTwips(kListStartTwips);
    m_closeTimer = new ccrpTimer(this);
    m_closeTimer->setStats(kCloseTimerSetting);
    m_closeTimer->setInterval(kCloseTimerMs);
    connect(m_closeTimer, &ccrpTimer::Timer, this, &frmaddress::closeTimer_Timer);

    m_device = std::make_shared<multiVelorix>();
    PortError error;
    if (!m_device->CommPort(strCommPort, &error)) {
        showMessage(this, QStringLiteral("Communication Port Error, %1").arg(error.number));
        return;
    }
    if (mayResetDuringRun(this, std::nullopt, QStringLiteral("The bus reset of the device addresser")))
        static_cast<void>(m_device->BusRESET()); // nobody answers a bus reset
    for (int address = kFirstBusAddress; address <= kLastBusAddress; ++address) {
        cboAddr->addItem(QString::number(address), address);
        cboSetAddr->addItem(QString::number(address), address);
    }
    cboAddr->setCurrentIndex(0);
    cboSetAddr->setCurrentIndex(0);
}

void frmaddress::setListTwips(int twips)
{
    m_listTwips = twips;
    lstAddr->setFixedHeight(twipsToPixels(twips, logicalDpiY()));
}

void frmaddress::ErrorDisplay(std::int16_t code)
{
    txtDisplay->setText(ErrorDisplayText(code, ErrorDisplayWindow::Addresser));
    QApplication::beep();
}

void frmaddress::cmdSearch_Click()
{
    if (!m_device || bolSearching)
        return;
    bolCancelSearch = false;
    bolSearching = true;
    cmdSearch->setEnabled(false);
    cmdCancelSearch->setEnabled(true);
    labSearchAddr->show();
    lstAddr->clear();
    setListTwips(kListStartTwips);

    // The search waits with events running; the window stays until it ends
    // (a close is put off), and the protocol object with it.
    // If the window goes with its parent meanwhile, the search stops and
    // touches nothing of it.
    const std::shared_ptr<multiVelorix> device = m_device;
    const QPointer<frmaddress> self(this);
    SearchView view;
    view.probing = [self](std::uint8_t address) {
        if (self)
            self->labSearchAddr->setText(QStringLiteral("Searching address %1").arg(address));
    };
    view.found = [self](std::uint8_t address) {
        if (!self)
            return;
        if (self->m_listTwips < kListGrowsBelowTwips)
            self->setListTwips(self->m_listTwips + kListGrowTwips);
        self->lstAddr->addItem(foundEntry(address));
    };
    view.cancelled = [self] { return !self || self->bolCancelSearch; };
    const QList<std::uint8_t> found = searchBus(*device, view);
    if (!self)
        return;

    cmdSearch->setEnabled(true);
    cmdCancelSearch->setEnabled(false);
    labSearchAddr->clear();
    labSearchAddr->hide();
    if (found.isEmpty())
        txtDisplay->setText(QStringLiteral("NO Velorix-5's found"));
    bolSearching = false;
}

void frmaddress::lstAddr_Click()
{
    const QListWidgetItem *item = lstAddr->currentItem();
    if (!item)
        return;
    if (const std::optional<std::uint8_t> address = entryAddress(item->text()))
        cboAddr->setCurrentIndex(*address - kFirstBusAddress);
}

void frmaddress::cmdReturnID_Click()
{
    if (!m_device)
        return;
    QString identity;
    intResult = m_device->ReturnID(bytCurAddr, identity);
    if (intResult != rc::Ok) {
        ErrorDisplay(intResult);
        return;
    }
    const IdentityVerdict verdict = identityVerdict(identity, m_device->IDString());
    txtDisplay->setText(verdict.text);
    if (verdict.beep)
        QApplication::beep();
}

void frmaddress::cmdChangeAddr_Click()
{
    if (!m_device)
        return;
    bytNewAddr = std::uint8_t(cboSetAddr->currentData().toInt());
    const AddressChange change = changeAddress(*m_device, bytCurAddr, bytNewAddr);
    intResult = change.code;
    switch (change.outcome) {
    case AddressChange::Outcome::AddressInUse:
        txtDisplay->setText(addressInUseText(bytNewAddr));
        QApplication::beep();
        break;
    case AddressChange::Outcome::Failed: ErrorDisplay(intResult); break;
    case AddressChange::Outcome::Done:
        txtDisplay->setText(QStringLiteral("Address programming successful"));
        cboAddr->setCurrentIndex(cboSetAddr->currentIndex());
        break;
    }
}

void frmaddress::cmdReset_Click()
{
    if (!m_device || !mayResetDuringRun(this, bytCurAddr, QStringLiteral("Resetting the device")))
        return;
    intResult = m_device->Reset(bytCurAddr);
    if (intResult == rc::Ok)
        txtDisplay->setText(QStringLiteral("RESET successful"));
    else
        ErrorDisplay(intResult);
}

void frmaddress::cmdBusReset_Click()
{
    if (!m_device || !mayResetDuringRun(this, std::nullopt, QStringLiteral("A bus reset")))
        return;
    static_cast<void>(m_device->BusRESET()); // nobody answers a bus reset
}

QString frmaddress::GetHexFileName()
{
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Open Hex Data File");
    request.filter = QStringLiteral("Hex File (*.hex)|*.hex");
    request.initialFolder
            = m_lastHexFile.isEmpty() ? programFolder() : QFileInfo(m_lastHexFile).absolutePath();
    request.initialName = QStringLiteral("*.hex");
    request.mustExist = true;
    QString chosen = prompter().fileName(this, request);
    if (chosen.isEmpty())
        return {}; // cancelled: no message
    m_lastHexFile = chosen;
    if (!QFileInfo(chosen).isFile()) {
        MessageRequest error;
        error.title = QStringLiteral("File Error");
        // A file gone since it was chosen is named; a name that is there
        // but no file (a folder) is no selection.
        error.text
                = QFileInfo::exists(chosen) ? QStringLiteral("No File Selected") : fileNotFoundText(chosen);
        error.icon = MessageRequest::Icon::Critical;
        static_cast<void>(prompter().message(this, error));
        return {};
    }
    return chosen;
}

void frmaddress::cmdProgram_Click()
{
    if (!m_device || m_flashing)
        return;
    const QString fileName = GetHexFileName();
    if (fileName.isEmpty())
        return;
    if (!mayResetDuringRun(this, std::nullopt,
                           QStringLiteral("Flashing a device, which resets every device on the bus,")))
        return;

    m_flashing = true;
    m_stopTransfer = false;
    cmdProgram->setEnabled(false);
    cmdChangeAddr->setEnabled(false);
    const std::shared_ptr<multiVelorix> device = m_device;
    const QPointer<frmaddress> self(this);
    FlashView view;
    view.showText = [self](const QString &text) {
        if (self)
            self->txtDisplay->setText(text);
    };
    view.showPercent = [self](const QString &text) {
        if (self)
            self->labPerCentComplete->setText(text);
    };
    view.beep = [] { QApplication::beep(); };
    view.carryOn = [self] { return self && !self->m_stopTransfer; };
    view.parent = [self]() -> QWidget * { return self; };
    FlashPacing pacing;
    for (int *pause : {&pacing.afterModeSwitchMs, &pacing.afterResetMs, &pacing.afterLineMs,
                       &pacing.beforeFinalResetMs, &pacing.afterFinalResetMs})
        *pause = int(*pause * m_flashPauseScale);
    FirmwareFlash(*device, view, pacing).flash(fileName, bytCurAddr);
    if (!self)
        return;
    cmdProgram->setEnabled(true);
    cmdChangeAddr->setEnabled(true);
    m_flashing = false;
}

void frmaddress::cmdClose_Click()
{
    close();
}

void frmaddress::closeEvent(QCloseEvent *event)
{
    if (m_flashing && !m_stopTransfer) {
        MessageRequest question;
        question.title = QStringLiteral("Firmware Transfer");
        question.text = QStringLiteral("A firmware transfer is in progress. Stop it and close?\n"
                                       "The device keeps an incomplete firmware until it is flashed again.");
        question.buttons = MessageRequest::Buttons::YesNo;
        question.icon = MessageRequest::Icon::Exclamation;
        question.defaultNo = true;
        if (prompter().message(this, question) != MessageAnswer::Yes) {
            event->ignore();
            return;
        }
        m_stopTransfer = true;
    }
    if (bolSearching || m_flashing) {
        // Closed by the close timer once the search or transfer has ended.
        bolCancelSearch = true;
        m_closing = true;
        if (m_closeTimer)
            m_closeTimer->setEnabled(true);
        event->ignore();
        return;
    }
    if (m_closeTimer)
        m_closeTimer->setEnabled(false);
    m_device.reset();
    event->accept();
}

void frmaddress::closeTimer_Timer()
{
    if (bolSearching || m_flashing)
        return;
    m_closeTimer->setEnabled(false);
    close();
}

} // namespace velorix
