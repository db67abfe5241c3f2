// The protocol through QSerialPort and a real pseudo-terminal against the
// simulated devices: every command of the device command table and what
// each line fault means to the program. (A pulled cable: the link's tests
// and the experiment's end to end; firmware records end to end: the flash
// tests of maintenance.)

#include "commandcalls.h"
#include "simkit.h"

#include "base/delay.h"
#include "protocol/multidevmod.h"
#include "protocol/resultcodes.h"

#include <gtest/gtest.h>

using namespace velorix;
using namespace velorix::testing;
using velorix::sim::FaultKind;

namespace {

constexpr std::uint8_t A = 130;

sim::SimConfig lineConfig()
{
    sim::SimConfig config;
    config.wireTiming = true;
    config.timeScale = 20;
    config.devices = {{128, 220}, {A, 220}, {131, 205}};
    return config;
}

class EndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(device->CommPort(host.port())); }

    PtySimulator host{lineConfig()};
    std::unique_ptr<multiVelorix> device = std::make_unique<multiVelorix>();
};

TEST_F(EndToEndTest, EveryCommandIsUnderstoodByTheDevice)
{
    for (const DeviceCommand &command : deviceCommands()) {
        if (QByteArray(command.name) == "ProgramAddr")
            continue; // it moves the device; the simulator's tests cover the move
        ByteBuffer body;
        EXPECT_EQ(callCommand(*device, command, A, body), rc::Ok) << command.name;
        if (command.checked == 0 && command.body.size() > 1) {
            EXPECT_EQ(body.size(), command.body.size()) << command.name;
        }
    }
    // A write read back, GetCalConstants, another device's identity, the
    // resets and an address nobody answers: the command-line tool's test,
    // which drives this protocol object against velorix-sim the same way.
}

TEST_F(EndToEndTest, LineFaultsGiveTheirCodes)
{
    const auto faulty = [this](FaultKind kind) {
        host->injectFault(A, 0x70, kind, 1);
        const std::int16_t result = device->Start_Exp(A);
        // Let whatever else the line carries land: the next request discards it.
        Delay(250);
        return result;
    };
    const std::pair<FaultKind, std::int16_t> faults[]
            = {{FaultKind::NoReply, rc::NoReply},       {FaultKind::BadChecksum, rc::BadChecksum},
               {FaultKind::WrongAddress, rc::BadReply}, {FaultKind::Nak, rc::BadReply},
               {FaultKind::Late, rc::NoReply},          {FaultKind::Split, rc::Ok},
               {FaultKind::Stray, rc::BadReply}};
    for (const auto &[kind, code] : faults)
        EXPECT_EQ(faulty(kind), code) << int(kind);
    // A late reply arrived after its exchange gave up; the next exchange
    // discards it and is judged on its own reply.
    EXPECT_EQ(device->Start_Exp(A), rc::Ok);
}

} // namespace
