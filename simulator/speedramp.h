#pragma once

// The wheel speed of an experiment over its session: the start speed, moved by
// the acceleration step towards the end speed at the end of every acceleration
// interval, never past the end speed. An interval or step of 0 keeps the wheel
// at the start speed.

#include <QtGlobal>

#include <algorithm>
#include <cstdlib>

namespace velorix::sim {

class SpeedRamp
{
public:
    SpeedRamp() = default;
    SpeedRamp(int startSpeed, int endSpeed, int intervalTenths, int step)
        : m_start(startSpeed), m_end(endSpeed), m_interval(intervalTenths), m_step(step)
    {}

    // Speed in tenths of the speed unit at a session time in tenths.
    [[nodiscard]] int speedAt(qint64 sessionTenths) const
    {
        if (m_interval <= 0 || m_step <= 0 || sessionTenths < 0)
            return m_start;
        const qint64 moved = std::min<qint64>(sessionTenths / m_interval * m_step, std::abs(m_end - m_start));
        return int(m_end >= m_start ? m_start + moved : m_start - moved);
    }

private:
    int m_start = 0;
    int m_end = 0;
    int m_interval = 0;
    int m_step = 0;
};

} // namespace velorix::sim
