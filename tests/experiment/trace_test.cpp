// The speed trace behind the experiment window's plot: the ramp a set-up
// plans, the falls it marks, and a line that stays short however long the
// run.

#include "experiment/core/accelcalc.h"
#include "experiment/core/speedtrace.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velorix {
namespace {

DeviceInfo setup(int start, int end, int interval, int step, int duration)
{
    DeviceInfo record;
    record.intStartSpeed = std::int16_t(start);
    record.intEndSpeed = std::int16_t(end);
    record.intAccInterval = std::int16_t(interval);
    record.intAccStep = std::int16_t(step);
    record.intDuration = std::int16_t(duration);
    return record;
}

TEST(SpeedTrace, TheRampIsTheStaircaseTheDeviceRuns)
{
    struct Case
    {
        const char *what;
        DeviceInfo record;
        qsizetype points;
        std::vector<QPointF> head; // the first points
        QPointF last;
    };
    const Case cases[] = {
            {"rising, cut by the duration",
             setup(50, 200, 100, 10, 60),
             12,
             {{0, 5}, {10, 5}, {10, 6}, {20, 6}},
             {60, 10}},
            {"falling, never past the end, one interval on without a duration",
             setup(200, 50, 100, 40, 0),
             10,
             {{0, 20}, {10, 20}, {10, 16}},
             {50, 5}},
            {"a step of 30.0 reaches the device as 4.4",
             setup(0, 100, 10, 300, 0),
             8,
             {{0, 0}, {1, 0}, {1, 4.4}},
             {4, 10}},
            {"no step: flat over a minute", setup(50, 200, 100, 0, 0), 2, {{0, 5}}, {60, 5}},
            {"too fine to draw as stairs: straight",
             setup(0, 30000, 1, 1, 0),
             3,
             {{0, 0}, {3000, 3000}},
             {3000.1, 3000}},
    };
    for (const Case &c : cases) {
        const QList<QPointF> points = rampPoints(rampPlanOf(c.record));
        ASSERT_EQ(points.size(), c.points) << c.what;
        for (std::size_t i = 0; i < c.head.size(); ++i)
            EXPECT_EQ(points[qsizetype(i)], c.head[i]) << c.what << " point " << i;
        EXPECT_EQ(points.constLast(), c.last) << c.what;
    }

    // The calculator's result, 1.0 to 10.0 in 60 s by 0.3 every 2 s, ends
    // with its last step, as its labels say.
    AccelInputs inputs;
    const QList<QPointF> calc = rampPoints(rampPlanOf(inputs, *calcAccel(inputs).labels));
    EXPECT_EQ(calc.size(), 1 + 2 * 30);
    EXPECT_EQ(calc.constLast(), QPointF(60, 10));
}

TEST(SpeedTrace, FallsAreMarkedButNotTheStopNorAFailedRead)
{
    SpeedTrace trace;
    trace.start(rampPlanOf(setup(50, 200, 100, 10, 0)));
    const int generation = trace.generation();
    trace.observe(0.1, 5.0, 0x0F);
    trace.observe(12.5, 6.0, 0x0E);       // channel 1 fell
    trace.observe(12.5, 6.0, 0x0C);       // no new reply: nothing
    trace.observe(20.3, 7.0, 0x0A);       // channel 3 fell
    trace.observe(25.0, 7.0, 0x00, true); // the stop cleared the rest
    ASSERT_EQ(trace.falls().size(), 2u);
    EXPECT_EQ(trace.falls()[0].channel, 0);
    EXPECT_EQ(trace.falls()[0].time, 12.5);
    EXPECT_EQ(trace.falls()[0].speed, 6.0);
    EXPECT_EQ(trace.falls()[1].channel, 2);
    EXPECT_EQ(trace.samples(), 4);

    // "ReStart Exp": the device's session time starts over, so does the trace.
    trace.observe(0.1, 5.0, 0x0F);
    EXPECT_TRUE(trace.falls().empty());
    EXPECT_EQ(trace.line().size(), 1);
    EXPECT_EQ(trace.generation(), generation + 1);
    EXPECT_EQ(trace.planned().size(), 2 + 2 * 15);
}

TEST(SpeedTrace, ASteadySpeedMovesTheLastPointOnInsteadOfAddingOne)
{
    SpeedTrace trace;
    trace.start(RampPlan{});
    for (int tick = 1; tick <= 3000; ++tick)
        trace.observe(tick / 10.0, tick <= 1000 ? 5.0 : 6.0, 0x0F);
    // The corners only: 5.0 from 0.1 to 100.0, 6.0 from 100.1 to 300.0.
    EXPECT_EQ(trace.line(), QList<QPointF>({{0.1, 5}, {100, 5}, {100.1, 6}, {300, 6}}));
    EXPECT_EQ(trace.samples(), 3000);
    EXPECT_EQ(trace.topSpeed(), 6.0);
}

// A day-long session whose speed changes with every poll, and a subject
// falling every few polls: the trace stays bounded, keeps its first and
// newest points in order, and tells the plot to draw it anew.
TEST(SpeedTrace, ALongSessionOfChangingSpeedsStaysBounded)
{
    SpeedTrace trace;
    trace.start(RampPlan{});
    const int generation = trace.generation();
    const int polls = 10 * 3600 * 8;
    for (int tick = 1; tick <= polls; ++tick)
        trace.observe(tick / 10.0, tick % 7, tick % 5 == 0 ? 0x0E : 0x0F);
    const QList<QPointF> &line = trace.line();
    EXPECT_LE(line.size(), 4001);
    EXPECT_GT(line.size(), 2000);
    EXPECT_LE(trace.falls().size(), 4000u);
    EXPECT_EQ(line.constFirst(), QPointF(0.1, 1));
    EXPECT_EQ(line.constLast(), QPointF(polls / 10.0, polls % 7));
    EXPECT_TRUE(std::is_sorted(line.cbegin(), line.cend(),
                               [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); }));
    EXPECT_EQ(trace.falls().back().time, (polls - polls % 5) / 10.0);
    EXPECT_GT(trace.generation(), generation);
    EXPECT_EQ(trace.samples(), polls);
}

} // namespace
} // namespace velorix
