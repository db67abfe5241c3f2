#pragma once

// Device time against real time. The devices' clocks may run faster than real
// time by a scale factor, so that a long session plays in seconds; the scale
// can change on the way without a jump in device time. Only what happens
// inside a device runs on this clock; the line (latency, wire time, gaps)
// stays in real time.

#include <QtGlobal>

#include <cmath>

namespace velorix::sim {

class DeviceClock
{
public:
    // Times in microseconds; real time as the caller counts it.
    [[nodiscard]] qint64 deviceUs(qint64 realUs) const
    {
        const qint64 since = qMax<qint64>(0, realUs - m_realAnchorUs);
        return m_deviceAnchorUs + qint64(std::llround(double(since) * m_scale));
    }

    // Refuses a scale that is not a positive finite number.
    bool setScale(double scale, qint64 realUs)
    {
        if (!std::isfinite(scale) || scale <= 0)
            return false;
        m_deviceAnchorUs = deviceUs(realUs);
        m_realAnchorUs = qMax(m_realAnchorUs, realUs);
        m_scale = scale;
        return true;
    }
    [[nodiscard]] double scale() const { return m_scale; }

private:
    double m_scale = 1.0;
    qint64 m_realAnchorUs = 0;
    qint64 m_deviceAnchorUs = 0;
};

} // namespace velorix::sim
