#include "simulator/experimentsession.h"

#include <algorithm>

namespace velorix::sim {

namespace {
constexpr qint64 kMicrosecondsPerTenth = 100'000;
}

ExperimentSession::ExperimentSession(quint8 address, const Scenario *scenario)
    : m_address(address), m_scenario(scenario)
{}

void ExperimentSession::startExperiment(qint64 deviceUs, const SessionSetup &setup)
{
    begin(deviceUs, setup, std::nullopt);
    startAllChannels();
}

void ExperimentSession::startDiagnostics(qint64 deviceUs, const SessionSetup &setup)
{
    begin(deviceUs, setup, setup.startSpeed);
}

void ExperimentSession::begin(qint64 deviceUs, const SessionSetup &setup, std::optional<int> manualSpeed)
{
    endAll(RunEnd::Restarted);
    for (SimChannel &channel : m_channels)
        channel.clearResults(m_now);
    m_state = State::Running;
    m_originUs = deviceUs;
    m_now = 0;
    ++m_session;
    m_setup = setup;
    m_ramp = SpeedRamp(setup.startSpeed, setup.endSpeed, setup.accIntervalTenths, setup.accStep);
    m_manualSpeed = manualSpeed;
}

void ExperimentSession::startChannel(int index)
{
    if (!isLive() || index < 0 || index >= kChannels)
        return;
    SimChannel &channel = m_channels[index];
    std::optional<PlannedRun> plan;
    if (m_scenario)
        plan = m_scenario->run(m_address, index + 1, channel.falls());
    RunRecord identity;
    identity.address = m_address;
    identity.channel = index + 1;
    identity.session = m_session;
    identity.rotationDelayTenths = m_setup.rotationDelayTenths;
    channel.start(m_now, plan, identity, wheelSpeed(), m_runs);
}

void ExperimentSession::startAllChannels()
{
    for (int i = 0; i < kChannels; ++i)
        startChannel(i);
}

void ExperimentSession::stop()
{
    if (m_state != State::Running)
        return;
    endAll(RunEnd::Stopped);
    m_state = State::Stopped;
}

void ExperimentSession::reset()
{
    endAll(RunEnd::Reset);
    for (SimChannel &channel : m_channels)
        channel.clearResults(m_now);
    m_state = State::Idle;
    m_now = 0;
    m_manualSpeed.reset();
}

void ExperimentSession::endAll(RunEnd why)
{
    if (m_state != State::Running)
        return;
    for (SimChannel &channel : m_channels)
        channel.end(m_now, why, wheelSpeed(), m_runs);
}

void ExperimentSession::stepManualSpeed(int delta)
{
    if (isDiagnostics())
        m_manualSpeed = std::clamp(*m_manualSpeed + delta, 0, 0xFFFF);
}

void ExperimentSession::clearResults()
{
    for (SimChannel &channel : m_channels)
        channel.clearResults(m_now);
}

void ExperimentSession::advance(qint64 deviceUs)
{
    if (m_state != State::Running)
        return;
    m_now = std::max<qint64>(m_now, (deviceUs - m_originUs) / kMicrosecondsPerTenth);
    for (SimChannel &channel : m_channels) {
        if (const auto fallAt = channel.dueFall(m_now))
            channel.fall(speedAt(*fallAt), m_runs);
    }
}

int ExperimentSession::speedAt(qint64 sessionTenths) const
{
    if (m_state != State::Running)
        return 0;
    return m_manualSpeed ? *m_manualSpeed : m_ramp.speedAt(sessionTenths);
}

int ExperimentSession::wheelSpeed() const
{
    return speedAt(m_now);
}

quint8 ExperimentSession::runningBits() const
{
    quint8 bits = 0;
    for (int i = 0; i < kChannels; ++i) {
        if (m_state == State::Running && m_channels[i].isRunning())
            bits |= quint8(1u << i);
    }
    return bits;
}

quint8 ExperimentSession::rotationBits() const
{
    quint8 bits = 0;
    for (int i = 0; i < kChannels; ++i) {
        if (m_state == State::Running && m_channels[i].isRotating(m_now))
            bits |= quint8(1u << i);
    }
    return bits;
}

qint64 ExperimentSession::rotationTime(int index) const
{
    return m_channels[index].rotationTime(m_now);
}

quint8 ExperimentSession::sensorByte(int index) const
{
    if (!(runningBits() & (1u << index)))
        return 0;
    const int position = int((m_now / 3 + index) % 5); // beams 1+position and 2+position
    return quint8((1u << (position + 1)) | (1u << (position + 2)));
}

} // namespace velorix::sim
