// The readout of a poll: beams, rotation values, and the per-channel
// decisions that turn running bits into results.

#include "statekit.h"

#include "experiment/core/readout.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velorix {
namespace {

ByteBuffer tenthsBody(std::array<int, 4> tenths, std::size_t size)
{
    ByteBuffer body(size, 0);
    for (int c = 0; c < 4; ++c) {
        body[2 * c] = std::uint8_t(tenths[c] & 0xFF);
        body[2 * c + 1] = std::uint8_t(tenths[c] >> 8);
    }
    return body;
}

// Polls on one record, keeping which channel was stored at which poll.
struct Polls
{
    DeviceInfo record;
    ChannelViews views;
    std::vector<std::pair<int, int>> stored;
    int poll = 0;
    bool bolstop = false;
    float stopSpeed = 0;

    Polls() { record.bolChanArmed.fill(true); }
    void times(std::array<int, 4> channels, std::uint8_t bits, int session, bool stopping = false)
    {
        ++poll;
        ByteBuffer body = tenthsBody(channels, 11);
        body[8] = bits;
        body[9] = std::uint8_t(session & 0xFF);
        body[10] = std::uint8_t(session >> 8);
        readout::TimesPoll p;
        p.BolStopping = stopping;
        p.stopSpeed = stopSpeed;
        p.bolstop = bolstop;
        p.now = QDateTime(QDate(2005, 3, 7), QTime(14, 0)).addSecs(poll);
        p.updateexpdata = [this](int c, bool runOver) {
            if (((record.bytRotBits >> c) & 1) && !runOver)
                return;
            record.bolResultReady[c] = false;
            stored.emplace_back(poll, c);
        };
        readout::takeTimes(record, body, views, p);
        bolstop = p.bolstop;
    }
    void rotation(std::array<int, 4> tenths, std::uint8_t bits)
    {
        ByteBuffer body = tenthsBody(tenths, 9);
        body[8] = bits;
        readout::takeRotationTimes(record, body, views);
    }
};

TEST(Readout, ShowsBeamsFacingEachOtherAndRotationLessItsDelay)
{
    EXPECT_EQ(readout::sensorText(0, 0x02), QStringLiteral("mlmmmmmm"));
    EXPECT_EQ(readout::sensorText(2, 0x02), QStringLiteral("mmmmmmlm"));
    EXPECT_EQ(readout::sensorText(0, 0x81), QStringLiteral("mmmmmmmm")); // bits 0 and 7 are no beams
    Polls p;
    p.record.intRotDelay = 50;
    p.record.sngRunTime = {10.0f, 10.0f, 0, 0};
    p.rotation({30, 80, 0, 0}, 0x02);
    EXPECT_FLOAT_EQ(p.record.sngRotTime[0], 0.0f); // 3.0 - 5.0, never below 0
    EXPECT_FLOAT_EQ(p.record.sngTotalTime[1], 13.0f);
    EXPECT_EQ(p.record.bytRotBits, 0x02);
    ByteBuffer speeds = tenthsBody({125, 0, 0, 300}, 8);
    readout::takeRotationSpeeds(p.record, speeds, p.views);
    EXPECT_FLOAT_EQ(p.record.sngRotSpeed[0], 12.5f);
    EXPECT_FLOAT_EQ(p.record.sngRotSpeed[3], 30.0f);
    EXPECT_EQ(p.views[0].rotSpeed, QStringLiteral("12.5"));
}

TEST(Readout, LiveTimesAreTheSessionTimeOrTheTimeSinceTheChannelStarted)
{
    Polls p;
    p.times({0, 0, 0, 0}, 0x03, 1230);
    p.times({0, 100, 0, 0}, 0x03, 250);
    QString time, bits;
    readout::updatetimes(p.record, p.views, time, bits);
    EXPECT_FLOAT_EQ(p.record.sngRunTime[0], 25.0f);
    EXPECT_EQ(p.views[0].runTime, QStringLiteral("25.0"));
    EXPECT_EQ(p.views[1].runTime, QStringLiteral("15.0"));
    EXPECT_EQ(p.views[1].caption, QStringLiteral("CH2 Running"));
    EXPECT_EQ(bits, QStringLiteral("3"));
}

TEST(Readout, ARunIsStoredOnceOnePollAfterItsBitWasFirstSeenClear)
{
    Polls p;
    p.record.sngSpeed = 5.0f;
    p.times({0, 0, 0, 0}, 0x01, 10);
    p.times({0, 0, 0, 0}, 0x01, 20);
    p.record.sngSpeed = 6.0f;
    p.times({123, 0, 0, 0}, 0x00, 30); // still counts as running: time and speed once more
    EXPECT_FLOAT_EQ(p.record.sngRunTime[0], 12.3f);
    EXPECT_FLOAT_EQ(p.record.sngChanSpeed[0], 6.0f);
    p.times({123, 0, 0, 0}, 0x00, 40);
    p.times({123, 0, 0, 0}, 0x00, 50);
    ASSERT_EQ(p.stored, (std::vector<std::pair<int, int>>{{4, 0}}));
    EXPECT_EQ(p.views[0].caption, QStringLiteral("Subject ID"));
    EXPECT_TRUE(p.record.bolChanArmed[0]);
    EXPECT_EQ(p.record.dtChanStart[0], QDateTime(QDate(2005, 3, 7), QTime(14, 0, 2)));
    // Runs again: a new start time, a second result.
    p.times({0, 0, 0, 0}, 0x01, 60);
    p.times({300, 0, 0, 0}, 0x01, 70);
    p.times({80, 0, 0, 0}, 0x00, 80);
    p.times({80, 0, 0, 0}, 0x00, 90);
    EXPECT_EQ(p.stored.size(), 2u);
    EXPECT_EQ(p.record.dtChanStart[0], QDateTime(QDate(2005, 3, 7), QTime(14, 0, 7)));
    // A time whose low byte is 0 (25.6 s) is a time all the same.
    p.times({0, 0, 0, 0}, 0x02, 100);
    p.times({0, 256, 0, 0}, 0x00, 110);
    EXPECT_FLOAT_EQ(p.record.sngRunTime[1], 25.6f);
}

TEST(Readout, ARunIntoPassiveRotationIsStoredWhenTheRotationEnds)
{
    Polls p;
    p.times({0, 0, 0, 0}, 0x08, 10);
    p.times({0, 0, 0, 0}, 0x08, 20);
    p.times({0, 0, 0, 150}, 0x00, 30);
    p.rotation({0, 0, 0, 40}, 0x08);
    p.times({0, 0, 0, 150}, 0x00, 40);
    EXPECT_EQ(p.views[3].caption, QStringLiteral("Pas.Rotation"));
    EXPECT_FALSE(p.record.bolChanArmed[3]);
    EXPECT_TRUE(p.stored.empty());
    p.rotation({0, 0, 0, 60}, 0x00);
    p.times({0, 0, 0, 150}, 0x00, 50);
    ASSERT_EQ(p.stored.size(), 1u);
    EXPECT_FLOAT_EQ(p.record.sngTotalTime[3], 21.0f);
}

TEST(Readout, TheDurationStopsTheRunAndTheStopRecordsEveryChannelStillOn)
{
    Polls p;
    p.record.intDuration = 60;
    p.times({0, 0, 0, 0}, 0x07, 100);
    p.times({0, 50, 0, 0}, 0x07, 599);
    EXPECT_FALSE(p.bolstop);
    p.times({0, 50, 0, 0}, 0x07, 600);
    EXPECT_TRUE(p.bolstop);
    EXPECT_EQ(p.record.bytPrevChanBits, 0x07); // the channels were not looked at

    // The wheel stands still after Stop_Exp: the runs it cut short get the
    // speed read last before it; a rotation bit still set is recorded too.
    p.stopSpeed = 21.0f;
    p.record.sngSpeed = 0;
    p.rotation({0, 0, 30, 0}, 0x04);
    p.times({601, 551, 601, 0}, 0x00, 601, true);
    ASSERT_EQ(p.stored.size(), 3u);
    EXPECT_FLOAT_EQ(p.record.sngRunTime[1], 55.1f);
    EXPECT_FLOAT_EQ(p.record.sngChanSpeed[0], 21.0f);
    EXPECT_FLOAT_EQ(p.record.sngTotalTime[2], 63.1f);

    Polls longRun;
    longRun.record.intDuration = 4000;
    longRun.times({0, 0, 0, 0}, 0x01, 40000); // 4000.0 s: past the signed limit
    EXPECT_TRUE(longRun.bolstop);
}

// A fall takes the speed read nearest it, and only one read surely within
// an acceleration interval of it (the wheel moves a step an interval): a
// reading is dated between the polls around it, or at the poll it came
// right before or after.
TEST(Readout, AFallTakesTheSpeedReadNearestItWithinOneInterval)
{
    readout::SpeedReadings readings;
    readings.read(5.0f); // some time before the poll at 1.0
    readings.polled(1.0f, false);
    readings.read(6.0f);
    readings.polled(12.0f, true); // read right before it
    readings.read(7.0f);          // not dated yet
    EXPECT_EQ(readings.near(11.5f, 10), 6.0f);
    EXPECT_EQ(readings.near(0.5f, 10), 5.0f);
    EXPECT_EQ(readings.near(25.0f, 10), std::nullopt); // 13 s after the last dated one
    readings.polled(30.0f, false); // the polls between failed: 7.0 lies anywhere in 12 to 30
    EXPECT_EQ(readings.near(25.0f, 10), std::nullopt);
    readings.readAfterPoll(8.0f); // at 30.0
    EXPECT_EQ(readings.near(25.0f, 10), 8.0f);
}

// A poll that brings no reading near an owed fall leaves it owed: the
// speed read right after that poll may still give it; only the final
// settling takes the ramp.
TEST(Readout, AnOwedFallWaitsForAReadingNearItBeforeTheRampStandsIn)
{
    DeviceInfo record;
    record.intStartSpeed = 40;
    record.intEndSpeed = 400;
    record.intAccInterval = 50;
    record.intAccStep = 10;
    ChannelViews views;
    readout::FallSpeeds fall;
    fall.owed = 1;
    fall.fallTime[0] = 2.0f;
    ByteBuffer body = tenthsBody({20, 0, 0, 0}, 11);
    body[9] = 21; // session time 2.1 s, nothing running
    readout::TimesPoll poll;
    poll.speeds = &fall;
    readout::takeTimes(record, body, views, poll);
    EXPECT_EQ(fall.owed, 1);
    fall.readings.readAfterPoll(7.5f);
    fall.settle(record, false);
    EXPECT_EQ(std::tuple(fall.owed, fall.fromRamp, record.sngChanSpeed[0]), std::tuple(0, 0, 7.5f));
}

} // namespace
} // namespace velorix
