#pragma once

// The control core of one experiment window, without widgets: the request
// flags the buttons set, the poll timer and its tick, the timed set-up
// transfers, the readout and the recording of results. The window shows
// what display() and controls() hold and forwards its buttons here; tests
// drive the same object through its tick.
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
#include "experiment/core/expdatafile.h"
#include "experiment/core/readout.h"
#include "experiment/core/sessionlog.h"
#include "experiment/core/setupvalues.h"
#include "experiment/core/subjectlist.h"
#include "link/serialbackend.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace velorix {

class ccrpTimer;
class LinkTurns;
class multiVelorix;

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

// What the window shows, kept here so that it outlives a closed window
// and tests can read it.
struct ExpDisplay
{
    QString txtDisplay;
    QString statusPanel; // second panel of sbexpbar, copied at the end of each tick
    QString txtspeed = QStringLiteral("00.0");
    QString txttime;
    QString txtch_enables;
    ChannelViews channels;
    bool statusVisible = false; // frmstatus
    QString lblstatus;
    int prbstatus = 0;
};

// Which buttons and frames the run state allows.
struct ExpControls
{
    bool cmdstartexp = true;
    bool cmdstop_exp = false;
    bool cmdrestart = false;
    bool cmdStartall = false;
    bool frmexpsetup = true;
    bool cmdCalc_Accel = true;
    bool cmdload = true;
    bool cmdch_template = true;
};

// Tallies for the benchmark and the tests.
struct ExpCounters
{
    int ticks = 0;  // ticks that ran (not put off)
    int polls = 0;  // polls whose Read_Times succeeded
    int putOff = 0; // ticks put off because the link was busy
    int recordedRuns = 0;
    std::map<int, int> errors; // result code -> commands that failed with it
};

class ExpController final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSetupSteps = 13; // the progress bar's end

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
    [[nodiscard]] bool isUnloaded() const { return m_unloaded; }

    // Button requests; the next tick carries them out.
    void requestStop();     // "Stop Experiment"
    void requestRestart();  // "ReStart Exp"
    void requestStartAll(); // "Master Start"
    // "Upload": the timed upload of the device's set-up into the boxes.
    void requestUpload();
    // "Download": packs the boxes and downloads the set-up (timed, ending
    // with the device reset) without starting an experiment.
    void requestDownload(const SetupTexts &setup);
    // Whether a timed transfer is in progress (Start waits for its end).
    [[nodiscard]] bool isTransferring() const { return bolupload || boldownload; }

    // The start sequence once a data file has been chosen (the record holds
    // its names): packs the set-up, writes the header unless appending,
    // arms the channels and requests the download. False when the header
    // could not be written; nothing has been sent then.
    bool startExperiment(const SetupTexts &setup, bool append);
    // The data file's Cancel: as "Stop Experiment", with Start enabled again.
    void cancelStart();

    // The tick, objTimer_Timer; the argument is not used.
    void objTimer_Timer(std::int32_t milliseconds = 0);
    [[nodiscard]] bool inTick() const { return m_inTick; }
    // Unloaded inside a wait (its own tick's, or another window's exchange):
    // it finishes the stop and reset later and then deletes itself, so its
    // owner must let it go.
    [[nodiscard]] bool finishesLater() const { return m_abandoned; }
    // A close put off until the link is free, carried out now (the link must
    // be free): when the turn comes, or when the program ends first.
    void finishDeferredUnload();

    // The column 7 choice of chkaccum_time.
    void setAccumulate(bool accumulate) { m_accumulate = accumulate; }
    [[nodiscard]] SubjectList &subjects() { return m_subjects; }
    // The subject ID of a channel, typed or assigned. False, and the ID
    // kept, when it holds what the data file cannot (model/fieldtext.h).
    bool setSubjectId(int channel, const QString &id);

    [[nodiscard]] int deviceIndex() const { return m_devIndex; }
    [[nodiscard]] DeviceInfo &record() const;
    [[nodiscard]] const ExpDisplay &display() const { return m_display; }
    [[nodiscard]] const ExpControls &controls() const { return m_controls; }
    [[nodiscard]] const ExpCounters &counters() const { return m_counters; }
    [[nodiscard]] const ExpDataFile &dataFile() const { return m_dataFile; }
    [[nodiscard]] ccrpTimer *timer() const { return objTimer; }

    // The window's fields, named as the window has always named them.
    bool bolstart = false;
    bool bolstop = false;
    bool BolStopping = false;
    bool bolrunning = false;
    bool bolstartALL = false;
    bool bolupload = false;
    bool boldownload = false;
    std::int16_t intSetupStep = 0;
    std::int16_t intLastErr = 0;
    std::int16_t intRockInterval = 0;
    QDateTime dtNextRock; // invalid: due at once

signals:
    // display() or controls() changed: the window shows them again.
    void changed();
    // The upload has ended: the boxes show the record (iniexp_values).
    void setupArrived();
    // A run's row went to the data file; the grid shows it too.
    void rowRecorded(const QStringList &cells);
    // The run has finished (stopped, timer off).
    void runFinished();
    // Whether every recorded line is on disk changed (the status bar says).
    void dataFileState(bool allWritten);
    // The session log beside the data file could not be written (told once
    // a session); the run and its data file go on without it.
    void sessionLogFailed(const QString &logFile);

private:
    void tick();
    [[nodiscard]] bool mayGoOn() const { return !m_abandoned && objDevice; }
    [[nodiscard]] static LinkTurns *linkTurns();
    [[nodiscard]] bool linkBusyElsewhere() const;
    // Takes a place in the line for the link (once); the tick runs in its turn.
    void queueForLink();
    void leaveLinkLine();
    // The tick's own work, once the link is ours.
    void takeTurn();

    bool UploadStep();
    bool DownloadStep();
    bool rockingStep();
    void update_Rot_Info();
    void ReadSensors();
    void ReadSpeed();
    // One Read_Speed: true when it got through (the speed is then taken).
    bool readSpeedOnce(bool afterPoll);
    bool readSpeedBeforeStop();
    // The device's session time starts again from 0 (Start_Exp).
    void sessionTimeRestarts();
    // "Channels running: ...", after each start.
    void logChannelsRunning();
    [[nodiscard]] QString subjectOf(int channel) const;
    enum class StartState {
        NotStarted,
        Started,
        Unknown
    };
    [[nodiscard]] StartState startState();
    void startSucceeded();
    // `running`: the channels on when the start went out.
    void restartRunningChannels(std::uint8_t running);
    void startAllSucceeded(std::uint8_t runningBefore, bool answerLost);
    // After the poll that followed a Master Start whose answer was lost.
    void judgeStartAll();
    void channelsStarted();
    void Read_Times();
    void finishRun();

    void updateexpdata(int channel, bool runOver);
    // Records every run still waiting for its result from the last good
    // reply: what the run had reached when the device last answered.
    void recordInProgress();
    // The stop of a run whose window closes: tried like "Stop Experiment",
    // then whatever is known is recorded.
    void stopBeforeUnload();
    void runTick();
    void finishUnload();

    // Shows a failed command's code and notes it in the session log; true
    // when the command succeeded.
    bool judge(const char *command, std::int16_t result);
    // What ended (or is ending) the run, for the session log.
    enum class StopCause {
        None,
        Button,
        Duration,
        Close
    };
    void noteStop(StopCause cause);
    void logEvent(const QString &text) { m_log.write(text); }
    void showSuccess(const QString &text) { m_display.txtDisplay = text; }
    void wait(int milliseconds);
    void resetDevice(bool patient);
    void releaseAfterTick();

    int m_devIndex = 0;
    std::uint8_t m_devAddr = 0;
    std::unique_ptr<multiVelorix> objDevice;
    ccrpTimer *objTimer = nullptr;
    ExpPacing m_pacing;
    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTime(); };

    ExpDisplay m_display;
    ExpControls m_controls;
    ExpCounters m_counters;
    ExpDataFile m_dataFile;
    SubjectList m_subjects;
    bool m_accumulate = false;
    bool m_startAfterDownload = false;
    bool m_inTick = false;
    bool m_tickOwed = false; // a period ended while a put-off tick ran
    bool m_abandoned = false;
    bool m_unloaded = false;
    bool m_dataFileOk = true;
    bool m_timesTaken = false;          // Read_Times succeeded in this tick
    bool m_speedFresh = true;           // the last Read_Speed succeeded
    bool m_startMayHaveArrived = false; // a failed Start_Exp may have reached the device
    bool m_stopSent = false;            // a Stop_Exp of this run went out
    bool m_holdingLink = false;         // inside a tick that holds the link's turn
    std::uint8_t m_startedUnseen = 0;   // channels started, no reply seen since
    int m_stopReadFailures = 0;         // stop ticks whose final reads failed
    // A start, stop or Master Start that failed in this tick: its "Error #"
    // stays in the display over the poll's "READ successful", so a stop the
    // device keeps refusing shows after every try.
    QString m_controlError;
    float m_stopSpeed = 0.0f;
    readout::FallSpeeds m_fall;                        // the speed readings dated for the falls
    bool m_startAllUnsure = false;                     // a Start_ALL's answer was lost
    std::uint8_t m_bitsAtStartAll = 0;                 // the running bits when it went out
    std::array<float, kChannels> m_startsAtStartAll{}; // the channels' starts then
    SessionLog m_log{[this] { return m_now(); }};
    StopCause m_stopCause = StopCause::None;
    bool m_sessionOpen = false; // from the start until the stop is logged
    int m_sessionRuns = 0;
};

} // namespace velorix
