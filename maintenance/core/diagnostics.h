#pragma once

// One diagnostics window's work on one device, without widgets: the
// identification with the option bits, the single commands, the set-up
// transfers and the poll tick (sensors, wait, speed, wait, Read_Times in
// its diagnostics form). The window shows `view()` after each change.
//
// The session keeps its set-up, speed and readout in a device record of its
// own: the scan and the experiment windows never see it, and it never
// writes into theirs.
//
// Every wait processes events, so a button (this window's or another's)
// may run inside a tick; the tick never runs inside itself, and a session
// closed inside a wait touches nothing after it.
//
// A tick that falls due while another window's exchange holds the shared
// link (or while other windows wait for it) is put off until its turn
// comes, instead of failing its reads as busy; it holds its turn across
// its reads and lets go around its pauses.
//
// Where the session is, as one phase; `enter` makes every change and
// refuses one that is not in this table:
//
//   from          to            when
//   Idle          Polling       "Start Diag" or "Start Experiment" turns the timer on
//   Idle          AwaitingTurn  a tick called while the link is taken
//   Idle          Reading       a tick called (the timer is off: a test's call)
//   Polling       AwaitingTurn  the tick falls due while the link is taken
//   Polling       Reading       the tick falls due and the link is free
//   AwaitingTurn  Reading       the link's turn comes
//   Reading       Polling       sensors, speed and times read; no stop asked for
//   Reading       Stopping      ... and "Stop Diag" asked for the stop: timer off
//   Stopping      Idle          the device reset and the last pause are over
//   Stopping      Polling       ... and a start came in during the stop's pauses
//   any but Unloaded  Unloaded  the window closes; a tick in a pause ends there
//
// "Stop Diag" only asks (bolStopDiag, kept until the next "Start Diag",
// so every tick after a "Start Experiment" stops again); a start inside a
// tick changes nothing but the request, which the tick's end honours.

#include "model/deviceinfo.h"
#include "link/serialbackend.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace velorix {

class ccrpTimer;
class LinkTurns;
class multiVelorix;

struct DiagnosticsView
{
    QString txtDisplay;
    QString txtspeed = QStringLiteral("00.0");
    std::array<QString, kChannels> sensor{QStringLiteral("mmmmmmmm"), QStringLiteral("mmmmmmmm"),
                                          QStringLiteral("mmmmmmmm"), QStringLiteral("mmmmmmmm")};
    std::array<QString, kChannels> chSpeed;
    std::array<QString, kChannels> channelCaption{QStringLiteral("Start"), QStringLiteral("Start"),
                                                  QStringLiteral("Start"), QStringLiteral("Start")};
    std::array<bool, kChannels> channelEnabled{true, true, true, true};

    // The device reset: nothing runs there any more, whatever the last
    // reads showed; the message stays.
    void clearChannels()
    {
        const DiagnosticsView fresh;
        txtspeed = fresh.txtspeed;
        chSpeed = fresh.chSpeed;
        channelCaption = fresh.channelCaption;
        channelEnabled = fresh.channelEnabled;
    }
};

// The four set-up boxes of the window and the direction box.
struct DiagnosticsSetup
{
    QString startSpeed;  // txts_speed
    QString endSpeed;    // txte_speed
    QString accInterval; // txtacc_time
    QString accStep;     // txtacc_step
    bool ccw = false;    // optdir
};

struct DiagnosticsPacing
{
    int firstTickMs = 2000;    // the poll timer's interval until the first tick
    int tickMs = 500;          // after every tick
    int readGapMs = 100;       // between the tick's reads, and around the stop's reset
    int setupResetGapMs = 100; // around "Save Setup"'s reset
    int unloadMs = 200;        // after the timer stops at unload
};

class DiagnosticsSession : public QObject
{
    Q_OBJECT
public:
    enum class Phase {
        Idle,         // no polling: at load, and after a stop's reset
        Polling,      // the poll timer runs; between two ticks
        AwaitingTurn, // a tick fell due while the link was taken: in line for it
        Reading,      // a tick reads the sensors, the speed and the times
        Stopping,     // a tick that found the stop asked for: timer off, reset
        Unloaded,     // the window closed: nothing more goes out
    };

    explicit DiagnosticsSession(DiagnosticsPacing pacing = {}, QObject *parent = nullptr);
    ~DiagnosticsSession() override;

    // Selects the port; false (with the reason) when it cannot be used.
    bool openPort(const QString &port, PortError *error);

    void setAddress(std::uint8_t address) { bytDevAddr = address; }
    [[nodiscard]] std::uint8_t address() const { return bytDevAddr; }
    [[nodiscard]] DeviceInfo &record() { return m_record; }
    [[nodiscard]] const DiagnosticsView &view() const { return m_view; }
    [[nodiscard]] std::int16_t lastResult() const { return intLastErr; }
    [[nodiscard]] bool isPolling() const;
    [[nodiscard]] Phase phase() const { return m_phase; }

    // The buttons.
    void identify();                // "ReturnID": identity, then options (41) and direction (46)
    void reset();                   // "Reset"
    void busReset();                // "Bus Reset"
    void readSensors();             // "Read Sensors"
    void startDiag();               // "Start Diag": diagnostic mode, polling on
    void stopDiag();                // "Stop Diag": the next tick stops and resets
    void startChannel(int channel); // "Start" of channel 0..3
    void speedUp();                 // "^"
    void speedDown();               // "v"
    void upload();                  // Read_Exp_Setup: 34..41 and 46 into the record
    void download();                // Save_Exp_Setup: the record to 34..41 and 46
    void saveSetup();               // Save_Setup: options and direction, then a reset
    void startExperiment();         // set-up download, Start_Exp, polling on
    void stopExperiment();          // Stop_Exp

    // pack_exp_values and Pack_Setup: the boxes into the record. A box
    // whose number does not fit its field leaves the record as it was and
    // returns the message for the operator.
    [[nodiscard]] QString packSetup(const DiagnosticsSetup &setup);
    void packOptions(bool rpm, bool mouseWheel, bool ccw);
    // iniexp_values: the record's set-up as the four boxes show it.
    [[nodiscard]] DiagnosticsSetup shownSetup() const;

    // The poll tick; the timer calls it, tests may call it directly.
    void tick();

    // The window closes: polling stops, and after the unload's wait the
    // session lets go of the port. The device is not reset.
    void unload();

signals:
    void changed();
    void beep();

private:
    class TurnHold;

    // The one place the phase changes; a change not in the table above is
    // refused (the phase stays) and reported.
    void enter(Phase next);
    // "Start Diag" and "Start Experiment" turned the timer on.
    void pollingStarted();
    // The tick's work once the link is free for it.
    void runTick();
    void stopAfterReads(TurnHold &hold);
    [[nodiscard]] static LinkTurns *linkTurns();
    void show(const QString &text);
    void showResult(std::int16_t result, const QString &success);
    void showError(std::int16_t result);
    void readSpeed();
    void readTimes();
    [[nodiscard]] bool waitAndCarryOn(int milliseconds);
    // A pause of the tick: other windows have the link meanwhile.
    [[nodiscard]] bool pause(int milliseconds, TurnHold &hold);

    DiagnosticsPacing m_pacing;
    std::unique_ptr<multiVelorix> objDevice;
    ccrpTimer *objTimer = nullptr;
    DeviceInfo m_record;
    DiagnosticsView m_view;
    std::uint8_t bytDevAddr = 0;
    std::int16_t intLastErr = 0;
    Phase m_phase = Phase::Idle;
    bool bolStopDiag = false;     // "Stop Diag" asked: the next tick stops and resets
    bool m_pollAfterStop = false; // a start came in during a stop's pauses
};

} // namespace velorix
