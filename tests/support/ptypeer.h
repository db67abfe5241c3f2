#pragma once

// A scripted peer on a real pseudo-terminal, for the link tests.
//
// The link opens the slave end by its path through QSerialPort, as it would
// a real adapter; the peer answers each request on the master end with the
// next ScriptedResponse (memoryport.h), so the same test can run against
// the memory port and against a real terminal. It can also put bytes
// nobody asked for on the line (stale input) and pull the cable.
// For the simulated devices on a pseudo-terminal, see PtySimulator
// (simkit.h).

#include "memoryport.h"

#include <QObject>
#include <QString>

#include <deque>
#include <vector>

class QSocketNotifier;

namespace velorix::testing {

class PtyPeer : public QObject
{
    Q_OBJECT
public:
    PtyPeer();
    ~PtyPeer() override;

    [[nodiscard]] QString slavePath() const { return m_slavePath; }

    std::deque<ScriptedResponse> responses;
    std::vector<ByteBuffer> written;

    // Bytes nobody asked for, sitting in the line before the next request.
    void writeUnsolicited(const ByteBuffer &bytes);
    // Closes both ends, as a pulled cable: the client's next read fails.
    void unplug();

private:
    void onReadable();

    int m_master = -1;
    int m_slaveHold = -1;
    QString m_slavePath;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace velorix::testing
