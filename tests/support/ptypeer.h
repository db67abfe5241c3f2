#pragma once

// A scripted peer on a real pseudo-terminal: the link opens the slave end by
// its path through QSerialPort, and the peer answers each request on the
// master end with the next scripted response, as the scripted port does.

#include "scriptedbackend.h"

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

    [[nodiscard]] bool isValid() const { return m_master >= 0; }
    [[nodiscard]] QString slavePath() const { return m_slavePath; }

    std::deque<ScriptedResponse> responses;
    std::vector<ByteBuffer> written;

    // Bytes nobody asked for, sitting in the line before the next request.
    void writeUnsolicited(const ByteBuffer &bytes);
    // Closes both ends, as a pulled cable: the client's next read fails.
    void unplug();

private:
    void onReadable();
    void writeLater(const ByteBuffer &bytes, int delayMs);

    int m_master = -1;
    int m_slaveHold = -1;
    QString m_slavePath;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace velorix::testing
