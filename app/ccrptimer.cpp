#include "app/ccrptimer.h"

#include <QPointer>

namespace velorix {

ccrpTimer::ccrpTimer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ccrpTimer::onTimeout);
}

void ccrpTimer::setInterval(std::int32_t milliseconds)
{
    m_interval = milliseconds < 0 ? 0 : milliseconds;
    // QTimer restarts an active timer on a new interval, so the new period
    // counts from now: the next event comes one new interval later.
    m_timer.setInterval(m_interval);
}

void ccrpTimer::setEnabled(bool enabled)
{
    if (enabled == m_timer.isActive())
        return;
    if (enabled) {
        m_sinceLast.start();
        m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
}

void ccrpTimer::onTimeout()
{
    if (m_inHandler)
        return;
    const auto elapsed = static_cast<std::int32_t>(m_sinceLast.restart());
    QPointer<ccrpTimer> self(this);
    m_inHandler = true;
    emit Timer(elapsed);
    // The handler may have released the timer (its window unloaded).
    if (self)
        m_inHandler = false;
}

} // namespace velorix
