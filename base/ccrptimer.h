#pragma once

// The periodic timer the polling windows drive their ticks with (the
// experiment and diagnostics windows' poll timers, the addresser's close
// timer). Events arrive on the user-interface thread.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>

namespace velorix {

class ccrpTimer : public QObject
{
    Q_OBJECT
public:
    explicit ccrpTimer(QObject *parent = nullptr);

    // Period in milliseconds; a change while running applies from the next
    // period on, which begins now.
    void setInterval(std::int32_t milliseconds);
    [[nodiscard]] std::int32_t Interval() const { return m_interval; }

    // Enabling a running timer keeps it running (its period is not restarted).
    void setEnabled(bool enabled);
    [[nodiscard]] bool Enabled() const { return m_enabled; }

    // The component's secondary setting: stored, never interpreted.
    void setStats(std::int32_t value) { m_stats = value; }
    [[nodiscard]] std::int32_t Stats() const { return m_stats; }

signals:
    // Once per period while enabled, with the milliseconds since the previous
    // event (or since enabling). Periods keep to a fixed beat. A handler
    // still running when its period ends (it waits in a nested event loop)
    // gets no second event inside it: the windows' ticks never run inside
    // each other. The next event then comes as soon as the handler has
    // returned, so one slow tick costs no poll when the next ones are quick;
    // a handler later by more than a period does not owe more than one.
    void Timer(std::int32_t lngMilliseconds);

private:
    void onTimeout();
    // Arms the single-shot timer for the next due time.
    void arm();

    QTimer m_timer;
    QElapsedTimer m_clock; // the beat's time base
    QElapsedTimer m_sinceLast;
    qint64 m_nextDue = 0; // on m_clock
    std::int32_t m_interval = 0;
    std::int32_t m_stats = 0;
    bool m_enabled = false;
    bool m_inHandler = false;
};

} // namespace velorix
