#include "maintenance/windows/frmvelorixtest.h"

#include "experiment/core/setupvalues.h"
#include "experiment/windows/sensordisplay.h"
#include "maintenance/core/addresser.h"
#include "maintenance/core/diagnostics.h"
#include "model/globals.h"
#include "model/prompter.h"
#include "model/runguard.h"
#include "experiment/windows/namedbutton.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace velorix {

namespace {

QLineEdit *box(QWidget *parent, const QString &name, const QString &text = {})
{
    auto *created = new QLineEdit(text, parent);
    created->setObjectName(name);
    created->setMaximumWidth(created->fontMetrics().horizontalAdvance(QStringLiteral("000000.0")) + 12);
    return created;
}

QRadioButton *option(QWidget *parent, const QString &name, const QString &caption, QButtonGroup *group)
{
    auto *created = new QRadioButton(caption, parent);
    created->setObjectName(name);
    group->addButton(created);
    return created;
}

} // namespace

frmvelorixtest::frmvelorixtest(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmvelorixtest"));
    setWindowTitle(QStringLiteral("Velorix-5 Diagnostics"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buildCommands());
    layout->addLayout(buildChannels());
    layout->addWidget(buildSetup());
    connectCommands();
    connectSetup();
}

QLayout *frmvelorixtest::buildCommands()
{
    cboAddr = new QComboBox(this);
    cboAddr->setObjectName(QStringLiteral("cboAddr"));
    txtDisplay = new QLineEdit(this);
    txtDisplay->setObjectName(QStringLiteral("txtDisplay"));
    txtDisplay->setReadOnly(true);

    auto *cmdReturnID = namedButton(this, QStringLiteral("cmdReturnID"), QStringLiteral("ReturnID"));
    auto *cmdReset = namedButton(this, QStringLiteral("cmdReset"), QStringLiteral("Reset"));
    auto *cmdBusReset = namedButton(this, QStringLiteral("cmdBusReset"), QStringLiteral("Bus Reset"));
    auto *cmdRead = namedButton(this, QStringLiteral("cmdRead"), QStringLiteral("Read Sensors"));
    auto *cmdstart_diag = namedButton(this, QStringLiteral("cmdstart_diag"), QStringLiteral("Start Diag"));
    auto *cmdstop_diag = namedButton(this, QStringLiteral("cmdstop_diag"), QStringLiteral("Stop Diag"));
    auto *cmdup = namedButton(this, QStringLiteral("cmdup"), QStringLiteral("^"));
    auto *cmddown = namedButton(this, QStringLiteral("cmddown"), QStringLiteral("v"));
    txtspeed = box(this, QStringLiteral("txtspeed"), QStringLiteral("00.0"));
    txtspeed->setReadOnly(true);
    lblunits = new QLabel(QStringLiteral("RPM"), this);
    lblunits->setObjectName(QStringLiteral("lblunits"));

    auto *top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("Address"), this), 0, 0);
    top->addWidget(cboAddr, 0, 1);
    top->addWidget(txtDisplay, 0, 2, 1, 5);
    top->addWidget(cmdReturnID, 1, 0);
    top->addWidget(cmdReset, 1, 1);
    top->addWidget(cmdBusReset, 1, 2);
    top->addWidget(cmdRead, 1, 3);
    top->addWidget(cmdstart_diag, 1, 4);
    top->addWidget(cmdstop_diag, 1, 5);
    auto *speed = new QHBoxLayout;
    speed->addWidget(cmdup);
    speed->addWidget(cmddown);
    speed->addWidget(txtspeed);
    speed->addWidget(lblunits);
    speed->addStretch();
    top->addLayout(speed, 2, 0, 1, 6);
    return top;
}

QLayout *frmvelorixtest::buildChannels()
{
    auto *channels = new QGridLayout;
    const QString sensorLabels[] = {QStringLiteral("Ch 1 Sensor"), QStringLiteral("Ch2 Sensor"),
                                    QStringLiteral("Ch3 Sensor"), QStringLiteral("Ch4 Sensor")};
    for (int c = 0; c < 4; ++c) {
        const QString n = QString::number(c + 1);
        channels->addWidget(new QLabel(sensorLabels[c], this), 0, c);
        txtsensor[c] = new SensorDisplay(this);
        txtsensor[c]->setObjectName(QStringLiteral("txtsensor%1").arg(c));
        channels->addWidget(txtsensor[c], 1, c);
        cmdchenable[c] = namedButton(this, QStringLiteral("cmdch%1enable").arg(n), QStringLiteral("Start"));
        channels->addWidget(cmdchenable[c], 2, c);
        txtch_speed[c] = box(this, QStringLiteral("txtch_speed%1").arg(c));
        txtch_speed[c]->setReadOnly(true);
        channels->addWidget(txtch_speed[c], 3, c);
        txtrun_time[c] = box(this, QStringLiteral("txtrun_time%1").arg(c), QStringLiteral("Idle"));
        txtrun_time[c]->setReadOnly(true);
        channels->addWidget(txtrun_time[c], 4, c);
        connect(cmdchenable[c], &QPushButton::clicked, this, [this, c] {
            if (m_session)
                m_session->startChannel(c);
        });
    }
    return channels;
}

QWidget *frmvelorixtest::buildSetup()
{
    auto *setup = new QGroupBox(this);
    auto *setupGrid = new QGridLayout(setup);
    txts_speed = box(setup, QStringLiteral("txts_speed"));
    txte_speed = box(setup, QStringLiteral("txte_speed"));
    txtacc_time = box(setup, QStringLiteral("txtacc_time"));
    txtacc_step = box(setup, QStringLiteral("txtacc_step"));
    const std::pair<QString, QLineEdit *> boxes[] = {{QStringLiteral("Start Speed"), txts_speed},
                                                     {QStringLiteral("Stop Speed"), txte_speed},
                                                     {QStringLiteral("Acc Int"), txtacc_time},
                                                     {QStringLiteral("Acc Step"), txtacc_step}};
    for (int row = 0; row < 4; ++row) {
        setupGrid->addWidget(new QLabel(boxes[row].first, setup), row, 0);
        setupGrid->addWidget(boxes[row].second, row, 1);
    }
    auto *units = new QButtonGroup(this);
    optrpmspeed[0] = option(setup, QStringLiteral("optrpmspeed0"), QStringLiteral("Speed in RPM"), units);
    optrpmspeed[1] = option(setup, QStringLiteral("optrpmspeed1"), QStringLiteral("Speed in cm/s"), units);
    auto *wheels = new QButtonGroup(this);
    optwheel[0] = option(setup, QStringLiteral("optwheel0"), QStringLiteral("Rat Wheel"), wheels);
    optwheel[1] = option(setup, QStringLiteral("optwheel1"), QStringLiteral("Mouse Wheel"), wheels);
    optrpmspeed[0]->setChecked(true);
    optwheel[1]->setChecked(true);
    optdir = new QCheckBox(QStringLiteral("Rotate CCW"), setup);
    optdir->setObjectName(QStringLiteral("optdir"));
    setupGrid->addWidget(optrpmspeed[0], 0, 2);
    setupGrid->addWidget(optrpmspeed[1], 1, 2);
    setupGrid->addWidget(optwheel[0], 2, 2);
    setupGrid->addWidget(optwheel[1], 3, 2);
    setupGrid->addWidget(optdir, 4, 2);
    auto *cmdupload = namedButton(setup, QStringLiteral("cmdupload"), QStringLiteral("Upload"));
    auto *cmddownload = namedButton(setup, QStringLiteral("cmddownload"), QStringLiteral("Download"));
    auto *cmdSave = namedButton(setup, QStringLiteral("cmdSave"), QStringLiteral("Save Setup"));
    auto *cmdstartexp = namedButton(setup, QStringLiteral("cmdstartexp"), QStringLiteral("Start Experiment"));
    auto *cmdstop_exp = namedButton(setup, QStringLiteral("cmdstop_exp"), QStringLiteral("Stop Experiment"));
    QPushButton *setupButtons[] = {cmdupload, cmddownload, cmdSave, cmdstartexp, cmdstop_exp};
    for (int row = 0; row < 5; ++row)
        setupGrid->addWidget(setupButtons[row], row, 3);
    return setup;
}

void frmvelorixtest::onClick(const char *name, const std::function<void()> &action)
{
    connect(findChild<QPushButton *>(QLatin1String(name)), &QPushButton::clicked, this, action);
}

void frmvelorixtest::onClick(const char *name, void (DiagnosticsSession::*action)())
{
    onClick(name, [this, action] {
        if (m_session)
            (m_session->*action)();
    });
}

void frmvelorixtest::connectCommands()
{
    connect(cboAddr, &QComboBox::activated, this, &frmvelorixtest::cboAddr_Click);
    onClick("cmdReturnID", [this] {
        if (!m_session)
            return;
        m_session->identify();
        showOptions();
    });
    onClick("cmdReset", [this] {
        if (m_session && mayReset(false, QStringLiteral("Resetting the device")))
            m_session->reset();
    });
    onClick("cmdBusReset", [this] {
        if (m_session && mayReset(true, QStringLiteral("A bus reset")))
            m_session->busReset();
    });
    onClick("cmdRead", &DiagnosticsSession::readSensors);
    onClick("cmdstart_diag", [this] {
        if (m_session && mayReset(false, QStringLiteral("Starting the diagnostic mode")))
            m_session->startDiag();
    });
    onClick("cmdstop_diag", &DiagnosticsSession::stopDiag);
    onClick("cmdup", &DiagnosticsSession::speedUp);
    onClick("cmddown", &DiagnosticsSession::speedDown);
}

void frmvelorixtest::connectSetup()
{
    onClick("cmdupload", [this] {
        if (!m_session)
            return;
        m_session->upload();
        iniexp_values();
    });
    onClick("cmddownload", [this] {
        if (m_session && mayReset(false, QStringLiteral("Downloading a set-up")) && pack_exp_values())
            m_session->download();
    });
    onClick("cmdSave", [this] {
        if (!m_session || !mayReset(false, QStringLiteral("Saving the set-up, which resets the device,")))
            return;
        m_session->packOptions(optrpmspeed[0]->isChecked(), optwheel[1]->isChecked(), optdir->isChecked());
        m_session->saveSetup();
    });
    onClick("cmdstartexp", [this] {
        if (m_session && mayReset(false, QStringLiteral("Starting an experiment here")) && pack_exp_values())
            m_session->startExperiment();
    });
    onClick("cmdstop_exp", &DiagnosticsSession::stopExperiment);
}

frmvelorixtest::~frmvelorixtest()
{
    unload();
}

void frmvelorixtest::load()
{
    load(DiagnosticsPacing{});
}

void frmvelorixtest::load(const DiagnosticsPacing &pacing)
{
    ++intDiagWindows;
    bytWinNo = intDiagWindows;
    m_session = new DiagnosticsSession(pacing, this);
    connect(m_session, &DiagnosticsSession::changed, this, &frmvelorixtest::showSession);
    connect(m_session, &DiagnosticsSession::beep, this, [] { QApplication::beep(); });

    PortError error;
    if (!m_session->openPort(strCommPort, &error)) {
        showMessage(this, QStringLiteral("Communication Port Error, %1").arg(error.number));
        return;
    }
    for (int address = kFirstBusAddress; address <= kLastBusAddress; ++address)
        cboAddr->addItem(QString::number(address), address);
    // The n-th window starts on the n-th address; past the last there is
    // none to preselect, and the operator picks one.
    const int entry = bytWinNo - 1;
    if (entry >= cboAddr->count())
        return;
    cboAddr->setCurrentIndex(entry);
    cboAddr_Click(entry);
    m_session->identify();
    showOptions();
}

void frmvelorixtest::cboAddr_Click(int index)
{
    if (!m_session || index < 0)
        return;
    const auto address = std::uint8_t(cboAddr->itemData(index).toInt());
    m_session->setAddress(address);
    iniexp_values();
    setWindowTitle(QStringLiteral("Diagnostics for Device %1 at address %2").arg(address - 127).arg(address));
}

bool frmvelorixtest::mayReset(bool wholeBus, const QString &action)
{
    return mayResetDuringRun(
            this, wholeBus ? std::nullopt : std::optional<std::uint8_t>(m_session->address()), action);
}

void frmvelorixtest::showSession()
{
    if (!m_session)
        return;
    const DiagnosticsView &view = m_session->view();
    txtDisplay->setText(view.txtDisplay);
    txtspeed->setText(view.txtspeed);
    for (int c = 0; c < 4; ++c) {
        txtsensor[c]->setSensorText(view.sensor[c]);
        txtch_speed[c]->setText(view.chSpeed[c]);
        cmdchenable[c]->setText(view.channelCaption[c]);
        cmdchenable[c]->setEnabled(view.channelEnabled[c]);
    }
}

void frmvelorixtest::showOptions()
{
    if (!m_session)
        return;
    const DeviceInfo &record = m_session->record();
    const bool rpm = record.bytExpOptions & kOptionRpm;
    optrpmspeed[rpm ? 0 : 1]->setChecked(true);
    lblunits->setText(unitsText(record.bytExpOptions));
    optwheel[(record.bytExpOptions & kOptionMouseWheel) ? 1 : 0]->setChecked(true);
    optdir->setChecked(record.bytDirection != 0);
}

void frmvelorixtest::iniexp_values()
{
    const DiagnosticsSetup shown = m_session->shownSetup();
    txts_speed->setText(shown.startSpeed);
    txte_speed->setText(shown.endSpeed);
    txtacc_time->setText(shown.accInterval);
    txtacc_step->setText(shown.accStep);
}

bool frmvelorixtest::pack_exp_values()
{
    const QString problem = m_session->packSetup({txts_speed->text(), txte_speed->text(), txtacc_time->text(),
                                                  txtacc_step->text(), optdir->isChecked()});
    if (problem.isEmpty()) {
        // The boxes show what goes to the device ("7.5 rpm" as 7.5).
        iniexp_values();
        return true;
    }
    MessageRequest request;
    request.title = QStringLiteral("Set-up");
    request.text = problem;
    request.icon = MessageRequest::Icon::Exclamation;
    static_cast<void>(prompter().message(this, request));
    return false;
}

void frmvelorixtest::closeEvent(QCloseEvent *event)
{
    unload();
    event->accept();
}

void frmvelorixtest::unload()
{
    if (m_unloaded || bytWinNo == 0)
        return;
    m_unloaded = true;
    --intDiagWindows;
    if (m_session) {
        // The session leaves its tick at the next wait; it goes once the
        // stack has unwound. The device is not reset.
        m_session->setParent(nullptr);
        m_session->unload();
        if (m_session)
            m_session->deleteLater();
    }
}

} // namespace velorix
