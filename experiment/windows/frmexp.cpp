#include "experiment/windows/frmexp.h"

#include "model/fieldtext.h"
#include "model/globals.h"
#include "model/prompter.h"
#include "model/settingsstore.h"
#include "experiment/core/accelcalc.h"
#include "experiment/windows/calcframe.h"
#include "experiment/windows/channelarea.h"
#include "experiment/core/datafilechoice.h"
#include "experiment/core/devicebinding.h"
#include "experiment/windows/expsetupframe.h"
#include "experiment/core/templatechoice.h"
#include "experiment/windows/labelframes.h"
#include "experiment/windows/resultsgrid.h"
#include "experiment/windows/speedplot.h"
#include "experiment/windows/namedbutton.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace velorix {

namespace {

using Icon = MessageRequest::Icon;
using Buttons = MessageRequest::Buttons;

MessageAnswer ask(QWidget *parent, const QString &text, const QString &title, Buttons buttons = Buttons::Ok,
                  Icon icon = Icon::Exclamation)
{
    return prompter().message(parent, MessageRequest{text, title, buttons, icon});
}

// Why no window can open, for the device table as it is.
MessageRequest noFreeDeviceMessage()
{
    bool anyInUse = false;
    for (int number = 0; number < kUsableDevices; ++number)
        anyInUse = anyInUse || Devices[number].inUse();
    const QString text = anyInUse
            ? QStringLiteral("Every device in the device table already has an experiment window open.")
            : QStringLiteral("There is no device in the device table to run an experiment on.");
    return MessageRequest{text, QStringLiteral("Experiment"), Buttons::Ok, Icon::Exclamation};
}

// Whether the speed plot is shown: the operator's last choice, for every
// experiment window.
const QString kPlotKey = QStringLiteral("Settings/ExperimentSpeedPlot");

bool plotWanted()
{
    return programSettings().value(kPlotKey, true).toBool();
}

// The rest between trials, in seconds: the operator's last choice.
const QString kRestKey = QStringLiteral("Settings/ExperimentRestSeconds");
constexpr int kLongestRest = 3600;

int restWanted()
{
    bool ok = false;
    const int seconds = programSettings().value(kRestKey, 0).toInt(&ok);
    return ok ? std::clamp(seconds, 0, kLongestRest) : 0;
}

} // namespace

std::set<int> frmexp::heldDevices(const frmexp *except)
{
    std::set<int> held;
    const auto widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets) {
        const auto *window = qobject_cast<frmexp *>(widget);
        if (window && window != except && window->m_binding == Binding::Bound)
            held.insert(window->bytDevIndex);
    }
    return held;
}

QList<frmexp *> frmexp::openWindows()
{
    QList<frmexp *> windows;
    const auto widgets = QApplication::allWidgets();
    for (QWidget *widget : widgets) {
        auto *window = qobject_cast<frmexp *>(widget);
        if (window && window->m_binding == Binding::Bound)
            windows << window;
    }
    std::sort(windows.begin(), windows.end(),
              [](const frmexp *a, const frmexp *b) { return a->bytDevIndex < b->bytDevIndex; });
    return windows;
}

void frmexp::bringForward()
{
    for (QWidget *up = parentWidget(); up; up = up->parentWidget()) {
        if (auto *frame = qobject_cast<QMdiSubWindow *>(up)) {
            if (frame->isMinimized())
                frame->showNormal();
            if (QMdiArea *area = frame->mdiArea())
                area->setActiveSubWindow(frame);
            return;
        }
    }
    window()->raise();
    window()->activateWindow();
}

frmexp *frmexp::create(QWidget *parent)
{
    if (!chooseExperimentDevice(Devices, intExpWindows + 1, heldDevices())) {
        prompter().message(parent, noFreeDeviceMessage());
        return nullptr;
    }
    return new frmexp(parent);
}

frmexp::frmexp(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmexp"));
    buildWindow();

    // 1: the device.
    const std::optional<int> device = chooseExperimentDevice(Devices, intExpWindows + 1, heldDevices(this));
    if (!device) {
        setWindowTitle(QStringLiteral("Experiment"));
        setEnabled(false);
        return;
    }
    m_binding = Binding::Bound;
    ++intExpWindows;
    bytDevIndex = *device;
    bytDevAddr = Devices[bytDevIndex].bytBusAddr;

    // 2
    iniexpdatagrid();

    // 3 to 5, 8, 9: the timer, the protocol object, the port, the reset and
    // the upload request.
    m_controller = new ExpController(bytDevIndex, this);
    m_controller->setRestSeconds(txtrest->value());
    connectController();
    PortError error;
    const bool loaded = m_controller->load(&error);

    // 6, 7
    setWindowTitle(QStringLiteral("Experiment for Device %1 at address %2").arg(bytDevIndex).arg(bytDevAddr));
    setStatusPanel(0, QStringLiteral("Experiment Setup"));
    frmexpsetup->setEnabled(true);
    refresh();
    if (!loaded) {
        QPointer<frmexp> self(this);
        ask(this, QStringLiteral("Communication Port Error, %1").arg(error.number),
            QStringLiteral("Experiment"), Buttons::Ok, Icon::Critical);
        if (!self)
            return;
    }
}

frmexp::~frmexp()
{
    if (m_binding == Binding::Bound) {
        m_binding = Binding::Unloaded;
        --intExpWindows;
        if (m_controller)
            m_controller->unload(false);
    }
    // The window went while an exchange waited below us on the stack (the
    // controller's own tick, or another window's): the controller must
    // outlive this window then; it finishes and releases itself.
    if (m_controller && (m_controller->inTick() || m_controller->finishesLater()))
        m_controller->setParent(nullptr);
}

void frmexp::buildWindow()
{
    frmexpsetup = new ExpSetupFrame(this);
    m_channels = new ChannelArea(this);
    expdatagrid = new ResultsGrid(this);

    cmdstartexp = namedButton(this, "cmdstartexp", QStringLiteral("Start Experiment"));
    cmdstop_exp = namedButton(this, "cmdstop_exp", QStringLiteral("Stop Experiment"));
    cmdrestart = namedButton(this, "cmdrestart", QStringLiteral("ReStart Exp"));
    cmdStartall = namedButton(this, "cmdStartall", QStringLiteral("Master Start"));
    cmdload = namedButton(this, "cmdload", QStringLiteral("Load Exp Template"));
    cmdch_template = namedButton(this, "cmdch_template", QStringLiteral("Load Ch Template"));
    cmdCalc_Accel = namedButton(this, "cmdCalc_Accel", QStringLiteral("Calc Linear_Acc"));
    cmdquit = namedButton(this, "cmdquit", QStringLiteral("Quit"));
    cmdstop_exp->setEnabled(false);
    cmdrestart->setEnabled(false);
    cmdStartall->setEnabled(false);

    chkaccum_time = new QCheckBox(QStringLiteral("Accumlate Subject ID run times."), this);
    chkaccum_time->setObjectName(QStringLiteral("chkaccum_time"));
    chkspeedplot = new QCheckBox(QStringLiteral("Speed Plot"), this);
    chkspeedplot->setObjectName(QStringLiteral("chkspeedplot"));
    lblrest = new QLabel(QStringLiteral("Rest"), this);
    txtrest = new QSpinBox(this);
    txtrest->setObjectName(QStringLiteral("txtrest"));
    txtrest->setRange(0, kLongestRest);
    txtrest->setSingleStep(15);
    txtrest->setSuffix(QStringLiteral(" s"));
    txtrest->setSpecialValueText(QStringLiteral("none"));
    txtrest->setToolTip(QStringLiteral("The rest after each trial, counted down in the status bar"));
    txtrest->setValue(restWanted());
    lblrest->setBuddy(txtrest);

    m_plot = new SpeedPlot(SpeedPlot::Kind::Run, this);
    m_plot->setTrace(&m_trace);

    frmstatus = new QGroupBox(this);
    frmstatus->setObjectName(QStringLiteral("frmstatus"));
    lblstatus = new QLabel(frmstatus);
    lblstatus->setObjectName(QStringLiteral("lblstatus"));
    prbstatus = new QProgressBar(frmstatus);
    prbstatus->setObjectName(QStringLiteral("prbstatus"));
    prbstatus->setRange(0, ExpController::kSetupSteps);
    prbstatus->setTextVisible(false);
    auto *statusLayout = new QHBoxLayout(frmstatus);
    statusLayout->setContentsMargins(6, 2, 6, 2);
    statusLayout->addWidget(lblstatus);
    statusLayout->addWidget(prbstatus, 1);
    frmstatus->hide();
    // Keeps its place in the layout while hidden, so the window does not
    // jump each time a transfer starts or ends.
    QSizePolicy keep = frmstatus->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    frmstatus->setSizePolicy(keep);

    sbexpbar = new QStatusBar(this);
    sbexpbar->setObjectName(QStringLiteral("sbexpbar"));
    sbexpbar->setSizeGripEnabled(false);
    for (int i = 0; i < int(m_panels.size()); ++i) {
        m_panels[i] = new QLabel(sbexpbar);
        m_panels[i]->setObjectName(QStringLiteral("sbexpbar.panel%1").arg(i + 1));
        m_panels[i]->setFrameShape(QFrame::Panel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
    }
    m_panels[1]->setMinimumWidth(
            m_panels[1]->fontMetrics().horizontalAdvance(QStringLiteral("READ successful")) + 16);
    m_panels[2]->setMinimumWidth(
            m_panels[2]->fontMetrics().horizontalAdvance(QStringLiteral("Trial 10 done, next in 10:00"))
            + 16);
    sbexpbar->addWidget(m_panels[0], 1);
    sbexpbar->addWidget(m_panels[1]);
    sbexpbar->addWidget(m_panels[2]);

    auto *top = new QHBoxLayout;
    top->addWidget(frmexpsetup);
    top->addWidget(m_channels, 1);

    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {cmdstartexp, cmdstop_exp, cmdrestart, cmdStartall})
        buttons->addWidget(b);
    buttons->addSpacing(10);
    for (QPushButton *b : {cmdload, cmdch_template, cmdCalc_Accel})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(cmdquit);

    // The grid and the plot share the row; neither can be pushed out of it.
    m_resultsSplit = new QSplitter(Qt::Horizontal, this);
    m_resultsSplit->addWidget(expdatagrid);
    m_resultsSplit->addWidget(m_plot);
    m_resultsSplit->setChildrenCollapsible(false);
    m_resultsSplit->setStretchFactor(0, 0);
    m_resultsSplit->setStretchFactor(1, 1);
    // The grid as wide as its columns, the plot the rest.
    m_resultsSplit->setSizes({expdatagrid->minimumWidth(), 100 * expdatagrid->minimumWidth()});

    auto *middle = new QHBoxLayout;
    middle->addLayout(buttons);
    middle->addWidget(m_resultsSplit, 1);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(chkaccum_time);
    bottom->addSpacing(12);
    bottom->addWidget(chkspeedplot);
    bottom->addSpacing(12);
    bottom->addWidget(lblrest);
    bottom->addWidget(txtrest);
    bottom->addSpacing(12);
    bottom->addWidget(frmstatus, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->setSpacing(6);
    layout->addLayout(top);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);
    layout->addWidget(sbexpbar);
    // A frame smaller than this scrolls: squeezed further, captions would be
    // cut and unit labels painted over the values.
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    const bool plotShown = plotWanted();
    chkspeedplot->setChecked(plotShown);
    m_plot->setVisible(plotShown);
    connect(chkspeedplot, &QCheckBox::toggled, this, &frmexp::showPlot);

    frmch_id = new LabelFrame(this);
    frmchan_sel = new ChannelSelectFrame(this);
    frmchanupdate = new SubjectIdFrame(this);
    frmcalcacc = new CalcFrame(this);

    connect(cmdstartexp, &QPushButton::clicked, this, &frmexp::cmdstartexp_Click);
    connect(cmdstop_exp, &QPushButton::clicked, this, [this] {
        if (m_controller)
            m_controller->requestStop();
    });
    connect(cmdrestart, &QPushButton::clicked, this, [this] {
        if (m_controller)
            m_controller->requestRestart();
    });
    connect(cmdStartall, &QPushButton::clicked, this, [this] {
        if (m_controller)
            m_controller->requestStartAll();
    });
    connect(cmdquit, &QPushButton::clicked, this, &QWidget::close);
    connect(txtrest, &QSpinBox::valueChanged, this, [this](int seconds) {
        programSettings().setValue(kRestKey, seconds);
        if (m_controller)
            m_controller->setRestSeconds(seconds);
    });
    connect(chkaccum_time, &QCheckBox::toggled, this, [this](bool on) {
        if (m_controller)
            m_controller->setAccumulate(on);
    });
    connect(m_channels, &ChannelArea::subjectRequested, this, &frmexp::openSubjectFrame);
    connect(frmchanupdate, &SubjectIdFrame::okClicked, this, &frmexp::subjectTyped);
    connect(frmchanupdate, &SubjectIdFrame::idTyped, this, [this](const QString &id) {
        if (m_controller)
            (void)m_controller->setSubjectId(chan, id); // the box takes only what the file can hold
        m_channels->showSubjects(Devices[bytDevIndex].strSubID);
    });
    connect(cmdch_template, &QPushButton::clicked, this, [this] { loadChannelTemplate(true); });
    connect(frmch_id, &LabelFrame::loadClicked, this, [this] { loadChannelTemplate(false); });
    connect(frmch_id, &LabelFrame::saveClicked, this, &frmexp::saveChannelTemplate);
    connect(frmch_id, &LabelFrame::channelChoiceRequested, this,
            [this] { placeFloating(frmchan_sel, frmch_id, frmch_id->width() + 8, 0); });
    connect(frmchan_sel, &ChannelSelectFrame::assignClicked, this, &frmexp::assignLabel);
    connect(cmdload, &QPushButton::clicked, this, &frmexp::loadExperimentTemplate);
    connect(cmdCalc_Accel, &QPushButton::clicked, this, [this] { placeFloating(frmcalcacc, expdatagrid); });
    connect(frmcalcacc, &CalcFrame::calculateClicked, this, &frmexp::calculate);
    connect(frmcalcacc, &CalcFrame::updateClicked, this, &frmexp::updateSettings);
    connect(frmexpsetup, &ExpSetupFrame::uploadClicked, this, [this] {
        if (m_controller)
            (void)m_controller->requestUpload(); // refused unless the run is idle
        refresh();
    });
    connect(frmexpsetup, &ExpSetupFrame::downloadClicked, this, &frmexp::download);
}

void frmexp::connectController()
{
    connect(m_controller, &ExpController::changed, this, &frmexp::refresh);
    connect(m_controller, &ExpController::setupArrived, this, &frmexp::iniexp_values);
    connect(m_controller, &ExpController::rowRecorded, expdatagrid, &ResultsGrid::addRun);
    connect(m_controller, &ExpController::runFinished, this, &frmexp::refresh);
    connect(m_controller, &ExpController::restOver, this, [] { QApplication::beep(); });
    connect(m_controller, &ExpController::dataFileState, this, [this](bool allWritten) {
        const QString file = Devices[bytDevIndex].strDataFile;
        setStatusPanel(0, allWritten ? file : QStringLiteral("Data file not written: ") + file);
    });
    // Queued: the question must not hold up the tick that found the trouble.
    connect(
            m_controller, &ExpController::sessionLogFailed, this,
            [this](const QString &logFile) {
                ask(this,
                    QStringLiteral("Session log not written: ") + logFile
                            + QStringLiteral("\nThe experiment and its data file go on without it."),
                    QStringLiteral("Session Log"));
            },
            Qt::QueuedConnection);
}

void frmexp::refresh()
{
    if (!m_controller)
        return;
    const ExpView view = m_controller->view();
    const ExpDisplay &display = view.display;
    const ExpControls &controls = view.controls;
    m_channels->showDisplay(display);
    m_channels->showSubjects(Devices[bytDevIndex].strSubID);
    setStatusPanel(1, display.statusPanel);
    setStatusPanel(2, display.trialText);
    if (frmstatus->isVisible() != display.statusVisible)
        frmstatus->setVisible(display.statusVisible);
    lblstatus->setText(display.lblstatus);
    prbstatus->setValue(display.prbstatus);

    cmdstartexp->setEnabled(controls.enabled(ExpControls::StartExp));
    cmdstop_exp->setEnabled(controls.enabled(ExpControls::StopExp));
    cmdrestart->setEnabled(controls.enabled(ExpControls::Restart));
    cmdStartall->setEnabled(controls.enabled(ExpControls::StartAll));
    frmexpsetup->setEnabled(controls.enabled(ExpControls::Setup));
    frmexpsetup->setTransferButtonsEnabled(controls.enabled(ExpControls::Transfers));
    cmdCalc_Accel->setEnabled(controls.enabled(ExpControls::CalcAccel));
    cmdload->setEnabled(controls.enabled(ExpControls::Load));
    cmdch_template->setEnabled(controls.enabled(ExpControls::Template));
    // A set-up copied in while a run is on would not be the one running.
    frmcalcacc->setUpdateEnabled(controls.enabled(ExpControls::CalcAccel));
    followRun(view);
}

void frmexp::followRun(const ExpView &view)
{
    // Only a running session's replies belong to the run; the reply of the
    // tick that finished it shows every channel cleared by the stop. The
    // plot then shows the run to its last reply.
    if (!view.run.running()) {
        m_plot->follow(true);
        return;
    }
    const RunSample &sample = view.sample;
    m_trace.observe(sample.elapsed, sample.speed, sample.runningBits, view.run.stopConfirmed());
    m_plot->follow();
}

void frmexp::showPlot(bool shown)
{
    programSettings().setValue(kPlotKey, shown);
    m_plot->setVisible(shown);
}

void frmexp::setStatusPanel(int panel, const QString &text)
{
    if (m_panels[panel]->text() != text)
        m_panels[panel]->setText(text);
}

QString frmexp::statusPanelText(int panel) const
{
    return m_panels.at(panel)->text();
}

void frmexp::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_binding == Binding::Unbound) {
        m_binding = Binding::RefusalTold;
        QTimer::singleShot(0, this, [this] {
            prompter().message(this, noFreeDeviceMessage());
            close();
        });
    }
}

void frmexp::iniexpdatagrid()
{
    expdatagrid->iniexpdatagrid(unitsText(Devices[bytDevIndex].bytExpOptions));
}

void frmexp::iniexp_values()
{
    const DeviceInfo &record = Devices[bytDevIndex];
    frmexpsetup->showTexts(showSetup(record, frmexpsetup->texts().rockInterval));
    const QString units = unitsText(record.bytExpOptions);
    frmexpsetup->setUnits(units);
    m_channels->setUnits(units);
    m_plot->setUnits(units);
    // A set-up that arrives between runs: the plot shows its plan. The last
    // run's trace stays until then.
    if (!m_controller || !m_controller->view().run.running()) {
        m_trace.start(rampPlanOf(record));
        m_plot->follow();
    }
    iniexpdatagrid();
    refresh();
}

bool frmexp::GetFileName()
{
    QPointer<frmexp> self(this);
    DataFileChoice choice(dialogOwner(), Devices[bytDevIndex]);
    choice.showName = [this](const QString &name) { setStatusPanel(0, name); };
    const DataFileChoice::Outcome outcome = choice.choose();
    if (!self)
        return false;
    bolappend = outcome == DataFileChoice::Outcome::Append;
    if (outcome == DataFileChoice::Outcome::Cancelled) {
        if (m_controller)
            m_controller->cancelStart();
        refresh();
    }
    return outcome == DataFileChoice::Outcome::NewFile || bolappend;
}

void frmexp::cmdstartexp_Click()
{
    if (!m_controller || !m_controller->view().controls.enabled(ExpControls::StartExp))
        return;
    QPointer<frmexp> self(this);
    const SetupTexts setup = frmexpsetup->texts();
    // A value the device's field cannot hold would go out wrapped or cut;
    // nothing is chosen, written or sent until the set-up fits.
    if (const std::optional<SetupProblem> problem = checkSetup(setup)) {
        ask(this, problem->text, QStringLiteral("Experiment Setup"));
        return;
    }
    // The window may have been closed while a dialog was open.
    if (!GetFileName() || !self || !m_controller || unloaded())
        return;
    if (!m_controller->startExperiment(setup, bolappend)) {
        prompter().message(this, fileAccessError());
        return;
    }
    showPackedSetup();
    m_trace.start(rampPlanOf(Devices[bytDevIndex]));
    m_plot->setUnits(unitsText(Devices[bytDevIndex].bytExpOptions));
    m_plot->follow();
    iniexpdatagrid();
    refresh();
}

void frmexp::closeEvent(QCloseEvent *event)
{
    if (m_binding != Binding::Bound) {
        event->accept();
        return;
    }
    if (m_askingToClose) {
        // The question is already open; it decides.
        event->ignore();
        return;
    }
    if (m_controller && m_controller->view().run.running()) {
        QPointer<frmexp> self(this);
        m_askingToClose = true;
        // Yes stops the animals' session: Enter alone must not.
        MessageRequest question{QStringLiteral("Stop Experiment"), QStringLiteral("Experiment Running"),
                                Buttons::YesNo, Icon::Critical};
        question.defaultNo = true;
        const MessageAnswer answer = prompter().message(this, question);
        if (!self)
            return;
        m_askingToClose = false;
        if (answer != MessageAnswer::Yes) {
            event->ignore();
            return;
        }
    }
    unload();
    event->accept();
}

void frmexp::unload()
{
    if (m_binding != Binding::Bound)
        return;
    m_binding = Binding::Unloaded;
    --intExpWindows;
    frmchanupdate->hide();
    frmch_id->hide();
    frmchan_sel->hide();
    frmcalcacc->hide();
    if (m_controller)
        m_controller->unload(true);
}

void frmexp::placeFloating(QWidget *frame, QWidget *anchor, int dx, int dy)
{
    frame->adjustSize();
    // The grid sits in a splitter: its place is taken in this window's terms.
    QPoint at = anchor->mapTo(this, QPoint(0, 0)) + QPoint(dx, dy);
    // Keep the whole frame inside the window where it fits.
    at.setX(qMax(0, qMin(at.x(), width() - frame->width())));
    at.setY(qMax(0, qMin(at.y(), height() - frame->height())));
    frame->move(at);
    frame->show();
    frame->raise();
}

void frmexp::openSubjectFrame(int channel)
{
    if (!bound())
        return;
    // What was typed for the channel before stays with it.
    frmchanupdate->commitPending();
    chan = channel;
    // Just below the channel's subject-ID box.
    QWidget *box = m_channels->subjectBox(channel);
    const QPoint below = box->mapTo(this, QPoint(0, box->height() + 2));
    frmchanupdate->adjustSize();
    frmchanupdate->move(qBound(0, below.x(), qMax(0, width() - frmchanupdate->width())), below.y());
    frmchanupdate->show();
    frmchanupdate->raise();
    frmchanupdate->edit(Devices[bytDevIndex].strSubID[channel]);
}

void frmexp::subjectTyped(const QString &id)
{
    if (m_controller)
        (void)m_controller->setSubjectId(chan, id); // the box takes only what the file can hold
    m_channels->showSubjects(Devices[bytDevIndex].strSubID);
    frmchanupdate->hide();
}

void frmexp::assignLabel(int channel)
{
    // A cell of an old template may hold a comma or a line break.
    const QString label = frmch_id->currentLabel();
    if (m_controller && !m_controller->setSubjectId(channel, label)) {
        ask(this,
            QStringLiteral("\"%1\" cannot be a subject ID.\n%2")
                    .arg(label, fieldTextRule(FieldKind::SubjectId)),
            QStringLiteral("Subject ID"));
        return;
    }
    m_channels->showSubjects(Devices[bytDevIndex].strSubID);
    frmchan_sel->hide();
}

DialogOwner frmexp::dialogOwner()
{
    return DialogOwner(this, this);
}

void frmexp::loadChannelTemplate(bool showFrame)
{
    if (showFrame) {
        frmch_id->inichangrid();
        placeFloating(frmch_id, expdatagrid);
    }
    LabelGrid labels = frmch_id->labels();
    if (TemplateChoice(dialogOwner(), Devices[bytDevIndex]).loadLabels(labels))
        frmch_id->setLabels(labels);
}

void frmexp::saveChannelTemplate()
{
    TemplateChoice(dialogOwner(), Devices[bytDevIndex]).saveLabels(frmch_id->labels());
}

void frmexp::loadExperimentTemplate()
{
    if (bound() && TemplateChoice(dialogOwner(), Devices[bytDevIndex]).loadExperiment())
        iniexp_values();
}

void frmexp::calculate()
{
    const AccelOutcome outcome = calcAccel(frmcalcacc->inputs());
    if (!outcome.labels) {
        ask(this, outcome.problem, QStringLiteral("Acceleration Calculator"));
        return;
    }
    frmcalcacc->showLabels(*outcome.labels);
}

void frmexp::updateSettings()
{
    if (!bound() || (m_controller && m_controller->view().run.running()))
        return;
    if (const std::optional<QString> problem
        = copyToSetup(frmcalcacc->inputs(), frmcalcacc->labels(), Devices[bytDevIndex])) {
        ask(this, *problem, QStringLiteral("Acceleration Calculator"));
        return;
    }
    iniexp_values();
}

void frmexp::download()
{
    if (!m_controller)
        return;
    const SetupTexts setup = frmexpsetup->texts();
    if (const std::optional<SetupProblem> problem = checkSetup(setup)) {
        ask(this, problem->text, QStringLiteral("Experiment Setup"));
        return;
    }
    // Refused while a transfer or a run is under way: the boxes stay.
    if (m_controller->requestDownload(setup))
        showPackedSetup();
    refresh();
}

void frmexp::showPackedSetup()
{
    // What the operator sees is what runs: "7.5 rpm" shows as 7.5, "12.25"
    // as 12.2, the rocking interval as its whole seconds.
    frmexpsetup->showTexts(showSetup(Devices[bytDevIndex],
                                     QString::number(m_controller ? m_controller->view().rockInterval : 0)));
}

} // namespace velorix
