#include "experiment/core/runphase.h"

#include <array>
#include <utility>

namespace velorix {

namespace {

using P = RunPhase;

// Every change the tick, the buttons and the close may make (see the table
// in the header).
constexpr std::array<std::pair<RunPhase, RunPhase>, 19> kMoves = {{
        {P::Idle, P::Uploading},      {P::Idle, P::Downloading},     {P::Idle, P::Arming},
        {P::Idle, P::Cancelling},     {P::Uploading, P::Idle},       {P::Downloading, P::Idle},
        {P::Arming, P::Starting},     {P::Arming, P::Idle},          {P::Arming, P::Cancelling},
        {P::Starting, P::Running},    {P::Starting, P::StartUnsure}, {P::Starting, P::Cancelling},
        {P::StartUnsure, P::Running}, {P::StartUnsure, P::Starting}, {P::StartUnsure, P::Cancelling},
        {P::Running, P::Stopping},    {P::Running, P::Idle},         {P::Stopping, P::Idle},
        {P::Cancelling, P::Idle},
}};

} // namespace

QString phaseName(RunPhase phase)
{
    switch (phase) {
    case P::Idle: return QStringLiteral("idle");
    case P::Uploading: return QStringLiteral("uploading");
    case P::Downloading: return QStringLiteral("downloading");
    case P::Arming: return QStringLiteral("arming");
    case P::Starting: return QStringLiteral("starting");
    case P::StartUnsure: return QStringLiteral("start unsure");
    case P::Running: return QStringLiteral("running");
    case P::Stopping: return QStringLiteral("stopping");
    case P::Cancelling: return QStringLiteral("cancelling");
    }
    return QStringLiteral("?");
}

bool mayMove(RunPhase from, RunPhase to)
{
    for (const auto &[a, b] : kMoves) {
        if (a == from && b == to)
            return true;
    }
    return false;
}

bool RunPhaseMachine::moveTo(RunPhase to)
{
    if (to == m_phase)
        return true;
    if (!mayMove(m_phase, to))
        return false;
    m_phase = to;
    return true;
}

bool RunPhaseMachine::transferring() const
{
    return is(P::Uploading) || is(P::Downloading) || is(P::Arming);
}

bool RunPhaseMachine::starting() const
{
    return is(P::Arming) || is(P::Starting) || is(P::StartUnsure);
}

ExpControls ExpControls::forPhase(RunPhase phase)
{
    ExpControls controls;
    switch (phase) {
    case P::Idle: controls.m_enabled = StartExp | Setup | CalcAccel | Load | Template | Transfers; break;
    case P::Uploading:
    case P::Downloading:
    case P::Cancelling: controls.m_enabled = Setup | CalcAccel | Load | Template; break;
    case P::Arming:
    case P::Starting:
    case P::StartUnsure: controls.m_enabled = StopExp; break;
    case P::Running:
    case P::Stopping: controls.m_enabled = StopExp | Restart | StartAll; break;
    }
    return controls;
}

} // namespace velorix
