// The line side of the simulator: how requests are cut from the byte stream,
// who answers, when replies arrive and what the faults do to them.

#include "busdriver.h"

#include <gtest/gtest.h>

using namespace velorix::sim;
using namespace velorix::sim::testing;

namespace {

const QByteArray kIdRequest = frame({128, Code::ReturnId});
const QByteArray kIdReply = withChecksum(QByteArray("\x80" "02540220"));

} // namespace

TEST(BusFraming, RequestWholeInPiecesOrByteByByteGetsTheSameReply)
{
    BusDriver whole;
    EXPECT_EQ(whole.send(kIdRequest), kIdReply);

    BusDriver halves;
    EXPECT_TRUE(halves.send(kIdRequest.left(1)).isEmpty());
    EXPECT_EQ(halves.send(kIdRequest.mid(1)), kIdReply);

    BusDriver bytes;
    QByteArray got;
    for (const char byte : kIdRequest)
        got += bytes.send(QByteArray(1, byte));
    EXPECT_EQ(got, kIdReply);
}

TEST(BusFraming, GarbageBeforeARequestIsSkipped)
{
    BusDriver driver;
    EXPECT_EQ(driver.send(QByteArray("\x00\x13\x05\x70", 4) + kIdRequest), kIdReply);
}

TEST(BusFraming, RequestSwallowedByALongerGarbageFrameIsFoundAfterTheGap)
{
    // 0x15 announces a 7-byte request: the ReturnID behind it first looks
    // like that request's payload, until the line has been quiet for 50 ms.
    BusDriver driver;
    EXPECT_TRUE(driver.send(QByteArray("\x05\x15", 2) + kIdRequest).isEmpty());
    EXPECT_TRUE(driver.wait(0.040).isEmpty());
    EXPECT_EQ(driver.wait(0.020), kIdReply);
}

TEST(BusFraming, BadChecksumOrUnknownCodeIsDroppedAndTheNextRequestUnderstood)
{
    BusDriver driver;
    QByteArray badChecksum = kIdRequest;
    badChecksum[2] = char(badChecksum[2] + 1);
    EXPECT_TRUE(driver.send(badChecksum).isEmpty());
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
    EXPECT_TRUE(driver.exchange({128, 99}).isEmpty());
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
}

TEST(BusFraming, RequestThatStopsForMoreThan50msIsDropped)
{
    BusDriver driver;
    EXPECT_TRUE(driver.send(kIdRequest.left(2)).isEmpty());
    EXPECT_TRUE(driver.wait(0.051).isEmpty());
    EXPECT_TRUE(driver.send(kIdRequest.mid(2)).isEmpty());
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);

    // 49 ms is still one request.
    EXPECT_TRUE(driver.send(kIdRequest.left(2)).isEmpty());
    driver.nowUs += 49'000;
    EXPECT_EQ(driver.send(kIdRequest.mid(2)), kIdReply);
}

TEST(BusAddressing, OnlyTheAddressedDeviceAnswersAndBroadcastOnlyResets)
{
    BusDriver driver;
    EXPECT_EQ(bodyByte(driver.exchange({129, Code::StartExp}), 0), kAck);
    EXPECT_EQ(quint8(driver.exchange({131, Code::ReadSpeed}).at(0)), 131);
    EXPECT_TRUE(driver.exchange({140, Code::ReturnId}).isEmpty());

    EXPECT_TRUE(driver.exchange({255, Code::ReturnId}).isEmpty());
    EXPECT_TRUE(driver.exchange({255, Code::StartExp}).isEmpty());
    EXPECT_EQ(driver.bus.device(128)->counters().startExpSeen, 0);

    EXPECT_TRUE(driver.exchange({255, Code::Reset}).isEmpty());
    for (const auto &device : driver.bus.devices())
        EXPECT_EQ(device->counters().resets, 1) << int(device->homeAddress());
    EXPECT_FALSE(driver.bus.device(129)->session().isLive());
}

TEST(BusAddressing, SilentDeviceNeitherAnswersNorActs)
{
    BusDriver driver;
    ASSERT_TRUE(driver.bus.setDevicePresent(128, false));
    EXPECT_TRUE(driver.exchange({128, Code::StartExp}).isEmpty());
    EXPECT_EQ(driver.bus.device(128)->counters().startExpSeen, 0);
    driver.bus.setDevicePresent(128, true);
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
    EXPECT_FALSE(driver.bus.setDevicePresent(200, false));
}

TEST(BusTiming, WireTimeAndLatencyMakeARealisticExchange)
{
    SimConfig config;
    config.latencyMs = 2;
    BusDriver driver(config);
    const qint64 sent = driver.nowUs;
    ASSERT_EQ(driver.exchange({128, Code::ReadTimes}).size(), 13);
    // 2 ms + 16 bytes of 10 bits at 19200 baud
    EXPECT_NEAR(double(driver.last.front().dueUs - sent), 2000 + 16 * 520.8, 2.0);

    // A second request at once waits until the first reply has left.
    const qint64 firstDone = driver.last.front().dueUs;
    driver.exchange({129, Code::ReadSpeed});
    EXPECT_GE(driver.last.front().dueUs, firstDone + 4 * 520);

    driver.bus.setWireTiming(false);
    driver.nowUs += 1'000'000;
    driver.exchange({128, Code::ReadTimes});
    EXPECT_EQ(driver.last.front().dueUs, driver.nowUs + 2000);
}

class BusFaults : public ::testing::Test
{
protected:
    QByteArray faulted(FaultKind kind)
    {
        driver.bus.injectFault({128, Code::ReturnId, kind, 1});
        return driver.send(kIdRequest);
    }
    BusDriver driver;
};

TEST_F(BusFaults, ContentFaultsSpoilExactlyOneThing)
{
    EXPECT_TRUE(faulted(FaultKind::NoReply).isEmpty());

    const QByteArray badSum = faulted(FaultKind::BadChecksum);
    EXPECT_EQ(badSum.left(9), kIdReply.left(9));
    EXPECT_FALSE(hasValidChecksum(badSum));

    const QByteArray wrongAddress = faulted(FaultKind::WrongAddress);
    EXPECT_NE(quint8(wrongAddress.at(0)), 128);
    EXPECT_TRUE(hasValidChecksum(wrongAddress));

    const QByteArray stray = faulted(FaultKind::Stray);
    EXPECT_GT(stray.size(), kIdReply.size());
    EXPECT_LE(stray.size(), kIdReply.size() + 3);
    EXPECT_TRUE(stray.endsWith(kIdReply));

    // Injections used up: clean again.
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
}

TEST_F(BusFaults, NakIsTheThreeByteRefusalWhateverTheCommand)
{
    const QByteArray refusal = withChecksum(QByteArray("\x80\x15", 2));
    // A data command (10-byte reply) and an acknowledged one (3-byte reply).
    EXPECT_EQ(faulted(FaultKind::Nak), refusal);
    driver.bus.injectFault({128, Code::StartExp, FaultKind::Nak, 1});
    EXPECT_EQ(driver.exchange({128, Code::StartExp}), refusal);
    // With wire timing the refusal takes the line for three bytes, not for
    // the 13 of a Read_Times reply: three request bytes and three reply bytes.
    driver.bus.setWireTiming(true);
    driver.bus.injectFault({128, Code::ReadTimes, FaultKind::Nak, 1});
    const qint64 sent = driver.nowUs;
    EXPECT_EQ(driver.exchange({128, Code::ReadTimes}), refusal);
    ASSERT_EQ(driver.last.size(), 1u);
    EXPECT_NEAR(double(driver.last.back().dueUs - sent), 6 * 10 * 1e6 / 19'200, 2);
}

TEST_F(BusFaults, LateReplyComesAfterTheTimeOutAndSplitOneWithinIt)
{
    const qint64 sent = driver.nowUs;
    EXPECT_EQ(faulted(FaultKind::Late), kIdReply);
    EXPECT_GT(driver.last.front().dueUs, sent + 100'000);

    driver.nowUs += 1'000'000;
    const qint64 again = driver.nowUs;
    EXPECT_EQ(faulted(FaultKind::Split), kIdReply);
    ASSERT_GE(driver.last.size(), 2u);
    EXPECT_GT(driver.last.back().dueUs, driver.last.front().dueUs);
    EXPECT_LT(driver.last.back().dueUs, again + 100'000);
}

TEST_F(BusFaults, InjectionAppliesToTheNextMatchingRequestsOnly)
{
    driver.bus.injectFault({128, Code::ReadSpeed, FaultKind::NoReply, 2});
    EXPECT_EQ(driver.send(kIdRequest), kIdReply);
    EXPECT_FALSE(driver.exchange({129, Code::ReadSpeed}).isEmpty());
    EXPECT_TRUE(driver.exchange({128, Code::ReadSpeed}).isEmpty());
    EXPECT_TRUE(driver.exchange({128, Code::ReadSpeed}).isEmpty());
    EXPECT_FALSE(driver.exchange({128, Code::ReadSpeed}).isEmpty());
}

TEST_F(BusFaults, LostReplyStillLetsTheDeviceAct)
{
    driver.bus.injectFault({kAnyAddress, kAnyCode, FaultKind::NoReply, 1});
    EXPECT_TRUE(driver.exchange({130, Code::StartExp}).isEmpty());
    EXPECT_EQ(driver.bus.device(130)->counters().startExpSeen, 1);
}

TEST_F(BusFaults, RandomRatesHitAboutTheirShare)
{
    FaultRates rates;
    rates.noReply = 0.25;
    driver.bus.setFaultRates(rates);
    int lost = 0;
    for (int i = 0; i < 400; ++i)
        lost += driver.send(kIdRequest).isEmpty() ? 1 : 0;
    EXPECT_GT(lost, 60);
    EXPECT_LT(lost, 140);

    driver.bus.setFaultRates({});
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(driver.send(kIdRequest), kIdReply);
}

TEST(BusLog, LogsRequestsRepliesDropsAndFaults)
{
    SimConfig config = quietConfig();
    config.frameLog = true;
    BusDriver driver(config);
    driver.bus.injectFault({128, kAnyCode, FaultKind::Nak, 1});
    driver.send(QByteArray("\x01\x63", 2) + kIdRequest);
    const auto log = driver.bus.frameLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_TRUE(log[0].note.startsWith(QStringLiteral("dropped")));
    EXPECT_EQ(log[1].bytes, kIdRequest);
    EXPECT_EQ(log[1].direction, FrameLogEntry::Direction::ToDevice);
    EXPECT_EQ(log[2].direction, FrameLogEntry::Direction::FromDevice);
    EXPECT_TRUE(log[2].note.contains(QStringLiteral("NAK")));
}
