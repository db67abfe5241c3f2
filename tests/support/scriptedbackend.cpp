#include "scriptedbackend.h"

#include "protocol/multidevmod.h"

#include <QTimer>

namespace velorix::testing {

ScriptedBackend::ScriptedBackend(std::shared_ptr<ScriptedPeer> peer) : m_peer(std::move(peer)) {}

bool ScriptedBackend::open(const QString &name, PortError *error)
{
    if (!m_peer->ports.contains(name) || m_peer->refusedPorts.contains(name)) {
        if (error)
            *error = {2, QStringLiteral("Permission denied")};
        return false;
    }
    m_open = true;
    m_name = name;
    m_input.clear();
    m_peer->opened.append(name);
    return true;
}

void ScriptedBackend::close()
{
    if (m_open)
        ++m_peer->closes;
    m_open = false;
    ++m_generation;
}

bool ScriptedBackend::applyLineSettings(const LineSettings &settings)
{
    m_settings = settings;
    return true;
}

bool ScriptedBackend::write(const ByteBuffer &bytes)
{
    if (!m_open)
        return false;
    if (m_peer->failNextWrite) {
        m_peer->failNextWrite = false;
        fail();
        return false;
    }
    m_peer->written.push_back(bytes);
    if (m_peer->responses.empty())
        return true;
    const ScriptedResponse response = m_peer->responses.front();
    m_peer->responses.pop_front();
    if (response.failPort) {
        const int generation = m_generation;
        QTimer::singleShot(response.delayMs, this, [this, generation] {
            if (generation != m_generation)
                return;
            m_peer->refusedPorts.insert(m_name); // the adapter is gone
            fail();
        });
    } else {
        deliver(response);
    }
    return true;
}

ByteBuffer ScriptedBackend::readAll()
{
    ByteBuffer bytes;
    bytes.swap(m_input);
    return bytes;
}

void ScriptedBackend::deliver(const ScriptedResponse &response)
{
    if (response.bytes.empty())
        return;
    const int pieces = std::max(1, std::min<int>(response.pieces, static_cast<int>(response.bytes.size())));
    const std::size_t pieceSize = (response.bytes.size() + pieces - 1) / pieces;
    const int generation = m_generation;
    for (int i = 0; i < pieces; ++i) {
        const std::size_t from = i * pieceSize;
        if (from >= response.bytes.size())
            break;
        const std::size_t to = std::min(response.bytes.size(), from + pieceSize);
        ByteBuffer piece(response.bytes.begin() + from, response.bytes.begin() + to);
        QTimer::singleShot(response.delayMs + i * response.pieceGapMs, this,
                           [this, generation, piece] {
                               if (generation != m_generation || !m_open)
                                   return;
                               m_input.insert(m_input.end(), piece.cbegin(), piece.cend());
                               emit readyRead();
                           });
    }
}

void ScriptedBackend::fail()
{
    close();
    emit failed();
}

void useScriptedPeer(const std::shared_ptr<ScriptedPeer> &peer)
{
    setSerialBackendFactory([peer] { return std::make_unique<ScriptedBackend>(peer); });
}

} // namespace velorix::testing
