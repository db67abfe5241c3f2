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
    // period on.
    void setInterval(std::int32_t milliseconds);
    [[nodiscard]] std::int32_t Interval() const { return m_interval; }

    // Enabling a running timer keeps it running (its period is not restarted).
    void setEnabled(bool enabled);
    [[nodiscard]] bool Enabled() const { return m_timer.isActive(); }

    // The component's secondary setting: stored, never interpreted.
    void setStats(std::int32_t value) { m_stats = value; }
    [[nodiscard]] std::int32_t Stats() const { return m_stats; }

signals:
    // Once per period while enabled, with the milliseconds since the previous
    // event (or since enabling). A period that ends while a handler is still
    // running (it waits in a nested event loop) raises no second event: the
    // windows' ticks never run inside each other.
    void Timer(std::int32_t lngMilliseconds);

private:
    void onTimeout();

    QTimer m_timer;
    QElapsedTimer m_sinceLast;
    std::int32_t m_interval = 0;
    std::int32_t m_stats = 0;
    bool m_inHandler = false;
};

} // namespace velorix
