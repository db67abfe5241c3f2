#pragma once

// Every frame the bus saw and sent, for tests and for the --log output.

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

#include <deque>
#include <functional>
#include <vector>

namespace velorix::sim {

struct FrameLogEntry
{
    enum class Direction {
        ToDevice,
        FromDevice
    };

    qint64 timeUs = 0; // real time; for replies the time they are handed to the line
    Direction direction = Direction::ToDevice;
    QByteArray bytes;
    QString note; // dropped requests, faults put on replies

    // "   12.345678 s  -> 80 11 91  (note)"
    [[nodiscard]] QString toText() const;
};

// Keeps the newest entries up to a capacity; off until enabled, apart from
// the observer, which hears every entry either way.
class FrameLog
{
public:
    using Observer = std::function<void(const FrameLogEntry &)>;
    static constexpr std::size_t kCapacity = 100'000;

    void setEnabled(bool enabled) { m_enabled = enabled; }
    [[nodiscard]] bool isEnabled() const { return m_enabled; }
    void setObserver(Observer observer) { m_observer = std::move(observer); }

    void add(FrameLogEntry entry);
    [[nodiscard]] std::vector<FrameLogEntry> entries() const;
    void clear() { m_entries.clear(); }

private:
    bool m_enabled = false;
    Observer m_observer;
    std::deque<FrameLogEntry> m_entries;
};

} // namespace velorix::sim

Q_DECLARE_METATYPE(velorix::sim::FrameLogEntry)
