// The tick of ExpController and its steps: what the phase and the
// requests call for, sent in a fixed order, and the changes of phase the
// replies make.

#include "experiment/core/expcontroller.h"

#include "base/ccrptimer.h"
#include "model/runningexperiments.h"
#include "experiment/core/expnumbers.h"
#include "protocol/channelbits.h"
#include "protocol/commandtable.h"
#include "link/linkresults.h"

#include <QScopedValueRollback>

namespace velorix {

namespace {

const QString kSuccessful = QStringLiteral("successful");

} // namespace

void ExpController::tick()
{
    m_controlError.clear();
    m_poll.beginTick();
    // 1, 2: the timed transfers; a failed step ends the tick.
    if (!transferStep())
        return;
    startStep();       // 3
    stopStep();        // 4
    masterStartStep(); // 5
    pollStep();        // 6
    finishStep();      // 7
    // 8
    if (!m_controlError.isEmpty())
        m_display.txtDisplay = m_controlError;
    m_display.statusPanel = m_display.txtDisplay;
    followTrials();
}

void ExpController::followTrials()
{
    // The countdown only shows and beeps; nothing goes to the device.
    const QDateTime now = m_now();
    const QString over = m_trials.restEnded(now);
    if (!over.isEmpty()) {
        logEvent(over);
        emit restOver();
    }
    m_display.trialText = m_trials.statusText(now);
}

void ExpController::beginTrial()
{
    // (The status text follows at the tick's end.)
    for (const QString &line : m_trials.begin())
        logEvent(line);
}

bool ExpController::transferStep()
{
    using Step = SetupTransfer::Step;
    DeviceInfo &rec = record();
    if (m_run.is(RunPhase::Uploading)) {
        const Step step = m_transfer.uploadStep(rec);
        if (step == Step::Done) {
            moveTo(RunPhase::Idle);
            emit setupArrived();
        }
        return step != Step::Failed;
    }
    if (m_run.is(RunPhase::Downloading) || m_run.is(RunPhase::Arming)) {
        const Step step = m_transfer.downloadStep(rec, m_pacing.downloadWaitMs);
        if (step != Step::Done)
            return step == Step::Going;
        // A start asked for goes out at the next tick, to a device that has
        // had its time after the reset; a stop asked for meanwhile goes
        // instead of it.
        moveTo(m_run.is(RunPhase::Arming) && !m_requests.stopWanted() ? RunPhase::Starting : RunPhase::Idle);
        m_transfer.afterReset(m_pacing.downloadWaitMs);
        return false;
    }
    if (m_requests.rocking) {
        if (m_transfer.rockingStep(rec) == Step::Failed)
            return false;
        m_requests.rocking = false;
    }
    return true;
}

// 3: the start. A Start_Exp whose answer was lost may still have started
// the device; sent again it would start the session over and lose the
// runs that ended meanwhile, so the device is asked first.
void ExpController::startStep()
{
    const bool wanted = m_run.is(RunPhase::Running)
            ? m_requests.restart
            : (m_run.is(RunPhase::Starting) || m_run.is(RunPhase::StartUnsure)) && !m_requests.stopWanted();
    if (!wanted || !m_device.mayGoOn())
        return;
    const StartState state = m_run.is(RunPhase::StartUnsure) ? startState() : StartState::NotStarted;
    if (state == StartState::Started) {
        startSucceeded();
        return;
    }
    if (state == StartState::NotStarted) {
        m_device.intLastErr = m_device.commands().Start_Exp(m_devAddr);
        if (m_device.judge(commands::Start_Exp.name, m_device.intLastErr)) {
            startSucceeded();
            return;
        }
        if (!m_run.is(RunPhase::Running))
            moveTo(m_device.intLastErr != rc::Busy ? RunPhase::StartUnsure : RunPhase::Starting);
    }
    m_controlError = m_display.txtDisplay;
}

// 4: the stop, or the poll period from the second tick on.
void ExpController::stopStep()
{
    if (!m_requests.stopWanted()) {
        if (objTimer && !isUnloaded()) {
            // Setting the same interval again would restart the period each
            // tick and stretch it by the tick's own length.
            if (objTimer->Interval() != m_pacing.pollIntervalMs)
                objTimer->setInterval(m_pacing.pollIntervalMs);
            objTimer->setEnabled(true);
        }
        return;
    }
    // The runs the stop cuts short get the speed the wheel turns at now;
    // after polls that got no speed it is read first, and a stop the device
    // could not even be asked that of waits a tick.
    if (!m_device.mayGoOn())
        return;
    const bool sentBefore = stopSent();
    if (!sentBefore && m_run.running() && !m_poll.speedFresh()) {
        m_poll.readSpeed(record(), false);
        if (!m_poll.speedFresh()) {
            m_controlError = m_display.txtDisplay;
            return;
        }
    }
    // A stop whose answer was lost may have stopped the wheel: the speed
    // read after it would be 0, so the first try's speed stays.
    if (!sentBefore)
        m_poll.keepStopSpeed(record().sngSpeed);
    m_device.intLastErr = m_device.commands().Stop_Exp(m_devAddr);
    if (m_device.judge(commands::Stop_Exp.name, m_device.intLastErr)) {
        // Once through, the stop is not sent again, also while its final
        // reads are being retried.
        m_requests.stop = RunRequests::Stop::None;
        moveTo(m_run.running() ? RunPhase::Stopping : RunPhase::Cancelling);
        m_stopReadFailures = 0;
        return;
    }
    if (m_device.intLastErr != rc::Busy)
        m_requests.stop = RunRequests::Stop::SentUnproven;
    m_controlError = m_display.txtDisplay;
}

bool ExpController::stopSent() const
{
    return m_run.stopConfirmed() || m_requests.stop == RunRequests::Stop::SentUnproven;
}

// 5: Master Start. Once the stop is under way it is dropped: the device
// ignores a start after Stop_Exp, and counting its channels as started
// would record their finished runs a second time from the final reply. A
// Master Start whose answer was lost may have started the channels; sent
// again it would start them over and lose a run that ended meanwhile, so
// the poll after it is looked at first.
void ExpController::masterStartStep()
{
    using MasterStart = RunRequests::MasterStart;
    if (m_requests.stopWanted() || m_run.stopConfirmed())
        m_requests.masterStart = MasterStart::None;
    if (m_requests.masterStart != MasterStart::Wanted || !m_device.mayGoOn())
        return;
    m_device.intLastErr = m_device.commands().Start_ALL(m_devAddr);
    if (m_device.judge(commands::Start_ALL.name, m_device.intLastErr)) {
        startAllSucceeded(record().bytChanBits, false);
        return;
    }
    m_controlError = m_display.txtDisplay;
    if (m_device.intLastErr != rc::Busy) {
        m_requests.masterStart = MasterStart::AnswerLost;
        m_bitsAtStartAll = record().bytChanBits;
        m_startsAtStartAll = m_poll.fall().startTime;
    }
}

// 6: the poll, and the rocking request when it is due.
void ExpController::pollStep()
{
    if (!m_run.running() && !m_requests.stopWanted() && !m_run.stopConfirmed())
        return;
    DeviceInfo &rec = record();
    m_poll.readRotation(rec);
    m_poll.readSensors();
    m_poll.readSpeed(rec, stopSent());
    readTimes();
    if (m_requests.masterStart == RunRequests::MasterStart::AnswerLost && m_poll.timesTaken())
        judgeStartAll();
    // A fall seen in this poll without a speed read near it: the speed is
    // read again at once, while the wheel is still within a step of where
    // it was.
    if (m_poll.fallOwesSpeed() && !stopSent())
        (void)m_poll.readSpeedOnce(rec, true, false);
    readout::updatetimes(rec, m_display.channels, m_display.txttime, m_display.txtch_enables);
    if (m_presence != Presence::ClosingLater && m_run.is(RunPhase::Running) && m_transfer.rockingDue(m_now()))
        m_requests.rocking = true;
}

void ExpController::readTimes()
{
    readout::TimesPoll poll;
    poll.BolStopping = m_run.stopConfirmed();
    poll.stopSent = stopSent();
    poll.bolstop = m_requests.stopWanted();
    poll.now = m_now();
    poll.updateexpdata = [this](int channel, bool runOver) { updateexpdata(channel, runOver); };
    if (!m_poll.readTimes(record(), poll))
        return;
    ++m_recorder.counters().polls;
    if (poll.bolstop && !m_requests.stopWanted()) {
        m_recorder.noteStop(StopCause::Duration, record().intDuration);
        m_requests.stop = RunRequests::Stop::Wanted;
    }
}

// 7: the run is over once its final reply has been read. A failed read is
// tried again at the next ticks (the device has stopped and keeps its
// times); only then are the runs recorded from the last good reply.
void ExpController::finishStep()
{
    if (!m_run.stopConfirmed())
        return;
    if (m_poll.timesTaken()) {
        finishRun();
        return;
    }
    if (++m_stopReadFailures < m_pacing.stopReadTries)
        return;
    logEvent(QStringLiteral("Read_Times to %1 failed after the stop: the runs in progress are recorded from "
                            "the last reply")
                     .arg(m_devAddr));
    recordInProgress();
    finishRun();
}

void ExpController::startSucceeded()
{
    DeviceInfo &rec = record();
    m_poll.sessionTimeRestarts(rec);
    // The wheel turns at the start speed from here; the speed last read
    // (0.0, from the stopped wheel) must not stand for it until the first
    // Read_Speed of the run gets through.
    if (!m_run.is(RunPhase::Running)) {
        rec.sngSpeed = rec.intStartSpeed / 10.0f;
        channelsStarted();
        logEvent(logtext::kStarted + QStringLiteral("Start_Exp to %1").arg(m_devAddr));
        m_trials.startSession();
    } else {
        logEvent(logtext::kRestarted + QStringLiteral("Start_Exp to %1").arg(m_devAddr));
        restartRunningChannels(rec.bytChanBits);
    }
    m_recorder.logChannelsRunning(rec);
    beginTrial();
    m_requests.restart = false;
    moveTo(RunPhase::Running);
    m_display.txtDisplay = kSuccessful;
}

void ExpController::startAllSucceeded(std::uint8_t runningBefore, bool answerLost)
{
    logEvent(logtext::kMasterStart + QStringLiteral("Start_ALL to %1").arg(m_devAddr)
             + (answerLost ? QStringLiteral(" (its answer was lost; the device shows the channels started)")
                           : QString()));
    m_requests.masterStart = RunRequests::MasterStart::None;
    restartRunningChannels(runningBefore);
    channelsStarted();
    // The session time goes on; the channels begin where it is now.
    m_poll.fall().startTime.fill(m_poll.fall().readings.lastPoll());
    m_recorder.logChannelsRunning(record());
    beginTrial();
    m_display.txtDisplay = kSuccessful;
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
        started = started || !bitSet(m_bitsAtStartAll, c)
                || m_poll.fall().startTime[c] > m_startsAtStartAll[c];
    }
    if (started)
        startAllSucceeded(m_bitsAtStartAll, true);
    else
        m_requests.masterStart = RunRequests::MasterStart::Wanted; // it never arrived: sent again
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
        if (bitSet(running, c)) {
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
    m_poll.channelsStarted();
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
    m_device.intLastErr = m_device.commands().Read_Times(m_devAddr, times);
    if (!m_device.judge(commands::Read_Times.name, m_device.intLastErr))
        return StartState::Unknown;
    const bool started = (times[8] & 0x0F) != 0 || times[9] != 0 || times[10] != 0;
    return started ? StartState::Started : StartState::NotStarted;
}

void ExpController::finishRun()
{
    m_trials.endSession();
    m_display.trialText = m_trials.statusText(m_now());
    m_recorder.closeSession();
    runningExperiments().remove(this);
    // The stop has been carried out, and whatever else the run asked for
    // with it: left standing, a request would go out the next time the
    // timer runs (an upload after the run).
    m_requests = RunRequests{};
    m_transfer.restart();
    moveTo(RunPhase::Idle);
    if (objTimer)
        objTimer->setEnabled(false);
    m_display.txtDisplay = kSuccessful;
    showChannelsStopped();
    m_recorder.retryAfterRun();
    emit runFinished();
}

void ExpController::showChannelsStopped()
{
    // The stop ended every run: each channel shows what a subject's own end
    // leaves, its idle caption and the run's recorded time.
    const DeviceInfo &rec = record();
    for (int c = 0; c < kChannels; ++c) {
        ChannelView &view = m_display.channels[c];
        if (bitSet(rec.bytPrevChanBits, c))
            view.runTime = format1(rec.sngRunTime[c]);
        view.caption = QStringLiteral("Subject ID");
        view.buttonEnabled = true;
    }
    m_display.txtch_enables = QStringLiteral("0");
}

void ExpController::updateexpdata(int channel, bool runOver)
{
    DeviceInfo &rec = record();
    if (bitSet(rec.bytRotBits, channel) && !runOver)
        return;
    // A run the stop ends was still on the wheel in the reply before; one
    // only rotating then had ended by its fall.
    RunEnd end = RunEnd::Fall;
    if (runOver && bitSet(rec.bytPrevChanBits, channel))
        end = m_recordingFromLastReply ? RunEnd::LastGoodReply : m_recorder.stoppedRunEnd();
    m_recorder.recordRun(rec, channel, m_poll.fall(), end);
    const QString trialDone = m_trials.channelDone(channel, m_now());
    if (!trialDone.isEmpty())
        logEvent(trialDone);
}

void ExpController::recordInProgress()
{
    DeviceInfo &rec = record();
    const QScopedValueRollback<bool> fromLastReply(m_recordingFromLastReply, true);
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
