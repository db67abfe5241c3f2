#pragma once

// The tests' one in-memory serial port.
//
// A PortPeer is what the test sees and steers: the port names, ports the
// system refuses, every request written, every open and close. Each request
// is answered by the next scripted response (after its delay, whole or in
// pieces, or by pulling the cable); with no response queued, `answer` (when
// set) computes the reply: a table of identities, or a simulated bus.
// MemoryPort is the SerialBackend the link owns; it shares the peer.
// Link tests hand a MemoryPort to the link directly; tests of the layers
// above install `memoryPorts(peer)` with setSerialBackendFactory.

#include "link/serialbackend.h"

#include <QSet>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace velorix::testing {

struct ScriptedResponse
{
    ByteBuffer bytes; // nothing: the peer stays silent
    int delayMs = 0;  // from the write to the first byte
    int pieces = 1;   // split the bytes into this many pieces
    int pieceGapMs = 2;
    bool failPort = false; // the cable is pulled instead of an answer; the port stays gone
};

// The pieces a response arrives in, each with its delay from the write.
inline std::vector<std::pair<int, ByteBuffer>> piecesOf(const ScriptedResponse &response)
{
    std::vector<std::pair<int, ByteBuffer>> out;
    const std::size_t size = response.bytes.size();
    const auto count = std::size_t(std::max(1, response.pieces));
    const std::size_t each = (size + count - 1) / count; // at least 1 when there are bytes
    for (std::size_t from = 0; from < size; from += each)
        out.emplace_back(response.delayMs + int(out.size()) * response.pieceGapMs,
                         ByteBuffer(response.bytes.begin() + long(from),
                                    response.bytes.begin() + long(std::min(size, from + each))));
    return out;
}

struct PortPeer
{
    QStringList ports{QStringLiteral("COM1"), QStringLiteral("COM2")};
    QSet<QString> refusedPorts; // opening these fails with `refusal`
    PortError refusal{2, QStringLiteral("Permission denied")};
    std::deque<ScriptedResponse> responses;
    // Used when no response is queued; an empty reply is silence.
    std::function<ByteBuffer(const ByteBuffer &request)> answer;
    int replyDelayMs = 0; // for computed replies
    std::vector<ByteBuffer> written;
    QStringList opened; // every successful open, in order
    int closes = 0;
    bool failNextWrite = false;

    void reply(ByteBuffer bytes, int delayMs = 0) { responses.push_back({std::move(bytes), delayMs}); }
    void silence() { responses.push_back({}); }
};

class MemoryPort final : public SerialBackend
{
public:
    explicit MemoryPort(std::shared_ptr<PortPeer> peer) : m_peer(std::move(peer)) {}

    [[nodiscard]] QStringList availablePorts() const override { return m_peer->ports; }
    [[nodiscard]] bool open(const QString &name, PortError *error) override
    {
        if (!m_peer->ports.contains(name) || m_peer->refusedPorts.contains(name)) {
            if (error)
                *error = m_peer->refusal;
            return false;
        }
        m_open = true;
        m_name = name;
        m_input.clear();
        m_peer->opened.append(name);
        return true;
    }
    void close() override
    {
        m_peer->closes += m_open ? 1 : 0;
        m_open = false;
        ++m_generation;
    }
    [[nodiscard]] bool isOpen() const override { return m_open; }
    bool applyLineSettings(const LineSettings &) override { return true; }
    void discardInput() override { m_input.clear(); }
    [[nodiscard]] bool write(const ByteBuffer &bytes) override
    {
        if (!m_open)
            return false;
        if (std::exchange(m_peer->failNextWrite, false)) {
            fail();
            return false;
        }
        m_peer->written.push_back(bytes);
        if (m_peer->responses.empty()) {
            if (m_peer->answer)
                deliver({m_peer->answer(bytes), m_peer->replyDelayMs});
            return true;
        }
        const ScriptedResponse response = m_peer->responses.front();
        m_peer->responses.pop_front();
        if (!response.failPort) {
            deliver(response);
            return true;
        }
        QTimer::singleShot(response.delayMs, this, [this, generation = m_generation] {
            if (generation != m_generation)
                return;
            m_peer->refusedPorts.insert(m_name); // the adapter is gone
            fail();
        });
        return true;
    }
    [[nodiscard]] ByteBuffer readAll() override { return std::exchange(m_input, {}); }

private:
    void deliver(const ScriptedResponse &response)
    {
        for (const auto &piece : piecesOf(response)) {
            QTimer::singleShot(piece.first, this, [this, generation = m_generation, bytes = piece.second] {
                if (generation != m_generation || !m_open)
                    return;
                m_input.insert(m_input.end(), bytes.cbegin(), bytes.cend());
                emit readyRead();
            });
        }
    }
    void fail()
    {
        close();
        emit failed();
    }

    std::shared_ptr<PortPeer> m_peer;
    ByteBuffer m_input;
    QString m_name;
    bool m_open = false;
    int m_generation = 0; // replies scheduled before a close are dropped
};

// A factory for setSerialBackendFactory: every new link gets a memory port
// on this peer.
inline SerialBackendFactory memoryPorts(const std::shared_ptr<PortPeer> &peer)
{
    return [peer] { return std::make_unique<MemoryPort>(peer); };
}

} // namespace velorix::testing
