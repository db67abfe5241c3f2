#pragma once

// Serves a SimBus on a POSIX pseudo-terminal, so that a program opens the
// simulated line like a serial port (/dev/pts/N, or a symlink to it).
//
// The server holds the far (slave) end open itself: a client may open and
// close the port as often as it likes without the line hanging up. Event
// driven: a socket notifier for incoming bytes and one timer for the next due
// reply or request expiry, so it uses no CPU while the line is quiet.
// Lives in one thread; SimulatorHost puts it on a thread of its own.

#include "simulator/replyshaper.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <map>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace velorix::sim {

class SimBus;

class PtyServer : public QObject
{
    Q_OBJECT
public:
    // `bus` is borrowed and must outlive the server.
    explicit PtyServer(SimBus &bus, QObject *parent = nullptr);
    ~PtyServer() override;

    // Opens a new pseudo-terminal and, when `linkPath` is not empty, points a
    // symlink there at its slave (an existing symlink is replaced, any other
    // file is left alone and refused). False with `error` set on failure.
    [[nodiscard]] bool open(const QString &linkPath = {}, QString *error = nullptr);
    [[nodiscard]] bool isOpen() const { return m_master >= 0; }
    [[nodiscard]] QString slavePath() const { return m_slavePath; }
    [[nodiscard]] QString linkPath() const { return m_linkPath; }

    // A pulled plug: both ends close, replies not yet sent are lost, the
    // link is removed, and a client's next read or write fails. open() plugs
    // in again (the slave path may differ).
    void unplug();

    // Microseconds since the server was made: the real time it feeds the bus.
    [[nodiscard]] qint64 nowUs() const { return m_clock.nsecsElapsed() / 1000; }

private:
    void onReadable();
    void onTimer();
    void enqueue(std::vector<Transmission> transmissions);
    void armTimer();
    void writeToLine(const QByteArray &bytes);

    SimBus &m_bus;
    QElapsedTimer m_clock;
    int m_master = -1;
    int m_slaveHold = -1;
    QString m_slavePath;
    QString m_linkPath;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
    std::multimap<qint64, QByteArray> m_pending; // due time -> bytes, in order of arrival
};

} // namespace velorix::sim
