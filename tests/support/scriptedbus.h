#pragma once

// A bus of identities for the port search and device scan tests.
//
// A memory port (memoryport.h) on which devices answer ReturnID by port and
// address rather than from a queue of replies:
//     bus->identities["COM2"][150] = "02540205"; setSerialBackendFactory(memoryPorts(bus));
// `garbleAbsent` makes silent addresses answer at once with a bad checksum
// (a sweep then needs no time-outs); `onRequest` sees every request before
// it is answered, to act in the middle of a search; identityRequests()
// lists the addresses asked, in order. Every other request gets silence.

#include "memoryport.h"

#include "protocol/frames.h"
#include "protocol/multidevmod.h"

#include <QHash>

namespace velorix::testing {

struct ScriptedBus : PortPeer
{
    QHash<QString, QHash<std::uint8_t, QString>> identities; // port -> address -> identity
    // Silent addresses answer at once with a garbled frame instead, so that a
    // sweep over the bus need not wait out a time-out per address.
    bool garbleAbsent = false;
    std::function<void(const ByteBuffer &request)> onRequest;

    ScriptedBus()
    {
        answer = [this](const ByteBuffer &request) { return identify(request); };
    }
    ScriptedBus(const ScriptedBus &) = delete;
    ScriptedBus &operator=(const ScriptedBus &) = delete;

    [[nodiscard]] std::vector<int> identityRequests() const
    {
        std::vector<int> addresses;
        for (const ByteBuffer &request : written) {
            if (request.size() == 3 && request[1] == 17)
                addresses.push_back(request[0]);
        }
        return addresses;
    }

private:
    ByteBuffer identify(const ByteBuffer &request)
    {
        if (onRequest)
            onRequest(request);
        // The port in use is the last one opened.
        const QHash<std::uint8_t, QString> devices
                = identities.value(opened.isEmpty() ? QString() : opened.last());
        const bool known = devices.contains(request[0]);
        if (request.size() != 3 || request[1] != 17 || (!known && !garbleAbsent))
            return {};
        ByteBuffer reply{request[0]};
        const QByteArray text = devices.value(request[0], QStringLiteral("????????")).toLatin1();
        reply.insert(reply.end(), text.cbegin(), text.cend());
        reply.push_back(0);
        reply.back() = frames::calcchecksum(reply) + (known ? 0 : 1);
        return reply;
    }
};

} // namespace velorix::testing
