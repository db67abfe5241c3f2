#include "experiment/core/expcontroller.h"

#include "base/ccrptimer.h"
#include "base/delay.h"
#include "model/fieldtext.h"
#include "model/globals.h"
#include "model/runningexperiments.h"
#include "model/version.h"
#include "experiment/core/expnumbers.h"
#include "experiment/core/setupmemory.h"
#include "protocol/commandtable.h"
#include "protocol/resultcodes.h"
#include "protocol/multidevmod.h"
#include "protocol/multivelorix.h"
#include "link/linkturns.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <utility>

namespace velorix {

namespace {

// Holds the link's turn for a stretch of exchanges; the link (and its
// turns) may go meanwhile when the last protocol object is released.
class LinkHold
{
public:
    LinkHold(LinkTurns *turns, bool &holding) : m_turns(turns), m_holding(holding)
    {
        if (m_turns)
            m_turns->hold();
        m_holding = true;
    }
    ~LinkHold()
    {
        if (m_turns)
            m_turns->release();
        m_holding = false;
    }
    LinkHold(const LinkHold &) = delete;
    LinkHold &operator=(const LinkHold &) = delete;

private:
    QPointer<LinkTurns> m_turns;
    bool &m_holding;
};

const QString kSuccessful = QStringLiteral("successful");
const QString kReadSuccessful = QStringLiteral("READ successful");

bool bitSet(std::uint8_t bits, int channel)
{
    return (bits >> channel) & 1;
}

} // namespace

ExpController::ExpController(int deviceIndex, QObject *parent)
    : QObject(parent), m_devIndex(deviceIndex), m_devAddr(Devices[deviceIndex].bytBusAddr)
{
    setObjectName(QStringLiteral("expcontroller"));
    m_log.troubled = [this](const QString &logFile) { emit sessionLogFailed(logFile); };
}

ExpController::~ExpController()
{
    runningExperiments().remove(this);
    leaveLinkLine();
}

DeviceInfo &ExpController::record() const
{
    return Devices[m_devIndex];
}

bool ExpController::load(PortError *error)
{
    objTimer = new ccrpTimer(this);
    objTimer->setObjectName(QStringLiteral("objTimer"));
    objTimer->setStats(10);
    objTimer->setInterval(m_pacing.firstIntervalMs);
    connect(objTimer, &ccrpTimer::Timer, this, &ExpController::objTimer_Timer);
    objTimer->setEnabled(true);

    objDevice = std::make_unique<multiVelorix>();
    PortError refused;
    objDevice->CommPort(strCommPort, &refused);
    if (refused.number != 0 || !refused.text.isEmpty()) {
        if (error)
            *error = refused;
        return false;
    }
    (void)objDevice->Reset(m_devAddr); // a reset has no answer; a failure shows in the upload

    bolrunning = bolstop = bolstart = boldownload = bolstartALL = false;
    bolupload = true;
    m_controls.cmdStartall = false;
    m_controls.cmdrestart = false;
    emit changed();
    return true;
}

void ExpController::unload(bool wait)
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    if (objTimer)
        objTimer->setEnabled(false);
    leaveLinkLine();
    if (m_inTick) {
        // The tick below us on the stack still waits for a reply; it sends
        // nothing more of its own and finishes the unload once it has
        // unwound.
        m_abandoned = true;
        return;
    }
    if (linkBusyElsewhere()) {
        // The close came in while another window's exchange, further down
        // the stack, waits for its reply: that exchange ends only after we
        // return, so a stop or reset sent from here would only wait in vain
        // and the device would be left running. They follow from the event
        // loop as soon as the link is free.
        m_abandoned = true;
        if (LinkTurns *turns = linkTurns())
            turns->awaitTurn(this, [this] { finishDeferredUnload(); });
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
    if (!m_abandoned || m_inTick)
        return;
    leaveLinkLine();
    releaseAfterTick();
}

void ExpController::releaseAfterTick()
{
    m_abandoned = false;
    stopBeforeUnload();
    finishUnload();
    deleteLater();
}

void ExpController::finishUnload()
{
    runningExperiments().remove(this);
    if (m_sessionOpen) {
        // Closed before the experiment ever ran (during the download).
        m_sessionOpen = false;
        logEvent(QStringLiteral("Session ended: the window was closed before the experiment started"));
    }
    const bool resetSent = objDevice != nullptr;
    resetDevice(true);
    if (resetSent)
        logEvent(QStringLiteral("Reset to %1: the window was closed").arg(m_devAddr));
    objDevice.reset();
    m_dataFile.retry();
    m_log.close();
}

void ExpController::stopBeforeUnload()
{
    if (!bolrunning || !objDevice)
        return;
    noteStop(StopCause::Close);
    requestStop();
    QElapsedTimer clock;
    clock.start();
    while (bolrunning && objDevice && clock.elapsed() < m_pacing.closeStopPatienceMs) {
        if (linkBusyElsewhere()) {
            (void)waitForLinkTurn(int(m_pacing.closeStopPatienceMs - clock.elapsed())); // the next try tells
            continue;
        }
        runTick();
        if (bolrunning)
            Delay(m_pacing.closeStopPauseMs);
    }
    if (bolrunning) {
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
    if (!objDevice)
        return;
    QElapsedTimer clock;
    clock.start();
    // Another window's exchange may hold the link for a moment; the reset
    // is what leaves the device stopped, so it is worth a short wait.
    while (objDevice->Reset(m_devAddr) == rc::Busy && patient && clock.elapsed() < m_pacing.resetPatienceMs) {
        (void)waitForLinkTurn(int(m_pacing.resetPatienceMs - clock.elapsed())); // the next try tells
        if (!objDevice)
            return;
    }
}

void ExpController::requestStop()
{
    noteStop(StopCause::Button);
    bolstop = true;
    bolstart = false;
}

void ExpController::noteStop(StopCause cause)
{
    if (!m_sessionOpen || m_stopCause != StopCause::None)
        return;
    m_stopCause = cause;
    switch (cause) {
    case StopCause::Button: logEvent(QStringLiteral("Stop requested: \"Stop Experiment\"")); break;
    case StopCause::Duration:
        logEvent(QStringLiteral("Stop requested: the session duration of %1 s ended")
                         .arg(record().intDuration));
        break;
    case StopCause::Close: logEvent(QStringLiteral("Stop requested: the window is being closed")); break;
    case StopCause::None: break;
    }
}

void ExpController::requestRestart()
{
    bolstart = true;
}

void ExpController::requestStartAll()
{
    bolstartALL = true;
}

void ExpController::requestUpload()
{
    if (isTransferring() || bolrunning || m_unloaded)
        return;
    intSetupStep = 0;
    bolupload = true;
    if (objTimer)
        objTimer->setEnabled(true);
}

void ExpController::requestDownload(const SetupTexts &setup)
{
    if (isTransferring() || bolrunning || m_unloaded)
        return;
    packSetup(setup, record(), intRockInterval);
    m_startAfterDownload = false;
    intSetupStep = 0;
    boldownload = true;
    if (objTimer)
        objTimer->setEnabled(true);
}

bool ExpController::startExperiment(const SetupTexts &setup, bool append)
{
    if (m_unloaded)
        return false;
    DeviceInfo &rec = record();
    packSetup(setup, rec, intRockInterval);
    rec.dtExpStart = m_now();
    m_dataFile.setFiles(rec.strDataFile, rec.strRawFile);
    if (!append) {
        datafile::HeaderFacts facts;
        facts.versionMajor = kVersionMajor;
        facts.versionMinor = kVersionMinor;
        facts.deviceNumber = m_devIndex;
        if (!m_dataFile.writeHeader(datafile::headerLines(rec, facts)))
            return false;
    } else {
        m_dataFile.prepareAppend();
    }
    m_dataFileOk = m_dataFile.allWritten();
    emit dataFileState(m_dataFileOk);

    // The session log follows the data file: a new session after the
    // earlier ones of the same file.
    m_log.open(datafile::logNameFor(rec.strDataFile));
    m_sessionOpen = true;
    m_sessionRuns = 0;
    m_stopCause = StopCause::None;
    logEvent((append ? logtext::kAppending : logtext::kNewDataFile) + rec.strDataFile);
    logEvent(programTitle() + QLatin1Char(' ') + versionText());
    logEvent(QStringLiteral("Device %1 at address %2, firmware %3")
                     .arg(m_devIndex)
                     .arg(m_devAddr)
                     .arg(QString::number(rec.sngVersion, 'f', 2)));
    for (const QString &line : SessionLog::setupLines(rec, intRockInterval))
        logEvent(line);

    m_controls.cmdCalc_Accel = m_controls.cmdload = m_controls.cmdch_template = false;
    for (int c = 0; c < kChannels; ++c) {
        rec.bolResultReady[c] = false;
        rec.bolChanArmed[c] = true;
        // iniexpvalues
        ChannelView &view = m_display.channels[c];
        view.runTime = QStringLiteral("Idle");
        view.chSpeed = QStringLiteral("0.0");
        view.caption = QStringLiteral("Subject ID");
    }
    bolstop = false;
    BolStopping = false;
    m_stopSent = false;
    m_fall = readout::FallSpeeds{};
    m_controls.frmexpsetup = false;
    // Save_Exp_Setup: the download, which ends with the reset and the start.
    m_startAfterDownload = true;
    boldownload = true;
    m_controls.cmdstartexp = false;
    m_controls.cmdstop_exp = true;
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
    m_controls.cmdstartexp = true;
    m_controls.cmdstop_exp = false;
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
    m_subjects.add(id);
    // A run in progress is recorded under the new ID.
    if (changed && m_sessionOpen)
        logEvent(logtext::kSubjectOf + QStringLiteral("%1: %2").arg(channel + 1).arg(subjectOf(channel)));
    return true;
}

QString ExpController::subjectOf(int channel) const
{
    const QString &id = record().strSubID[channel];
    return id.isEmpty() ? QStringLiteral("Channel %1").arg(channel + 1) : id;
}

void ExpController::logChannelsRunning()
{
    // Every start sets all four channels going.
    std::vector<LoggedChannelId> channels;
    for (int c = 0; c < kChannels; ++c)
        channels.emplace_back(c + 1, subjectOf(c));
    logEvent(SessionLog::channelsLine(channels));
}

LinkTurns *ExpController::linkTurns()
{
    return objComm ? &objComm->turns() : nullptr;
}

bool ExpController::linkBusyElsewhere() const
{
    return objComm && objComm->CommBusy();
}

void ExpController::leaveLinkLine()
{
    if (LinkTurns *turns = linkTurns())
        turns->leave(this);
}

void ExpController::queueForLink()
{
    LinkTurns *turns = linkTurns();
    if (!turns || turns->isWaiting(this))
        return;
    turns->awaitTurn(this, [this] {
        if (objTimer && objTimer->Enabled())
            takeTurn();
    });
}

void ExpController::objTimer_Timer(std::int32_t)
{
    if (m_unloaded)
        return;
    if (m_inTick) {
        // A period ended inside a tick that did not come from the timer (one
        // put off for the link): it is run once this tick is over.
        m_tickOwed = true;
        return;
    }
    if (m_pacing.waitForLink) {
        const LinkTurns *turns = linkTurns();
        if (turns && !turns->isFree()) {
            // Another window's exchange holds the link, or other windows
            // wait for it already: this tick comes in its turn.
            if (!turns->isWaiting(this))
                ++m_counters.putOff;
            queueForLink();
            return;
        }
    }
    takeTurn();
}

void ExpController::takeTurn()
{
    if (m_unloaded)
        return;
    // The period is 100 ms from the second tick on, also when the first
    // one ended early on a failed transfer step.
    if (objTimer && objTimer->Interval() == m_pacing.firstIntervalMs
        && m_pacing.firstIntervalMs != m_pacing.pollIntervalMs)
        objTimer->setInterval(m_pacing.pollIntervalMs);
    {
        // The tick's exchanges follow each other; the windows waiting for
        // the link are served once it is over (or while it pauses).
        const LinkHold hold(linkTurns(), m_holdingLink);
        runTick();
    }
    if (m_abandoned) {
        releaseAfterTick();
        return;
    }
    // The tick owed goes to the end of the line, behind the windows that
    // waited meanwhile.
    if (std::exchange(m_tickOwed, false) && objTimer && objTimer->Enabled())
        queueForLink();
}

void ExpController::runTick()
{
    m_inTick = true;
    ++m_counters.ticks;
    tick();
    m_inTick = false;
    emit changed();
}

void ExpController::tick()
{
    m_controlError.clear();
    m_timesTaken = false;
    // 1, 2: the timed transfers; a failed step ends the tick.
    if (bolupload && !UploadStep())
        return;
    if (boldownload && !DownloadStep())
        return;

    // 3: the start. A Start_Exp whose answer was lost may still have
    // started the device; sent again it would start the session over and
    // lose the runs that ended meanwhile, so the device is asked first.
    if (bolstart && mayGoOn()) {
        const StartState state = m_startMayHaveArrived && !bolrunning ? startState() : StartState::NotStarted;
        if (state == StartState::Started) {
            startSucceeded();
        } else if (state == StartState::NotStarted) {
            intLastErr = objDevice->Start_Exp(m_devAddr);
            if (judge(commands::Start_Exp.name, intLastErr)) {
                startSucceeded();
            } else {
                m_startMayHaveArrived = intLastErr != rc::Busy;
                m_controlError = m_display.txtDisplay;
            }
        } else {
            m_controlError = m_display.txtDisplay;
        }
    }

    // 4: the stop, or the poll period from the second tick on.
    if (bolstop) {
        // The runs the stop cuts short get the speed the wheel turns at
        // now; after polls that got no speed it is read first, and a stop
        // the device could not even be asked that of waits a tick.
        if (mayGoOn() && (m_stopSent || m_speedFresh || !bolrunning || readSpeedBeforeStop())) {
            // A stop whose answer was lost may have stopped the wheel: the
            // speed read after it would be 0, so the first try's speed stays.
            if (!m_stopSent)
                m_stopSpeed = record().sngSpeed;
            intLastErr = objDevice->Stop_Exp(m_devAddr);
            m_stopSent = m_stopSent || intLastErr != rc::Busy;
            if (judge(commands::Stop_Exp.name, intLastErr)) {
                BolStopping = true;
                // Once through, the stop is not sent again, also while its
                // final reads are being retried.
                bolstop = false;
                m_stopReadFailures = 0;
            } else
                m_controlError = m_display.txtDisplay;
        }
    } else if (objTimer && !m_unloaded) {
        // Setting the same interval again would restart the period each
        // tick and stretch it by the tick's own length.
        if (objTimer->Interval() != m_pacing.pollIntervalMs)
            objTimer->setInterval(m_pacing.pollIntervalMs);
        objTimer->setEnabled(true);
    }

    // 5: Master Start. Once the stop is under way it is dropped: the device
    // ignores a start after Stop_Exp, and counting its channels as started
    // would record their finished runs a second time from the final reply.
    if (bolstop || BolStopping) {
        bolstartALL = false;
        m_startAllUnsure = false;
    }
    // A Master Start whose answer was lost may have started the channels;
    // sent again it would start them over and lose a run that ended
    // meanwhile, so the poll after it is looked at first.
    if (bolstartALL && mayGoOn() && !m_startAllUnsure) {
        intLastErr = objDevice->Start_ALL(m_devAddr);
        if (judge(commands::Start_ALL.name, intLastErr)) {
            startAllSucceeded(record().bytChanBits, false);
        } else {
            m_controlError = m_display.txtDisplay;
            if (intLastErr != rc::Busy) {
                m_startAllUnsure = true;
                m_bitsAtStartAll = record().bytChanBits;
                m_startsAtStartAll = m_fall.startTime;
            }
        }
    }

    // 6: the poll, and the rocking request when it is due.
    if (bolrunning || bolstop || BolStopping) {
        update_Rot_Info();
        ReadSensors();
        ReadSpeed();
        Read_Times();
        if (m_startAllUnsure && m_timesTaken)
            judgeStartAll();
        // A fall seen in this poll without a speed read near it: the speed
        // is read again at once, while the wheel is still within a step of
        // where it was.
        if (m_timesTaken && m_fall.owed && !m_speedFresh && !m_stopSent)
            (void)readSpeedOnce(true);
        readout::updatetimes(record(), m_display.channels, m_display.txttime, m_display.txtch_enables);
        const QDateTime now = m_now();
        if (!m_abandoned && intRockInterval > 0 && (!dtNextRock.isValid() || now >= dtNextRock)) {
            dtNextRock = now.addSecs(intRockInterval);
            intSetupStep = setupmemory::kRockStep;
            m_startAfterDownload = false;
            boldownload = true;
        }
    }

    // 7: the run is over once its final reply has been read. A failed read
    // is tried again at the next ticks (the device has stopped and keeps
    // its times); only then are the runs recorded from the last good reply.
    if (BolStopping) {
        if (m_timesTaken) {
            finishRun();
        } else if (++m_stopReadFailures >= m_pacing.stopReadTries) {
            logEvent(QStringLiteral(
                             "Read_Times to %1 failed after the stop: the runs in progress are recorded from "
                             "the last reply")
                             .arg(m_devAddr));
            recordInProgress();
            finishRun();
        }
    }

    // 8
    if (!m_controlError.isEmpty())
        m_display.txtDisplay = m_controlError;
    m_display.statusPanel = m_display.txtDisplay;
}

void ExpController::startSucceeded()
{
    sessionTimeRestarts();
    // The wheel turns at the start speed from here; the speed last read
    // (0.0, from the stopped wheel) must not stand for it until the first
    // Read_Speed of the run gets through.
    if (!bolrunning) {
        record().sngSpeed = record().intStartSpeed / 10.0f;
        channelsStarted();
        logEvent(logtext::kStarted + QStringLiteral("Start_Exp to %1").arg(m_devAddr));
    } else {
        logEvent(logtext::kRestarted + QStringLiteral("Start_Exp to %1").arg(m_devAddr));
        restartRunningChannels(record().bytChanBits);
    }
    logChannelsRunning();
    bolstart = false;
    bolrunning = true;
    m_startMayHaveArrived = false;
    showSuccess(kSuccessful);
    m_controls.cmdStartall = true;
    m_controls.cmdrestart = true;
}

void ExpController::sessionTimeRestarts()
{
    // A fall of the session before still owed its speed gets it from that
    // session's readings (or ramp) now: later readings count from 0 again.
    m_fall.settle(record(), true);
    m_fall.readings.clear();
    m_fall.startTime.fill(0.0f);
}

void ExpController::startAllSucceeded(std::uint8_t runningBefore, bool answerLost)
{
    logEvent(logtext::kMasterStart + QStringLiteral("Start_ALL to %1").arg(m_devAddr)
             + (answerLost ? QStringLiteral(" (its answer was lost; the device shows the channels started)")
                           : QString()));
    bolstartALL = false;
    m_startAllUnsure = false;
    restartRunningChannels(runningBefore);
    channelsStarted();
    // The session time goes on; the channels begin where it is now.
    m_fall.startTime.fill(m_fall.readings.lastPoll());
    logChannelsRunning();
    showSuccess(kSuccessful);
}

void ExpController::judgeStartAll()
{
    // Start_ALL sets every channel going: one that was idle runs now, one
    // that ran has begun again at a later session time.
    const std::uint8_t now = record().bytChanBits;
    bool started = false;
    for (int c = 0; c < kChannels; ++c) {
        if (!bitSet(now, c))
            continue;
        started = started || !bitSet(m_bitsAtStartAll, c) || m_fall.startTime[c] > m_startsAtStartAll[c];
    }
    if (started)
        startAllSucceeded(m_bitsAtStartAll, true);
    else
        m_startAllUnsure = false; // it never arrived: sent again at the next tick
}

void ExpController::restartRunningChannels(std::uint8_t running)
{
    // Start_ALL, and Start_Exp while running, start a channel that is still
    // running over again, and the run it reports at its end is timed from
    // then. Its start time must move along, or its row would pair the first
    // start with the second run's length.
    DeviceInfo &rec = record();
    QStringList restarted;
    const QDateTime now = m_now();
    for (int c = 0; c < kChannels; ++c) {
        if (running & (1 << c)) {
            rec.dtChanStart[c] = now;
            restarted << QString::number(c + 1);
        }
    }
    if (!restarted.isEmpty())
        logEvent(QStringLiteral("Restarted running channel(s) %1: "
                                "their runs until now are not recorded")
                         .arg(restarted.join(QStringLiteral(", "))));
}

void ExpController::channelsStarted()
{
    // Every channel goes, until a reply shows otherwise.
    m_startedUnseen = 0x0F;
    // The channels start again at the wheel's present speed: a speed kept
    // from a channel's earlier run must not stand for its new one.
    DeviceInfo &rec = record();
    for (int c = 0; c < kChannels; ++c)
        rec.sngChanSpeed[c] = rec.sngSpeed;
}

ExpController::StartState ExpController::startState()
{
    // The download's reset left the device with no channel on and a
    // session time of 0; anything else is the session our start began.
    ByteBuffer times(readout::kTimesBytes);
    intLastErr = objDevice->Read_Times(m_devAddr, times);
    if (!judge(commands::Read_Times.name, intLastErr))
        return StartState::Unknown;
    const bool started = (times[8] & 0x0F) != 0 || times[9] != 0 || times[10] != 0;
    return started ? StartState::Started : StartState::NotStarted;
}

bool ExpController::judge(const char *command, std::int16_t result)
{
    m_log.noteResult(command, m_devAddr, result);
    if (result == rc::Ok)
        return true;
    m_display.txtDisplay = QStringLiteral("Error #%1").arg(result);
    ++m_counters.errors[result];
    return false;
}

void ExpController::wait(int milliseconds)
{
    // Let the window show the status frame before the wait begins.
    emit changed();
    // Other windows have the link meanwhile.
    const QPointer<LinkTurns> turns = m_holdingLink ? linkTurns() : nullptr;
    if (turns)
        turns->release();
    Delay(milliseconds);
    if (turns)
        turns->hold();
}

bool ExpController::UploadStep()
{
    m_display.statusVisible = true;
    m_display.lblstatus = QStringLiteral("Please Wait!!!  Uploading Data");
    m_display.prbstatus = std::min<int>(intSetupStep, kSetupSteps);
    if (!mayGoOn())
        return false;
    const std::size_t step = std::min<std::size_t>(intSetupStep, setupmemory::kUploadLocations.size() - 1);
    const std::uint8_t location = setupmemory::kUploadLocations[step];
    std::uint8_t byte = 0;
    intLastErr = objDevice->ReadMem(m_devAddr, location, byte);
    if (!judge(commands::ReadMem.name, intLastErr))
        return false;
    setupmemory::storeSetupByte(record(), location, byte);
    ++intSetupStep;
    if (intSetupStep >= static_cast<int>(setupmemory::kUploadLocations.size())) {
        bolupload = false;
        m_display.statusVisible = false;
        m_display.prbstatus = 0;
        intSetupStep = 0;
        emit setupArrived();
    }
    return true;
}

bool ExpController::DownloadStep()
{
    if (intSetupStep < setupmemory::kRockStep)
        m_display.statusVisible = true;
    m_display.lblstatus = QStringLiteral("Please Wait!!!  Downloading Data");
    m_display.prbstatus = std::min<int>(intSetupStep, kSetupSteps);

    if (intSetupStep < setupmemory::kResetStep) {
        const setupmemory::Write write = setupmemory::downloadWrite(intSetupStep, record());
        if (write.skip) {
            ++intSetupStep;
            return true;
        }
        if (!mayGoOn())
            return false;
        intLastErr = objDevice->WriteMem(m_devAddr, write.location, write.value);
        if (!judge(commands::WriteMem.name, intLastErr))
            return false;
        ++intSetupStep;
        return true;
    }
    if (intSetupStep == setupmemory::kResetStep) {
        wait(m_pacing.downloadWaitMs);
        if (!mayGoOn())
            return false;
        intLastErr = objDevice->Reset(m_devAddr);
        if (!judge(commands::Reset.name, intLastErr))
            return false;
        logEvent(QStringLiteral("Reset to %1: the set-up is downloaded").arg(m_devAddr));
        boldownload = false;
        bolstart = m_startAfterDownload;
        m_startMayHaveArrived = false;
        m_startAfterDownload = false;
        intSetupStep = 0;
        m_display.statusVisible = false;
        m_display.prbstatus = 0;
        wait(m_pacing.downloadWaitMs);
        // Start_Exp goes out at the next tick, to a device that has had its
        // time after the reset.
        return false;
    }
    return rockingStep();
}

bool ExpController::rockingStep()
{
    if (setupmemory::takesRockingRequest(record().sngVersion)) {
        if (!mayGoOn())
            return false;
        intLastErr = objDevice->PurgeOFF(m_devAddr);
        if (!judge(commands::PurgeOFF.name, intLastErr))
            return false;
        m_display.statusVisible = false;
    }
    intSetupStep = 0;
    boldownload = false;
    return true;
}

void ExpController::update_Rot_Info()
{
    if (!mayGoOn())
        return;
    ByteBuffer times(readout::kRotTimesBytes);
    intLastErr = objDevice->Read_ROT_Times(m_devAddr, times);
    if (judge(commands::Read_ROT_Times.name, intLastErr))
        readout::takeRotationTimes(record(), times, m_display.channels);
    if (!mayGoOn())
        return;
    ByteBuffer speeds(readout::kRotSpeedBytes);
    intLastErr = objDevice->Read_ROT_Speed(m_devAddr, speeds);
    if (judge(commands::Read_ROT_Speed.name, intLastErr))
        readout::takeRotationSpeeds(record(), speeds, m_display.channels);
}

void ExpController::ReadSensors()
{
    if (!mayGoOn())
        return;
    ByteBuffer beams(readout::kSensorBytes);
    intLastErr = objDevice->Read_Sensor(m_devAddr, beams);
    if (!judge(commands::Read_Sensor.name, intLastErr))
        return;
    showSuccess(kReadSuccessful);
    for (int c = 0; c < kChannels; ++c)
        m_display.channels[c].sensor = readout::sensorText(c, beams[c]);
}

void ExpController::ReadSpeed()
{
    if (!mayGoOn())
        return;
    // A fall of the last poll still waits for a speed read near it: one
    // more try before this poll's times decide it.
    if (!readSpeedOnce(false) && m_fall.owed && !m_stopSent && mayGoOn())
        (void)readSpeedOnce(false);
}

bool ExpController::readSpeedOnce(bool afterPoll)
{
    if (!mayGoOn())
        return false;
    ByteBuffer speed(readout::kSpeedBytes);
    intLastErr = objDevice->Read_Speed(m_devAddr, speed);
    // A failed read keeps the last speed: taking 0 instead would record a
    // run that ends in this poll with a speed of 0.0.
    m_speedFresh = judge(commands::Read_Speed.name, intLastErr);
    if (m_speedFresh) {
        showSuccess(kReadSuccessful);
        record().sngSpeed = readout::speedOf(speed);
        // Once Stop_Exp has gone out the wheel runs down: no fall's speed.
        if (!m_stopSent) {
            if (afterPoll) {
                m_fall.readings.readAfterPoll(record().sngSpeed);
                m_fall.settle(record(), false);
            } else {
                m_fall.readings.read(record().sngSpeed);
            }
        }
    }
    m_display.txtspeed = formatSpeed(record().sngSpeed);
    return m_speedFresh;
}

bool ExpController::readSpeedBeforeStop()
{
    ReadSpeed();
    if (!m_speedFresh)
        m_controlError = m_display.txtDisplay;
    return m_speedFresh;
}

void ExpController::Read_Times()
{
    if (!mayGoOn())
        return;
    ByteBuffer times(readout::kTimesBytes);
    intLastErr = objDevice->Read_Times(m_devAddr, times);
    if (!judge(commands::Read_Times.name, intLastErr))
        return;
    m_timesTaken = true;
    ++m_counters.polls;
    readout::TimesPoll poll;
    poll.BolStopping = BolStopping;
    poll.stopSpeed = m_stopSpeed;
    poll.stopSent = m_stopSent;
    poll.bolstop = bolstop;
    poll.startedUnseen = std::exchange(m_startedUnseen, 0);
    poll.speeds = &m_fall;
    poll.speedJustRead = m_speedFresh && !m_stopSent; // (after a stop it was not taken)
    poll.now = m_now();
    poll.updateexpdata = [this](int channel, bool runOver) { updateexpdata(channel, runOver); };
    readout::takeTimes(record(), times, m_display.channels, poll);
    if (poll.bolstop && !bolstop)
        noteStop(StopCause::Duration);
    bolstop = poll.bolstop;
    showSuccess(kReadSuccessful);
}

void ExpController::finishRun()
{
    if (m_sessionOpen) {
        m_sessionOpen = false;
        m_log.writeRepeats();
        logEvent(QStringLiteral("Experiment stopped (%1), %2 run(s) recorded")
                         .arg(m_stopCause == StopCause::Duration
                                      ? QStringLiteral("the session duration ended")
                                      : m_stopCause == StopCause::Close
                                      ? QStringLiteral("the window was closed")
                                      : QStringLiteral("\"Stop Experiment\""))
                         .arg(m_sessionRuns));
    }
    m_stopSent = false;
    runningExperiments().remove(this);
    bolrunning = false;
    BolStopping = false;
    // The stop has been carried out; left set it would send Stop_Exp again
    // the next time the timer runs (an upload after the run).
    bolstop = false;
    if (objTimer)
        objTimer->setEnabled(false);
    showSuccess(kSuccessful);
    m_controls.frmexpsetup = true;
    m_controls.cmdStartall = m_controls.cmdrestart = false;
    m_controls.cmdCalc_Accel = m_controls.cmdload = m_controls.cmdch_template = true;
    m_controls.cmdstartexp = true;
    m_controls.cmdstop_exp = false;
    // The stop ended every run: each channel shows what a subject's own end
    // leaves, its idle caption and the run's recorded time.
    DeviceInfo &rec = record();
    for (int c = 0; c < kChannels; ++c) {
        ChannelView &view = m_display.channels[c];
        if (bitSet(rec.bytPrevChanBits, c))
            view.runTime = format1(rec.sngRunTime[c]);
        view.caption = QStringLiteral("Subject ID");
        view.buttonEnabled = true;
    }
    m_display.txtch_enables = QStringLiteral("0");
    if (!m_dataFile.allWritten()) {
        const bool ok = m_dataFile.retry();
        if (ok != m_dataFileOk) {
            m_dataFileOk = ok;
            emit dataFileState(ok);
        }
    }
    emit runFinished();
}

void ExpController::updateexpdata(int channel, bool runOver)
{
    DeviceInfo &rec = record();
    const int c = channel;
    if (bitSet(rec.bytRotBits, c) && !runOver)
        return;
    rec.bolResultReady[c] = false;
    if (rec.strSubID[c].isEmpty())
        rec.strSubID[c] = QStringLiteral("Channel %1").arg(c + 1);
    // A fall with no speed read near it takes the set-up's ramp, and says so.
    const std::uint8_t bit = std::uint8_t(1u << c);
    m_fall.settle(rec, c, true);
    const bool fromRamp = m_fall.fromRamp & bit;
    m_fall.fromRamp &= std::uint8_t(~bit);
    rec.sngTotalTime[c] = rec.sngRotTime[c] + rec.sngRunTime[c];
    const float lastColumn = m_accumulate ? m_subjects.accumulate(rec.strSubID[c], rec.sngTotalTime[c])
                                          : rec.sngTotalTime[c];
    QString idNote;
    const QStringList cells = datafile::runCells(rec, c, lastColumn, &idNote);
    if (!idNote.isEmpty())
        logEvent(idNote);
    const bool written = m_dataFile.append(datafile::csvLine(cells));
    ++m_counters.recordedRuns;
    ++m_sessionRuns;
    logEvent(SessionLog::runLine(cells, unitsText(rec.bytExpOptions))
             + (fromRamp ? logtext::kSpeedFromRamp
                                + QStringLiteral(
                                          "%1 s into the session: no reading of the wheel speed near it)")
                                          .arg(format1(m_fall.fallTime[c]))
                         : QString())
             + (written ? QString() : QStringLiteral(" (the data file is not written yet: the row waits)")));
    emit rowRecorded(cells);
    if (written != m_dataFileOk) {
        m_dataFileOk = written;
        emit dataFileState(written);
    }
}

void ExpController::recordInProgress()
{
    DeviceInfo &rec = record();
    for (int c = 0; c < kChannels; ++c) {
        if (!rec.bolResultReady[c])
            continue;
        // Still running in the last reply: the run so far, as the window
        // showed it. Otherwise the reply already held the run's length.
        if (bitSet(rec.bytChanBits, c) && bitSet(rec.bytPrevChanBits, c))
            rec.sngRunTime[c] = readout::liveRunTime(rec, c);
        updateexpdata(c, true);
    }
}

} // namespace velorix
