#pragma once

// An in-memory port for tests: every write is recorded, and the peer answers
// each write with the next scripted response after its delay, whole or in
// pieces, or fails the port.

#include "link/serialbackend.h"

#include <QSet>
#include <QStringList>

#include <deque>
#include <memory>
#include <vector>

namespace velorix::testing {

struct ScriptedResponse
{
    ByteBuffer bytes;           // nothing: the peer stays silent
    int delayMs = 0;            // from the write to the first byte
    int pieces = 1;             // split the bytes into this many pieces
    int pieceGapMs = 2;
    bool failPort = false;      // the cable is pulled instead of an answer; the port stays gone
};

// What the test sees and steers; shared with the backend the link owns.
struct ScriptedPeer
{
    QStringList ports{QStringLiteral("COM1"), QStringLiteral("COM2")};
    QSet<QString> refusedPorts; // opening these fails
    std::deque<ScriptedResponse> responses;
    std::vector<ByteBuffer> written;
    QStringList opened;         // every successful open, in order
    int closes = 0;
    bool failNextWrite = false;

    void reply(ByteBuffer bytes, int delayMs = 0) { responses.push_back({std::move(bytes), delayMs}); }
    void silence() { responses.push_back({}); }
};

class ScriptedBackend final : public SerialBackend
{
    Q_OBJECT
public:
    explicit ScriptedBackend(std::shared_ptr<ScriptedPeer> peer);

    [[nodiscard]] QStringList availablePorts() const override { return m_peer->ports; }
    [[nodiscard]] bool open(const QString &name, PortError *error) override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_open; }
    bool applyLineSettings(const LineSettings &settings) override;
    void discardInput() override { m_input.clear(); }
    [[nodiscard]] bool write(const ByteBuffer &bytes) override;
    [[nodiscard]] ByteBuffer readAll() override;

    [[nodiscard]] const LineSettings &lineSettings() const { return m_settings; }

private:
    void deliver(const ScriptedResponse &response);
    void fail();

    std::shared_ptr<ScriptedPeer> m_peer;
    ByteBuffer m_input;
    QString m_name;
    LineSettings m_settings;
    bool m_open = false;
    int m_generation = 0; // replies scheduled before a close are dropped
};

// Makes every new link use a scripted port with this peer.
void useScriptedPeer(const std::shared_ptr<ScriptedPeer> &peer);

} // namespace velorix::testing
