// The line side of the simulator: how requests are cut from the byte stream,
// who answers, when replies arrive and what the faults do to them (what each
// fault kind means to the program, late and split replies among them: the
// protocol's end-to-end tests).

#include "simrig.h"

#include <gtest/gtest.h>

using namespace velorix::sim;
using namespace velorix::testing;

const QByteArray kIdRequest = frame({128, Code::ReturnId});
const QByteArray kIdReply = withChecksum(QByteArray("\x80"
                                                    "02540220"));

TEST(BusFraming, RequestsAreCutFromTheByteStreamByLengthChecksumAndGaps)
{
    SimRig driver;
    QByteArray got;
    for (const char byte : kIdRequest)
        got += driver.send(QByteArray(1, byte));
    EXPECT_EQ(got, kIdReply);
    EXPECT_EQ(driver.send(QByteArray("\x00\x13\x05\x70", 4) + kIdRequest), kIdReply); // garbage skipped

    // A bad checksum or an unknown code is dropped; the next request is understood.
    QByteArray badChecksum = kIdRequest;
    badChecksum[2] = char(badChecksum[2] + 1);
    EXPECT_TRUE(driver.send(badChecksum).isEmpty());
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
    EXPECT_TRUE(driver.exchange({128, 99}).isEmpty());
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);

    // A request that stops for more than 50 ms is dropped; 49 ms is still one request.
    EXPECT_TRUE(driver.send(kIdRequest.left(2)).isEmpty());
    EXPECT_TRUE(driver.advance(0.051).isEmpty());
    EXPECT_TRUE(driver.send(kIdRequest.mid(2)).isEmpty());
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
    EXPECT_TRUE(driver.send(kIdRequest.left(2)).isEmpty());
    driver.nowUs += 49'000;
    EXPECT_EQ(driver.send(kIdRequest.mid(2)), kIdReply);

    // 0x15 announces a 7-byte request: the ReturnID behind it first looks
    // like that request's payload, until the line has been quiet for 50 ms.
    EXPECT_TRUE(driver.send(QByteArray("\x05\x15", 2) + kIdRequest).isEmpty());
    EXPECT_TRUE(driver.advance(0.040).isEmpty());
    EXPECT_EQ(driver.advance(0.020), kIdReply);
}

TEST(BusAddressing, OnlyThePresentAddressedDeviceAnswersAndBroadcastOnlyResets)
{
    SimRig driver;
    EXPECT_EQ(driver.exchange({129, Code::StartExp}), frame({129, kAck}));
    EXPECT_EQ(quint8(driver.exchange({131, Code::ReadSpeed}).at(0)), 131);
    EXPECT_TRUE(driver.exchange({140, Code::ReturnId}).isEmpty());

    EXPECT_TRUE(driver.exchange({255, Code::ReturnId}).isEmpty());
    EXPECT_TRUE(driver.exchange({255, Code::StartExp}).isEmpty());
    EXPECT_EQ(driver.bus->device(128)->counters().startExpSeen, 0);
    EXPECT_TRUE(driver.exchange({255, Code::Reset}).isEmpty());
    for (const auto &device : driver.bus->devices())
        EXPECT_EQ(device->counters().resets, 1) << int(device->homeAddress());
    EXPECT_FALSE(driver.bus->device(129)->session().isLive());

    // A device taken off the bus neither answers nor acts.
    ASSERT_TRUE(driver.bus->setDevicePresent(128, false));
    EXPECT_TRUE(driver.exchange({128, Code::StartExp}).isEmpty());
    EXPECT_EQ(driver.bus->device(128)->counters().startExpSeen, 0);
    driver.bus->setDevicePresent(128, true);
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
    EXPECT_FALSE(driver.bus->setDevicePresent(200, false));
}

TEST(BusTiming, WireTimeAndLatencyMakeARealisticExchange)
{
    SimConfig config;
    config.latencyMs = 2;
    SimRig driver(config);
    const qint64 sent = driver.nowUs;
    ASSERT_EQ(driver.exchange({128, Code::ReadTimes}).size(), 13);
    // 2 ms + 16 bytes of 10 bits at 19200 baud
    EXPECT_NEAR(double(driver.last.front().dueUs - sent), 2000 + 16 * 520.8, 2.0);

    // A second request at once waits until the first reply has left.
    const qint64 firstDone = driver.last.front().dueUs;
    driver.exchange({129, Code::ReadSpeed});
    EXPECT_GE(driver.last.front().dueUs, firstDone + 4 * 520);

    driver.bus->setWireTiming(false);
    driver.nowUs += 1'000'000;
    driver.exchange({128, Code::ReadTimes});
    EXPECT_EQ(driver.last.front().dueUs, driver.nowUs + 2000);
}

TEST(BusFaults, NakIsTheThreeByteRefusal)
{
    SimRig driver;
    const QByteArray refusal = withChecksum(QByteArray("\x80\x15", 2));
    driver.bus->injectFault({128, Code::StartExp, FaultKind::Nak, 1});
    EXPECT_EQ(driver.exchange({128, Code::StartExp}), refusal);
    // With wire timing the refusal takes the line for three bytes, not for
    // the 13 of a Read_Times reply: three request bytes and three reply bytes.
    driver.bus->setWireTiming(true);
    driver.bus->injectFault({128, Code::ReadTimes, FaultKind::Nak, 1});
    const qint64 sent = driver.nowUs;
    EXPECT_EQ(driver.exchange({128, Code::ReadTimes}), refusal);
    ASSERT_EQ(driver.last.size(), 1u);
    EXPECT_NEAR(double(driver.last.back().dueUs - sent), 6 * 10 * 1e6 / 19'200, 2);
}

TEST(BusFaults, InjectionHitsTheNextMatchingRequestsOnlyALostReplyStillActsAndRatesHitTheirShare)
{
    SimRig driver;
    driver.bus->injectFault({128, Code::ReadSpeed, FaultKind::NoReply, 2});
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
    EXPECT_FALSE(driver.exchange({129, Code::ReadSpeed}).isEmpty());
    EXPECT_TRUE(driver.exchange({128, Code::ReadSpeed}).isEmpty());
    EXPECT_TRUE(driver.exchange({128, Code::ReadSpeed}).isEmpty());
    EXPECT_FALSE(driver.exchange({128, Code::ReadSpeed}).isEmpty());

    driver.bus->injectFault({kAnyAddress, kAnyCode, FaultKind::NoReply, 1});
    EXPECT_TRUE(driver.exchange({130, Code::StartExp}).isEmpty());
    EXPECT_EQ(driver.bus->device(130)->counters().startExpSeen, 1);

    // Random rates hit about their share.
    FaultRates rates;
    rates.noReply = 0.25;
    driver.bus->setFaultRates(rates);
    int lost = 0;
    for (int i = 0; i < 400; ++i)
        lost += driver.send(kIdRequest).isEmpty() ? 1 : 0;
    EXPECT_GT(lost, 60);
    EXPECT_LT(lost, 140);
    driver.bus->setFaultRates({});
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(driver.send(kIdRequest), kIdReply);
}
