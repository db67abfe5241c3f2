// An experiment as the device runs it: session clock, speed ramp, falls from
// the scenario, passive rotation, channel restarts, stop, diagnostics, and
// the ground truth kept of it all.

#include "busdriver.h"
#include "simulator/speedramp.h"

#include <gtest/gtest.h>

using namespace velorix::sim;
using namespace velorix::sim::testing;

namespace {

struct Times
{
    int channel[4];
    int bits;
    int session;
};

Times readTimes(BusDriver &driver, int address = 128)
{
    const QByteArray reply = driver.exchange({address, Code::ReadTimes});
    EXPECT_EQ(reply.size(), 13);
    return {{tenthsAt(reply, 0), tenthsAt(reply, 2), tenthsAt(reply, 4), tenthsAt(reply, 6)},
            bodyByte(reply, 8),
            tenthsAt(reply, 9)};
}

int readSpeed(BusDriver &driver, int address = 128)
{
    return tenthsAt(driver.exchange({address, Code::ReadSpeed}), 0);
}

// Runs at 20 times real time: one real second is twenty device seconds.
class Session : public ::testing::Test
{
protected:
    Session() : driver(config())
    {
        // 10.0 to 20.0 in steps of 1.0 every 5 s, rotation delay 2.0 s
        for (const auto &[location, value] : {std::pair{34, 100}, {35, 0}, {36, 200}, {37, 0},
                                              {38, 50}, {39, 0}, {40, 10}, {47, 20}})
            driver.exchange({128, Code::WriteMem, location, value});
    }
    static SimConfig config()
    {
        SimConfig config = quietConfig();
        config.timeScale = 20;
        config.scenario.addRun(128, 1, {10, 0});
        config.scenario.addRun(128, 1, {3, 0});
        config.scenario.addRun(128, 2, {20, 5});
        return config;
    }
    // To a device time in seconds after Start_Exp.
    void at(double deviceSeconds)
    {
        driver.nowUs = startUs + qint64(deviceSeconds / 20 * 1e6);
    }
    void startExperiment()
    {
        EXPECT_EQ(driver.exchange({128, Code::StartExp}), frame({128, kAck}));
        startUs = driver.nowUs;
    }

    BusDriver driver;
    qint64 startUs = 0;
};

} // namespace

TEST_F(Session, ScriptedFallsGiveChannelBitsTimesAndPassiveRotation)
{
    startExperiment();
    at(5);
    Times times = readTimes(driver);
    EXPECT_EQ(times.bits, 0x0F);
    EXPECT_EQ(times.session, 50);
    EXPECT_EQ(times.channel[0], 0); // running since the session began
    EXPECT_EQ(readSpeed(driver), 110);
    const QByteArray sensors = driver.exchange({128, Code::ReadSensor});
    for (int c = 0; c < 4; ++c) {
        EXPECT_NE(bodyByte(sensors, c), 0) << c;
        EXPECT_EQ(bodyByte(sensors, c) & ~0x7E, 0) << c; // beams 1 to 6 only
    }

    at(12);
    times = readTimes(driver);
    EXPECT_EQ(times.bits, 0x0E);
    EXPECT_EQ(times.channel[0], 100); // stopped: its run length
    EXPECT_EQ(bodyByte(driver.exchange({128, Code::ReadSensor}), 0), 0);

    at(22);
    times = readTimes(driver);
    EXPECT_EQ(times.bits, 0x0C);
    EXPECT_EQ(times.channel[1], 200);
    QByteArray rotation = driver.exchange({128, Code::ReadRotTimes});
    EXPECT_EQ(bodyByte(rotation, 8), 0x02);
    EXPECT_EQ(tenthsAt(rotation, 2), 20); // counted from the fall
    EXPECT_EQ(tenthsAt(driver.exchange({128, Code::ReadRotSpeed}), 2), 140); // speed at 20 s

    at(26);
    rotation = driver.exchange({128, Code::ReadRotTimes});
    EXPECT_EQ(bodyByte(rotation, 8), 0);
    EXPECT_EQ(tenthsAt(rotation, 2), 50); // the final rotation time stays

    const RunLog truth = driver.bus.groundTruth(driver.nowUs);
    ASSERT_EQ(truth.size(), 2u);
    EXPECT_EQ(truth[0].channel, 1);
    EXPECT_EQ(truth[0].runTenths(), 100);
    EXPECT_EQ(truth[0].speedAtEnd, 120);
    EXPECT_EQ(truth[0].rotationTenths, 0);
    EXPECT_EQ(truth[1].channel, 2);
    EXPECT_EQ(truth[1].end, RunEnd::Fall);
    EXPECT_DOUBLE_EQ(truth[1].runSeconds(), 20.0);
    EXPECT_EQ(truth[1].rotationTenths, 50);
    EXPECT_EQ(truth[1].rotationSpeed, 140);
    EXPECT_DOUBLE_EQ(truth[1].rotationAfterDelaySeconds(), 3.0);

    // A new run of the channel starts without the old rotation values.
    driver.exchange({128, Code::StartCh1 + 1});
    EXPECT_EQ(tenthsAt(driver.exchange({128, Code::ReadRotTimes}), 2), 0);
    EXPECT_EQ(tenthsAt(driver.exchange({128, Code::ReadRotSpeed}), 2), 0);
}

TEST_F(Session, StartChannelRunsItAgainFromTheCurrentSessionTime)
{
    startExperiment();
    at(12);
    driver.exchange({128, Code::StartCh1});
    Times times = readTimes(driver);
    EXPECT_EQ(times.bits, 0x0F);
    EXPECT_EQ(times.channel[0], 120); // running: the session time it started at

    at(16);
    times = readTimes(driver);
    EXPECT_EQ(times.bits, 0x0E);
    EXPECT_EQ(times.channel[0], 30); // the second scripted run: 3 s

    // Start_ALL restarts the channels still on; channel 1 has no third run
    // scripted and stays on.
    driver.exchange({128, Code::StartAll});
    at(100);
    EXPECT_EQ(readTimes(driver).bits, 0x0D);

    const RunLog truth = driver.bus.groundTruth(driver.nowUs);
    ASSERT_GE(truth.size(), 2u);
    EXPECT_EQ(truth[1].startTenths, 120);
    EXPECT_EQ(truth[1].endTenths, 150);
    EXPECT_EQ(truth[1].speedAtEnd, 130);
    EXPECT_EQ(truth[2].end, RunEnd::Restarted); // channel 2, still on at 16 s
}

TEST_F(Session, StopExpClearsEveryBitAndFreezesTimes)
{
    startExperiment();
    at(21);
    driver.exchange({128, Code::StopExp});
    at(40);
    const Times times = readTimes(driver);
    EXPECT_EQ(times.bits, 0);
    EXPECT_EQ(times.session, 210);
    EXPECT_EQ(times.channel[2], 210); // still on at the stop: its run so far
    EXPECT_EQ(readSpeed(driver), 0);
    EXPECT_EQ(bodyByte(driver.exchange({128, Code::ReadRotTimes}), 8), 0);

    const RunLog truth = driver.bus.groundTruth(driver.nowUs);
    ASSERT_EQ(truth.size(), 4u); // channel 1 and 2 fell, 3 and 4 stopped
    EXPECT_EQ(truth[1].rotationTenths, 10); // rotation cut short after 1 s
    EXPECT_EQ(truth[2].end, RunEnd::Stopped);
    EXPECT_EQ(truth[2].runTenths(), 210);
}

TEST_F(Session, ResetEndsTheRunAndEverythingReadsZero)
{
    startExperiment();
    at(5);
    driver.exchange({128, Code::Reset});
    const Times times = readTimes(driver);
    EXPECT_EQ(times.bits, 0);
    EXPECT_EQ(times.session, 0);
    EXPECT_EQ(times.channel[0], 0);
    EXPECT_EQ(driver.bus.groundTruth(driver.nowUs).front().end, RunEnd::Reset);
    EXPECT_EQ(driver.bus.device(128)->counters().resets, 1);
}

TEST_F(Session, DiagnosticModeTurnsAtStartSpeedAndStepsByOneUnit)
{
    driver.exchange({128, Code::IncSpeed}); // not in diagnostic mode: no effect
    EXPECT_EQ(readSpeed(driver), 0);
    driver.exchange({128, Code::StartDiag});
    EXPECT_EQ(readSpeed(driver), 100);
    driver.exchange({128, Code::IncSpeed});
    driver.exchange({128, Code::IncSpeed});
    driver.exchange({128, Code::DecSpeed});
    EXPECT_EQ(readSpeed(driver), 110);
    EXPECT_EQ(readTimes(driver).bits, 0);
    driver.exchange({128, Code::StartCh1 + 1});
    EXPECT_EQ(readTimes(driver).bits, 0x02);

    driver.exchange({128, Code::Reset});
    EXPECT_EQ(readSpeed(driver), 0);
    EXPECT_EQ(readTimes(driver).bits, 0);
}

TEST(SessionRocking, PurgeOffCountsAsRockingOnlyAbove21)
{
    SimConfig config = quietConfig();
    config.devices = {{128, 220}, {129, 210}};
    BusDriver driver(config);
    driver.exchange({128, Code::PurgeOff});
    driver.exchange({129, Code::PurgeOff});
    EXPECT_EQ(driver.bus.device(128)->counters().rockingRequests, 1);
    EXPECT_EQ(driver.bus.device(129)->counters().rockingRequests, 0);
}

TEST(SessionSpeedRamp, MovesTowardsTheEndSpeedNeverPastIt)
{
    const SpeedRamp up(100, 200, 50, 30);
    EXPECT_EQ(up.speedAt(49), 100);
    EXPECT_EQ(up.speedAt(150), 190);
    EXPECT_EQ(up.speedAt(200), 200);
    EXPECT_EQ(up.speedAt(100000), 200);
    const SpeedRamp down(200, 100, 50, 30);
    EXPECT_EQ(down.speedAt(200), 100);
    EXPECT_EQ(SpeedRamp(100, 200, 0, 30).speedAt(500), 100);
}

TEST(SessionTenths, LongSessionsSaturateInsteadOfWrapping)
{
    SimConfig config = quietConfig();
    config.timeScale = 1000;
    BusDriver driver(config);
    driver.exchange({128, Code::StartExp});
    driver.nowUs += 10'000'000; // 10 000 device seconds
    EXPECT_EQ(readTimes(driver).session, 0xFFFF);
}
