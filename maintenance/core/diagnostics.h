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

#include "model/deviceinfo.h"
#include "link/serialbackend.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace velorix {

class ccrpTimer;
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
    void show(const QString &text);
    void showResult(std::int16_t result, const QString &success);
    void showError(std::int16_t result);
    void readSpeed();
    void readTimes();
    [[nodiscard]] bool waitAndCarryOn(int milliseconds);

    DiagnosticsPacing m_pacing;
    std::unique_ptr<multiVelorix> objDevice;
    ccrpTimer *objTimer = nullptr;
    DeviceInfo m_record;
    DiagnosticsView m_view;
    std::uint8_t bytDevAddr = 0;
    std::int16_t intLastErr = 0;
    bool bolStopDiag = false;
    bool m_inTick = false;
    bool m_unloaded = false;
};

} // namespace velorix
