#pragma once

// The control core of one experiment window, without widgets: the run's
// phase (runphase.h holds its table) and the buttons' requests, the poll
// timer and its tick. The tick looks at the phase and sends, in a fixed
// order, what the phase and the requests call for; the set-up transfer,
// the poll, the recording and the link's turns each have a class of their
// own. The window shows what view() holds and forwards its buttons here;
// tests drive the same object through its tick.
//
// Every device command of a run goes out from the tick, in a fixed order.
// A command waits for its reply in a nested event loop, so other windows'
// ticks and the user's clicks run meanwhile:
// - a tick never runs inside another tick of the same window;
// - a tick that falls due while another window's exchange holds the shared
//   link, or while other windows wait for it, is put off until its turn
//   comes (the link says when an exchange ends; windows go in the order
//   they came) instead of failing all its commands with 1001;
// - the window may be closed while its tick waits: the tick then sends
//   nothing more, records what its last reply brought, resets the device
//   and releases the controller itself once it has unwound.

#include "model/deviceinfo.h"
#include "experiment/core/expview.h"
#include "experiment/core/rundevice.h"
#include "experiment/core/runphase.h"
#include "experiment/core/runpoll.h"
#include "experiment/core/runrecorder.h"
#include "experiment/core/setuptransfer.h"
#include "experiment/core/setupvalues.h"
#include "experiment/core/tickturns.h"
#include "experiment/core/trialclock.h"
#include "link/serialbackend.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace velorix {

class ccrpTimer;

struct ExpPacing
{
    int firstIntervalMs = 20;  // the first tick after the load
    int pollIntervalMs = 100;  // every tick after it
    int downloadWaitMs = 1000; // each of the two waits of the download's reset step
    int unloadWaitMs = 200;    // after the timer stops at unload
    // False: a tick runs into a busy link and every command it sends is
    // refused with 1001, as the program did before ticks waited (kept for
    // the benchmark's comparison).
    bool waitForLink = true;
    int resetPatienceMs = 1000; // how long the unload waits for a busy link to reset
    // Ticks in which the run's final reads are tried again after Stop_Exp
    // got through but the reads failed, before the runs in progress are
    // recorded from the last good reply.
    int stopReadTries = 10;
    // Closing during a run stops it first, as "Stop Experiment" does: how
    // long the close keeps trying, and the pause between its tries.
    int closeStopPatienceMs = 3000;
    int closeStopPauseMs = 100;
};

class ExpController final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSetupSteps = SetupTransfer::kSetupSteps;

    // Serves Devices[deviceIndex]; nothing is sent before load().
    explicit ExpController(int deviceIndex, QObject *parent = nullptr);
    ~ExpController() override;

    void setPacing(const ExpPacing &pacing) { m_pacing = pacing; }
    void setClock(std::function<QDateTime()> clock) { m_now = std::move(clock); }

    // The device part of the window's load: the poll timer (20 ms, on), the
    // protocol object, the port, a reset, and the upload request. False when
    // the port could not be selected; `error` then says why, and the upload
    // is not requested.
    bool load(PortError *error);
    // The unload: timer off, the wait, a device reset, the protocol object
    // released. Finished results still waiting for their passive rotation
    // are recorded first. Inside this controller's own tick (the window was
    // closed while the tick waited) the reset and the release follow when
    // the tick has unwound, and the controller then deletes itself.
    void unload(bool wait);
    [[nodiscard]] bool isUnloaded() const { return m_presence != Presence::Open; }

    // Button requests; the next tick carries them out.
    void requestStop();     // "Stop Experiment"
    void requestRestart();  // "ReStart Exp", while running
    void requestStartAll(); // "Master Start", while running
    // "Upload": the timed upload of the device's set-up into the boxes.
    // False, and nothing asked for, unless the run is idle.
    bool requestUpload();
    // "Download": packs the boxes and downloads the set-up (timed, ending
    // with the device reset) without starting an experiment. False, and
    // nothing packed, unless the run is idle.
    bool requestDownload(const SetupTexts &setup);

    // The start sequence once a data file has been chosen (the record holds
    // its names): packs the set-up, writes the header unless appending,
    // arms the channels and starts the download. False when the header
    // could not be written, or the run is not idle; nothing has been sent then.
    bool startExperiment(const SetupTexts &setup, bool append);
    // The data file's Cancel: as "Stop Experiment", with Start enabled again.
    void cancelStart();

    // The tick, objTimer_Timer; the argument is not used.
    void objTimer_Timer(std::int32_t milliseconds = 0);
    [[nodiscard]] bool inTick() const { return m_inTick; }
    // Unloaded inside a wait (its own tick's, or another window's exchange):
    // it finishes the stop and reset later and then deletes itself, so its
    // owner must let it go.
    [[nodiscard]] bool finishesLater() const { return m_presence == Presence::ClosingLater; }
    // A close put off until the link is free, carried out now (the link must
    // be free): when the turn comes, or when the program ends first.
    void finishDeferredUnload();

    // The rest between trials, in seconds (0: none).
    void setRestSeconds(int seconds) { m_trials.setRest(seconds); }
    [[nodiscard]] const TrialClock &trials() const { return m_trials; }

    // The column 7 choice of chkaccum_time.
    void setAccumulate(bool accumulate) { m_recorder.setAccumulate(accumulate); }
    [[nodiscard]] SubjectList &subjects() { return m_recorder.subjects(); }
    // The subject ID of a channel, typed or assigned. False, and the ID
    // kept, when it holds what the data file cannot (model/fieldtext.h).
    bool setSubjectId(int channel, const QString &typed);

    [[nodiscard]] int deviceIndex() const { return m_devIndex; }
    [[nodiscard]] DeviceInfo &record() const;
    // All the window shows of the run.
    [[nodiscard]] ExpView view() const;
    [[nodiscard]] const ExpDisplay &display() const { return m_display; }
    [[nodiscard]] ExpControls controls() const { return view().controls; }
    [[nodiscard]] RunPhase phase() const { return m_run.phase(); }
    [[nodiscard]] bool isRunning() const { return m_run.running(); }
    [[nodiscard]] bool isTransferring() const { return m_run.transferring() || m_requests.rocking; }
    [[nodiscard]] const RunRequests &requests() const { return m_requests; }
    [[nodiscard]] const ExpCounters &counters() { return m_recorder.counters(); }
    [[nodiscard]] const ExpDataFile &dataFile() const { return m_recorder.dataFile(); }
    [[nodiscard]] ccrpTimer *timer() const { return objTimer; }
    // The set-up transfer's step counter, its rocking interval and when the
    // next rocking request falls due.
    [[nodiscard]] SetupTransfer &transfer() { return m_transfer; }

signals:
    // view() changed: the window shows it again.
    void changed();
    // The upload has ended: the boxes show the record (iniexp_values).
    void setupArrived();
    // A run's row went to the data file; the grid shows it too.
    void rowRecorded(const QStringList &cells);
    // The run has finished (stopped, timer off).
    void runFinished();
    // The rest after a trial has run out: the window beeps.
    void restOver();
    // Whether every recorded line is on disk changed (the status bar says).
    void dataFileState(bool allWritten);
    // The session log beside the data file could not be written (told once
    // a session); the run and its data file go on without it.
    void sessionLogFailed(const QString &logFile);

private:
    // The controller's own life: open, closed but finishing its stop and
    // reset once the wait below it has unwound, or closed.
    enum class Presence {
        Open,
        ClosingLater,
        Closed
    };

    void moveTo(RunPhase phase);
    // The tick's own work, once the link is ours.
    void takeTurn();
    void runTick();
    void tick();
    // The tick's steps, in their order; each looks at the phase.
    [[nodiscard]] bool transferStep();
    void startStep();
    void stopStep();
    void masterStartStep();
    void pollStep();
    void finishStep();

    enum class StartState {
        NotStarted,
        Started,
        Unknown
    };
    [[nodiscard]] StartState startState();
    void startSucceeded();
    void startFailed();
    // `running`: the channels on when the start went out.
    void restartRunningChannels(std::uint8_t running);
    void startAllSucceeded(std::uint8_t runningBefore, bool answerLost);
    // After the poll that followed a Master Start whose answer was lost.
    void judgeStartAll();
    void channelsStarted();
    void readTimes();
    void finishRun();
    void showChannelsStopped();
    // Every start begins a trial; the tick keeps its status and its rest.
    void beginTrial();
    void followTrials();

    // A channel's result, unless it waits for its passive rotation.
    void updateexpdata(int channel, bool runOver);
    // Records every run still waiting for its result from the last good
    // reply: what the run had reached when the device last answered.
    void recordInProgress();
    // The stop of a run whose window closes: tried like "Stop Experiment",
    // then whatever is known is recorded.
    void stopBeforeUnload();
    void finishUnload();
    void releaseAfterTick();
    void resetDevice(bool patient);
    // A wait inside the tick, with the window shown and the link let go.
    void wait(int milliseconds);
    [[nodiscard]] bool stopSent() const;
    void logEvent(const QString &text) { m_recorder.logEvent(text); }

    int m_devIndex = 0;
    std::uint8_t m_devAddr = 0;
    ccrpTimer *objTimer = nullptr;
    ExpPacing m_pacing;
    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTime(); };

    RunPhaseMachine m_run;
    RunRequests m_requests;
    Presence m_presence = Presence::Open;
    bool m_inTick = false;
    // Inside recordInProgress(): the runs still on the wheel are recorded
    // from the last good reply.
    bool m_recordingFromLastReply = false;
    ExpDisplay m_display;
    RunRecorder m_recorder;
    TrialClock m_trials;
    RunDevice m_device;
    SetupTransfer m_transfer;
    RunPoll m_poll;
    TickTurns m_turns{this};
    // A start, stop or Master Start that failed in this tick: its "Error #"
    // stays in the display over the poll's "READ successful", so a stop the
    // device keeps refusing shows after every try.
    QString m_controlError;
    int m_stopReadFailures = 0; // stop ticks whose final reads failed
    // A Master Start whose answer was lost: the running bits and the
    // channels' starts when it went out.
    std::uint8_t m_bitsAtStartAll = 0;
    std::array<float, kChannels> m_startsAtStartAll{};
};

} // namespace velorix
