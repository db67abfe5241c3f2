#pragma once

// A scripted bus for tests in which devices answer ReturnID by port and
// address rather than from a queue of replies:
//     bus->identities["COM2"][150] = "02540205"; useScriptedBus(bus);

#include "link/serialbackend.h"
#include "protocol/frames.h"
#include "protocol/multidevmod.h"

#include <QHash>
#include <QTimer>

#include <functional>
#include <memory>

namespace velorix::testing {

struct ScriptedBus
{
    QStringList ports{QStringLiteral("COM1"), QStringLiteral("COM2")};
    QHash<QString, QHash<std::uint8_t, QString>> identities; // port -> address -> identity
    int replyDelayMs = 0;
    // Silent addresses answer at once with a garbled frame instead, so that a
    // sweep over the bus need not wait out a time-out per address.
    bool garbleAbsent = false;
    std::function<void(const ByteBuffer &request)> onRequest;
    std::vector<ByteBuffer> written;

    [[nodiscard]] std::vector<int> identityRequests() const
    {
        std::vector<int> addresses;
        for (const ByteBuffer &request : written) {
            if (request.size() == 3 && request[1] == 17)
                addresses.push_back(request[0]);
        }
        return addresses;
    }
};

class ScriptedBusBackend final : public SerialBackend
{
public:
    explicit ScriptedBusBackend(std::shared_ptr<ScriptedBus> bus) : m_bus(std::move(bus)) {}

    [[nodiscard]] QStringList availablePorts() const override { return m_bus->ports; }
    [[nodiscard]] bool open(const QString &name, PortError *) override
    {
        m_port = name;
        return m_open = m_bus->ports.contains(name);
    }
    void close() override { m_open = false; }
    [[nodiscard]] bool isOpen() const override { return m_open; }
    bool applyLineSettings(const LineSettings &) override { return true; }
    void discardInput() override { m_input.clear(); }
    [[nodiscard]] ByteBuffer readAll() override { return std::exchange(m_input, {}); }
    [[nodiscard]] bool write(const ByteBuffer &request) override
    {
        if (!m_open)
            return false;
        m_bus->written.push_back(request);
        if (m_bus->onRequest)
            m_bus->onRequest(request);
        const QHash<std::uint8_t, QString> devices = m_bus->identities.value(m_port);
        const bool known = devices.contains(request[0]);
        if (request.size() != 3 || request[1] != 17 || (!known && !m_bus->garbleAbsent))
            return true;
        ByteBuffer reply{request[0]};
        const QByteArray text = devices.value(request[0], QStringLiteral("????????")).toLatin1();
        reply.insert(reply.end(), text.cbegin(), text.cend());
        reply.push_back(0);
        reply.back() = frames::calcchecksum(reply) + (known ? 0 : 1);
        QTimer::singleShot(m_bus->replyDelayMs, this, [this, reply] {
            m_input.insert(m_input.end(), reply.cbegin(), reply.cend());
            emit readyRead();
        });
        return true;
    }

private:
    std::shared_ptr<ScriptedBus> m_bus;
    ByteBuffer m_input;
    QString m_port;
    bool m_open = false;
};

inline void useScriptedBus(const std::shared_ptr<ScriptedBus> &bus)
{
    setSerialBackendFactory([bus] { return std::make_unique<ScriptedBusBackend>(bus); });
}

} // namespace velorix::testing
