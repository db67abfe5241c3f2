#pragma once

// The experiment side of one device: the session clock, the wheel speed and
// the four channels, and everything the read commands report about them.
// Time goes in as device time in microseconds; the session counts tenths of a
// second from its start. Callers advance() to the current device time before
// they read or change anything, so that falls and rotation ends that happened
// in between are taken in order.

#include "simulator/devicememory.h"
#include "simulator/scenario.h"
#include "simulator/simchannel.h"
#include "simulator/speedramp.h"

#include <QtGlobal>

#include <array>
#include <optional>

namespace velorix::sim {

class ExperimentSession
{
public:
    static constexpr int kChannels = 4;

    // `scenario` is borrowed and must outlive the session.
    ExperimentSession(quint8 address, const Scenario *scenario);
    void setScenario(const Scenario *scenario) { m_scenario = scenario; }

    // Start_Exp: a new session from 0.0 with all four channels running.
    void startExperiment(qint64 deviceUs, const SessionSetup &setup);
    // Start_Diag: the clock runs and the wheel turns at the start speed under
    // manual control; no channel runs until it is started.
    void startDiagnostics(qint64 deviceUs, const SessionSetup &setup);
    // Start_CHn (index 0 to 3) and Start_ALL; no effect without a live session.
    void startChannel(int index);
    void startAllChannels();
    // Stop_Exp, Stop_Diag: every bit clears, the wheel stops, times freeze.
    void stop();
    // A device reset: like a stop, then everything reads 0 again.
    void reset();
    // Inc_Speed and Dec_Speed in diagnostic mode.
    void stepManualSpeed(int delta);
    // The `clear` command.
    void clearResults();

    void advance(qint64 deviceUs);

    [[nodiscard]] bool isLive() const { return m_state == State::Running; }
    [[nodiscard]] bool isDiagnostics() const { return isLive() && m_manualSpeed.has_value(); }
    [[nodiscard]] qint64 sessionTenths() const { return m_now; }
    [[nodiscard]] int wheelSpeed() const;
    [[nodiscard]] quint8 runningBits() const;
    [[nodiscard]] quint8 rotationBits() const;
    [[nodiscard]] qint64 channelTime(int index) const { return m_channels[index].reportedTime(); }
    [[nodiscard]] qint64 rotationTime(int index) const;
    [[nodiscard]] int rotationSpeed(int index) const { return m_channels[index].rotationSpeed(); }
    // Beams 1 to 6 of a channel, set while broken: a running channel shows
    // its subject (two neighbouring beams that move as the wheel turns), an
    // idle one shows none.
    [[nodiscard]] quint8 sensorByte(int index) const;

    [[nodiscard]] const RunLog &runs() const { return m_runs; }

private:
    enum class State {
        Idle,
        Running,
        Stopped
    };

    void begin(qint64 deviceUs, const SessionSetup &setup, std::optional<int> manualSpeed);
    void endAll(RunEnd why);
    [[nodiscard]] int speedAt(qint64 sessionTenths) const;

    quint8 m_address;
    const Scenario *m_scenario;
    State m_state = State::Idle;
    qint64 m_originUs = 0;
    qint64 m_now = 0;
    int m_session = 0;
    SessionSetup m_setup;
    SpeedRamp m_ramp;
    std::optional<int> m_manualSpeed;
    std::array<SimChannel, kChannels> m_channels;
    RunLog m_runs;
};

} // namespace velorix::sim
