#pragma once

// The device simulator as the program's port, two ways.
//
// SimRig (simrig.h) behind a memory port: rig.attach() gives the peer of a
// port "SIM" that answers from the rig's bus on the rig's hand-moved clock;
// install it with setSerialBackendFactory(memoryPorts(rig.attach())).
// PtySimulator: the simulator host on a real pseudo-terminal, registered
// as the first port of the port list for as long as it lives, with its
// frame log on so a test can count the requests each address got.
// The simulator's own tests use simrig.h alone: they need no link.

#include "memoryport.h"
#include "simrig.h"

#include "link/portlist.h"
#include "simulator/simulatorhost.h"

#include <gtest/gtest.h>

namespace velorix::testing {

template<class Peer>
std::shared_ptr<Peer> SimRig::attach()
{
    build();
    port = std::make_shared<Peer>();
    port->ports = {QStringLiteral("SIM")};
    port->refusal = {5, QStringLiteral("Access denied")};
    port->answer = [this](const ByteBuffer &request) { return answerNow(request); };
    return port;
}

// The simulator host on a pseudo-terminal, first in the port list.
struct PtySimulator
{
    std::unique_ptr<sim::SimulatorHost> host;

    explicit PtySimulator(sim::SimConfig config = {})
    {
        config.frameLog = true;
        host = std::make_unique<sim::SimulatorHost>(config);
        QString error;
        started = host->start(&error);
        EXPECT_TRUE(started) << error.toStdString();
        registerExtraPort(host->portPath(), PortPlacement::First);
    }
    ~PtySimulator() { clearExtraPorts(); }
    PtySimulator(const PtySimulator &) = delete;
    PtySimulator &operator=(const PtySimulator &) = delete;

    [[nodiscard]] QString port() const { return host->portPath(); }
    sim::SimulatorHost *operator->() const { return host.get(); }

    // Requests sent to `address` with this code since the log began.
    [[nodiscard]] int requestsTo(std::uint8_t address, int code) const
    {
        return int(requestsIn(host->frameLog(), address, code).size());
    }

    bool started = false;
};

} // namespace velorix::testing
