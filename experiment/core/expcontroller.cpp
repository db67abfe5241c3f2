#include "experiment/core/expcontroller.h"

#include "base/ccrptimer.h"
#include "base/delay.h"
#include "model/fieldtext.h"
#include "model/globals.h"
#include "model/runningexperiments.h"
#include "experiment/core/expnumbers.h"
#include "protocol/channelbits.h"
#include "protocol/commandtable.h"
#include "protocol/multidevmod.h"
#include "protocol/resultcodes.h"
#include "link/linkturns.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace velorix {

ExpController::ExpController(int deviceIndex, QObject *parent)
    : QObject(parent), m_devIndex(deviceIndex), m_devAddr(Devices[deviceIndex].bytBusAddr),
      m_recorder(deviceIndex, m_devAddr, [this] { return m_now(); }),
      m_device(m_devAddr, m_display, m_recorder),
      m_transfer(m_device, m_display, m_recorder, [this](int milliseconds) { wait(milliseconds); }),
      m_poll(m_device, m_display)
{
    setObjectName(QStringLiteral("expcontroller"));
    // A window closed while its tick waits sends nothing more of its own.
    m_device.setAllowed([this] { return m_presence != Presence::ClosingLater; });
    connect(&m_recorder, &RunRecorder::rowRecorded, this, &ExpController::rowRecorded);
    connect(&m_recorder, &RunRecorder::dataFileState, this, &ExpController::dataFileState);
    connect(&m_recorder, &RunRecorder::sessionLogFailed, this, &ExpController::sessionLogFailed);
}

ExpController::~ExpController()
{
    runningExperiments().remove(this);
}

DeviceInfo &ExpController::record() const
{
    return Devices[m_devIndex];
}

ExpView ExpController::view() const
{
    ExpControls controls = ExpControls::forPhase(m_run.phase());
    if (isUnloaded())
        controls = controls.without(ExpControls::StartExp).without(ExpControls::Transfers);
    const DeviceInfo &rec = record();
    return ExpView{m_display, controls, m_run, m_transfer.intRockInterval,
                   RunSample{rec.sngElapsed, rec.sngSpeed, rec.bytChanBits}};
}

void ExpController::moveTo(RunPhase phase)
{
    if (!m_run.moveTo(phase))
        qWarning("Experiment for device %d: no way from %s to %s", m_devIndex,
                 qPrintable(phaseName(m_run.phase())), qPrintable(phaseName(phase)));
}

bool ExpController::load(PortError *error)
{
    objTimer = new ccrpTimer(this);
    objTimer->setObjectName(QStringLiteral("objTimer"));
    objTimer->setStats(10);
    objTimer->setInterval(m_pacing.firstIntervalMs);
    connect(objTimer, &ccrpTimer::Timer, this, &ExpController::objTimer_Timer);
    objTimer->setEnabled(true);

    if (!m_device.open(strCommPort, error))
        return false;
    (void)m_device.commands().Reset(m_devAddr); // a reset has no answer; a failure shows in the upload
    moveTo(RunPhase::Uploading);
    emit changed();
    return true;
}

void ExpController::unload(bool wait)
{
    if (isUnloaded())
        return;
    m_presence = Presence::Closed;
    if (objTimer)
        objTimer->setEnabled(false);
    m_turns.leaveLine();
    if (m_inTick) {
        // The tick below us on the stack still waits for a reply; it sends
        // nothing more of its own and finishes the unload once it has
        // unwound.
        m_presence = Presence::ClosingLater;
        return;
    }
    if (TickTurns::linkBusyElsewhere()) {
        // The close came in while another window's exchange, further down
        // the stack, waits for its reply: that exchange ends only after we
        // return, so a stop or reset sent from here would only wait in vain
        // and the device would be left running. They follow from the event
        // loop as soon as the link is free.
        m_presence = Presence::ClosingLater;
        m_turns.queue([this] { finishDeferredUnload(); });
        // Should the program end first (its main window closed with this
        // one), the stop and reset still go out before it does.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &ExpController::finishDeferredUnload);
        return;
    }
    stopBeforeUnload();
    if (wait)
        Delay(m_pacing.unloadWaitMs);
    finishUnload();
}

void ExpController::finishDeferredUnload()
{
    if (m_presence != Presence::ClosingLater || m_inTick)
        return;
    m_turns.leaveLine();
    releaseAfterTick();
}

void ExpController::releaseAfterTick()
{
    m_presence = Presence::Closed;
    stopBeforeUnload();
    finishUnload();
    deleteLater();
}

void ExpController::finishUnload()
{
    runningExperiments().remove(this);
    // Closed before the experiment ever ran (during the download).
    m_recorder.closeUnstarted();
    const bool resetSent = m_device.isOpen();
    resetDevice(true);
    if (resetSent)
        logEvent(QStringLiteral("Reset to %1: the window was closed").arg(m_devAddr));
    m_device.close();
    m_recorder.release();
}

void ExpController::stopBeforeUnload()
{
    if (!m_run.running() || !m_device.isOpen())
        return;
    m_recorder.noteStop(StopCause::Close, record().intDuration);
    requestStop();
    QElapsedTimer clock;
    clock.start();
    while (m_run.running() && m_device.isOpen() && clock.elapsed() < m_pacing.closeStopPatienceMs) {
        if (TickTurns::linkBusyElsewhere()) {
            (void)waitForLinkTurn(int(m_pacing.closeStopPatienceMs - clock.elapsed())); // the next try tells
            continue;
        }
        runTick();
        if (m_run.running())
            Delay(m_pacing.closeStopPauseMs);
    }
    if (m_run.running()) {
        // The device never confirmed the stop (or never answered after it);
        // the reset that follows ends its runs, so record them now.
        logEvent(
                QStringLiteral(
                        "Stop_Exp to %1 not confirmed: the runs in progress are recorded from the last reply")
                        .arg(m_devAddr));
        recordInProgress();
        finishRun();
    }
}

void ExpController::resetDevice(bool patient)
{
    if (!m_device.isOpen())
        return;
    QElapsedTimer clock;
    clock.start();
    // Another window's exchange may hold the link for a moment; the reset
    // is what leaves the device stopped, so it is worth a short wait.
    while (m_device.commands().Reset(m_devAddr) == rc::Busy && patient
           && clock.elapsed() < m_pacing.resetPatienceMs) {
        (void)waitForLinkTurn(int(m_pacing.resetPatienceMs - clock.elapsed())); // the next try tells
        if (!m_device.isOpen())
            return;
    }
}

void ExpController::requestStop()
{
    m_recorder.noteStop(StopCause::Button, record().intDuration);
    if (!m_requests.stopWanted())
        m_requests.stop = RunRequests::Stop::Wanted;
    m_requests.restart = false;
}

void ExpController::requestRestart()
{
    if (m_run.is(RunPhase::Running))
        m_requests.restart = true;
}

void ExpController::requestStartAll()
{
    if (m_run.is(RunPhase::Running) && m_requests.masterStart == RunRequests::MasterStart::None)
        m_requests.masterStart = RunRequests::MasterStart::Wanted;
}

bool ExpController::requestUpload()
{
    if (!m_run.is(RunPhase::Idle) || isUnloaded() || m_requests.stopWanted())
        return false;
    m_transfer.restart();
    moveTo(RunPhase::Uploading);
    if (objTimer)
        objTimer->setEnabled(true);
    return true;
}

bool ExpController::requestDownload(const SetupTexts &setup)
{
    if (!m_run.is(RunPhase::Idle) || isUnloaded() || m_requests.stopWanted())
        return false;
    packSetup(setup, record(), m_transfer.intRockInterval);
    m_transfer.restart();
    moveTo(RunPhase::Downloading);
    if (objTimer)
        objTimer->setEnabled(true);
    return true;
}

bool ExpController::startExperiment(const SetupTexts &setup, bool append)
{
    if (isUnloaded() || !m_run.is(RunPhase::Idle))
        return false;
    DeviceInfo &rec = record();
    packSetup(setup, rec, m_transfer.intRockInterval);
    rec.dtExpStart = m_now();
    if (!m_recorder.openSession(rec, append, m_transfer.intRockInterval))
        return false;
    for (int c = 0; c < kChannels; ++c) {
        rec.bolResultReady[c] = false;
        rec.bolChanArmed[c] = true;
        // iniexpvalues
        ChannelView &view = m_display.channels[c];
        view.runTime = QStringLiteral("Idle");
        view.chSpeed = QStringLiteral("0.0");
        view.caption = QStringLiteral("Subject ID");
    }
    // A new run: whatever the last one asked for is over.
    m_requests = RunRequests{};
    m_poll.clearFalls();
    // Save_Exp_Setup: the download, which ends with the reset and the start.
    m_transfer.restart();
    moveTo(RunPhase::Arming);
    runningExperiments().add(
            this, QStringLiteral("Experiment for Device %1 at address %2").arg(m_devIndex).arg(m_devAddr),
            m_devAddr);
    const QDateTime now = m_now();
    for (int c = 0; c < kChannels; ++c)
        rec.dtChanStart[c] = now;
    if (objTimer)
        objTimer->setEnabled(true);
    emit changed();
    return true;
}

void ExpController::cancelStart()
{
    requestStop();
    emit changed();
}

bool ExpController::setSubjectId(int channel, const QString &typed)
{
    // The boxes refuse what the data file cannot hold; a label cell from an
    // old template may still carry it, and was named as doubtful when loaded.
    if (!fieldTextProblem(typed).isEmpty())
        return false;
    const QString id = SubjectList::storedId(typed);
    const bool changed = record().strSubID[channel] != id;
    record().strSubID[channel] = id;
    m_recorder.subjects().add(id);
    // A run in progress is recorded under the new ID.
    if (changed)
        m_recorder.logSubjectChanged(record(), channel);
    return true;
}

void ExpController::objTimer_Timer(std::int32_t)
{
    if (isUnloaded())
        return;
    if (m_inTick) {
        m_turns.owe();
        return;
    }
    if (m_pacing.waitForLink && TickTurns::othersFirst()) {
        // Another window's exchange holds the link, or other windows wait
        // for it already: this tick comes in its turn.
        if (m_turns.queue([this] {
                if (objTimer && objTimer->Enabled())
                    takeTurn();
            }))
            ++m_recorder.counters().putOff;
        return;
    }
    takeTurn();
}

void ExpController::takeTurn()
{
    if (isUnloaded())
        return;
    // The period is 100 ms from the second tick on, also when the first
    // one ended early on a failed transfer step.
    if (objTimer && objTimer->Interval() == m_pacing.firstIntervalMs
        && m_pacing.firstIntervalMs != m_pacing.pollIntervalMs)
        objTimer->setInterval(m_pacing.pollIntervalMs);
    // The tick's exchanges follow each other; the windows waiting for the
    // link are served once it is over (or while it pauses).
    m_turns.holdWhile([this] { runTick(); });
    if (m_presence == Presence::ClosingLater) {
        releaseAfterTick();
        return;
    }
    // The tick owed goes to the end of the line, behind the windows that
    // waited meanwhile.
    if (m_turns.takeOwed() && objTimer && objTimer->Enabled())
        (void)m_turns.queue([this] {
            if (objTimer && objTimer->Enabled())
                takeTurn();
        });
}

void ExpController::runTick()
{
    m_inTick = true;
    ++m_recorder.counters().ticks;
    tick();
    m_inTick = false;
    emit changed();
}

void ExpController::wait(int milliseconds)
{
    // Let the window show the status frame before the wait begins.
    emit changed();
    m_turns.pause(milliseconds);
}

} // namespace velorix
