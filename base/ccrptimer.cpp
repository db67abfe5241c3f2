#include "base/ccrptimer.h"

#include <QPointer>

#include <algorithm>

namespace velorix {

ccrpTimer::ccrpTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ccrpTimer::onTimeout);
    m_clock.start();
}

void ccrpTimer::setInterval(std::int32_t milliseconds)
{
    m_interval = milliseconds < 0 ? 0 : milliseconds;
    // The new period counts from now: the next event comes one new
    // interval later.
    m_nextDue = m_clock.elapsed() + m_interval;
    if (m_enabled && !m_inHandler)
        arm();
}

void ccrpTimer::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (enabled) {
        m_sinceLast.start();
        m_nextDue = m_clock.elapsed() + m_interval;
        if (!m_inHandler)
            arm();
    } else {
        m_timer.stop();
    }
}

void ccrpTimer::arm()
{
    m_timer.start(int(std::max<qint64>(0, m_nextDue - m_clock.elapsed())));
}

void ccrpTimer::onTimeout()
{
    if (!m_enabled || m_inHandler)
        return;
    const qint64 now = m_clock.elapsed();
    m_nextDue += std::max<std::int32_t>(m_interval, 1);
    // Behind by more than a period: the beat starts again from now.
    if (m_nextDue < now)
        m_nextDue = now;
    const auto elapsed = static_cast<std::int32_t>(m_sinceLast.restart());
    QPointer<ccrpTimer> self(this);
    m_inHandler = true;
    emit Timer(elapsed);
    // The handler may have released the timer (its window unloaded).
    if (!self)
        return;
    m_inHandler = false;
    if (m_enabled)
        arm();
}

} // namespace velorix
