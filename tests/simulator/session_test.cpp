// An experiment as the device runs it: session clock, speed ramp, falls from
// the scenario, passive rotation, channel restarts, stop, diagnostics, and
// the ground truth kept of it all.

#include "simrig.h"
#include "simulator/speedramp.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace velorix::sim;
using namespace velorix::testing;

namespace {

// Read_Times as "channel 1 to 4 times, bits, session time".
QString readTimes(SimRig &driver)
{
    const QByteArray reply = driver.exchange({128, Code::ReadTimes});
    EXPECT_EQ(reply.size(), 13);
    return QStringLiteral("%1 %2 %3 %4 bits %5 at %6")
            .arg(tenthsAt(reply, 0))
            .arg(tenthsAt(reply, 2))
            .arg(tenthsAt(reply, 4))
            .arg(tenthsAt(reply, 6))
            .arg(int(bodyByte(reply, 8)), 0, 16)
            .arg(tenthsAt(reply, 9));
}

int readSpeed(SimRig &driver)
{
    return tenthsAt(driver.exchange({128, Code::ReadSpeed}), 0);
}

// The ground truth as "channel: start-end how, speed, rotation time@speed".
QStringList truth(SimRig &driver)
{
    QStringList runs;
    for (const RunRecord &run : driver.bus->groundTruth(driver.nowUs))
        runs << QStringLiteral("%1: %2-%3 %4, %5, %6@%7")
                        .arg(run.channel)
                        .arg(run.startTenths)
                        .arg(run.endTenths)
                        .arg(QStringLiteral("FSXR").at(int(run.end)))
                        .arg(run.speedAtEnd)
                        .arg(run.rotationTenths)
                        .arg(run.rotationSpeed);
    return runs;
}

// Runs at 20 times real time: one real second is twenty device seconds.
class Session : public ::testing::Test
{
protected:
    Session() : driver(config())
    {
        // 10.0 to 20.0 in steps of 1.0 every 5 s, rotation delay 2.0 s
        for (const auto &[location, value] :
             {std::pair{34, 100}, {35, 0}, {36, 200}, {37, 0}, {38, 50}, {39, 0}, {40, 10}, {47, 20}})
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
    void at(double deviceSeconds) { driver.nowUs = startUs + qint64(deviceSeconds / 20 * 1e6); }
    void startExperiment()
    {
        EXPECT_EQ(driver.exchange({128, Code::StartExp}), frame({128, kAck}));
        startUs = driver.nowUs;
    }

    SimRig driver;
    qint64 startUs = 0;
};

} // namespace

TEST_F(Session, ScriptedFallsGiveChannelBitsTimesAndPassiveRotation)
{
    startExperiment();
    at(5);
    EXPECT_EQ(readTimes(driver), "0 0 0 0 bits f at 50"); // running since the session began
    EXPECT_EQ(readSpeed(driver), 110);
    const QByteArray sensors = driver.exchange({128, Code::ReadSensor});
    for (int c = 0; c < 4; ++c) {
        EXPECT_NE(bodyByte(sensors, c), 0) << c;
        EXPECT_EQ(bodyByte(sensors, c) & ~0x7E, 0) << c; // beams 1 to 6 only
    }

    at(12);
    EXPECT_EQ(readTimes(driver), "100 0 0 0 bits e at 120"); // stopped: its run length
    EXPECT_EQ(bodyByte(driver.exchange({128, Code::ReadSensor}), 0), 0);

    at(22);
    EXPECT_EQ(readTimes(driver), "100 200 0 0 bits c at 220");
    QByteArray rotation = driver.exchange({128, Code::ReadRotTimes});
    EXPECT_EQ(bodyByte(rotation, 8), 0x02);
    EXPECT_EQ(tenthsAt(rotation, 2), 20);                                    // counted from the fall
    EXPECT_EQ(tenthsAt(driver.exchange({128, Code::ReadRotSpeed}), 2), 140); // speed at 20 s

    at(26);
    rotation = driver.exchange({128, Code::ReadRotTimes});
    EXPECT_EQ(bodyByte(rotation, 8), 0);
    EXPECT_EQ(tenthsAt(rotation, 2), 50); // the final rotation time stays
    EXPECT_EQ(truth(driver), QStringList({"1: 0-100 F, 120, 0@0", "2: 0-200 F, 140, 50@140"}));
    EXPECT_DOUBLE_EQ(driver.bus->groundTruth(driver.nowUs)[1].rotationAfterDelaySeconds(), 3.0);

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
    EXPECT_EQ(readTimes(driver), "120 0 0 0 bits f at 120"); // running: the session time it started at
    at(16);
    EXPECT_EQ(readTimes(driver), "30 0 0 0 bits e at 160"); // the second scripted run: 3 s

    // Start_ALL restarts the channels still on; channel 1 has no third run
    // scripted and stays on.
    driver.exchange({128, Code::StartAll});
    at(100);
    EXPECT_TRUE(readTimes(driver).contains("bits d"));
    const QStringList runs = truth(driver);
    ASSERT_GE(runs.size(), 3);
    EXPECT_EQ(runs.mid(0, 3),
              QStringList({"1: 0-100 F, 120, 0@0", "1: 120-150 F, 130, 0@0", "2: 0-160 X, 130, 0@0"}));
}

TEST_F(Session, StopExpClearsEveryBitAndFreezesTimesAndResetZeroesThem)
{
    startExperiment();
    at(21);
    driver.exchange({128, Code::StopExp});
    at(40);
    EXPECT_EQ(readTimes(driver), "100 200 210 210 bits 0 at 210"); // still on at the stop: its run so far
    EXPECT_EQ(readSpeed(driver), 0);
    EXPECT_EQ(bodyByte(driver.exchange({128, Code::ReadRotTimes}), 8), 0);
    const QStringList runs = truth(driver); // rotation cut short after 1 s
    ASSERT_EQ(runs.size(), 4);
    EXPECT_EQ(runs.mid(1, 2), QStringList({"2: 0-200 F, 140, 10@140", "3: 0-210 S, 140, 0@0"}));

    startExperiment();
    at(5);
    driver.exchange({128, Code::Reset});
    EXPECT_EQ(readTimes(driver), "0 0 0 0 bits 0 at 0");
    EXPECT_TRUE(truth(driver).last().contains(" R,")) << truth(driver).last().toStdString();
}

TEST_F(Session, DiagnosticModeTurnsAtStartSpeedAndStepsByOneUnit)
{
    // After each group of commands: the speed and the channel bits.
    const std::pair<std::vector<int>, QString> steps[]
            = {{{Code::IncSpeed}, "0 bits 0"}, // not in diagnostic mode: no effect
               {{Code::StartDiag}, "100 bits 0"},
               {{Code::IncSpeed, Code::IncSpeed, Code::DecSpeed}, "110 bits 0"},
               {{Code::StartCh1 + 1}, "110 bits 2"},
               {{Code::Reset}, "0 bits 0"}};
    for (const auto &[codes, expected] : steps) {
        for (const int code : codes)
            driver.exchange({128, code});
        EXPECT_EQ(QStringLiteral("%1 %2").arg(readSpeed(driver)).arg(readTimes(driver).section(' ', 4, 5)),
                  expected);
    }
}

TEST(SessionDevice, RockingNeedsFirmwareAbove21RampsStopAtTheEndSpeedAndTenthsSaturate)
{
    SimConfig config = quietConfig();
    config.devices = {{128, 220}, {129, 210}};
    config.timeScale = 1000;
    SimRig driver(config);
    driver.exchange({128, Code::PurgeOff});
    driver.exchange({129, Code::PurgeOff});
    EXPECT_EQ(driver.bus->device(128)->counters().rockingRequests, 1);
    EXPECT_EQ(driver.bus->device(129)->counters().rockingRequests, 0);

    driver.exchange({128, Code::StartExp});
    driver.nowUs += 10'000'000; // 10 000 device seconds
    EXPECT_TRUE(readTimes(driver).endsWith(" at 65535"));

    const SpeedRamp up(100, 200, 50, 30);
    const SpeedRamp down(200, 100, 50, 30);
    EXPECT_EQ(QList<int>({up.speedAt(49), up.speedAt(150), up.speedAt(200), up.speedAt(100000),
                          down.speedAt(200), SpeedRamp(100, 200, 0, 30).speedAt(500)}),
              QList<int>({100, 190, 200, 200, 100, 100}));
}
