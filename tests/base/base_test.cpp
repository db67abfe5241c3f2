// Delay, the periodic timer and reading numbers from text.

#include "base/ccrptimer.h"
#include "base/delay.h"
#include "base/leadingnumber.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include "cputime.h"
#include <vector>

using namespace velorix;

namespace {

TEST(DelayTest, WaitsAsleepWhileTimersAndANestedDelayRun)
{
    QElapsedTimer clock;
    clock.start();
    Delay(0);
    Delay(-5);
    EXPECT_LT(clock.elapsed(), 5);

    int ticks = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&ticks] { ++ticks; });
    other.start(20);
    QElapsedTimer inner; // outlasts the outer delay, which still ends after it
    QTimer::singleShot(10, [&inner] {
        inner.start();
        Delay(320);
        EXPECT_GE(inner.elapsed(), 320);
    });
    const double cpuBefore = velorix::testing::processCpuMilliseconds();
    clock.restart();
    Delay(300);
    EXPECT_GE(clock.elapsed(), 320);
    EXPECT_LT(clock.elapsed(), 450);
    EXPECT_GE(ticks, 10);                                                    // the event loop kept running
    EXPECT_LT(velorix::testing::processCpuMilliseconds() - cpuBefore, 25.0); // it sleeps rather than spins
}

TEST(PeriodicTimerTest, DisabledTimerIsSilentAndAnIntervalChangedInTheFirstEventApplies)
{
    ccrpTimer timer;
    timer.setStats(10);
    timer.setInterval(20);
    std::vector<qint64> at;
    QElapsedTimer clock;
    QObject::connect(&timer, &ccrpTimer::Timer, [&](std::int32_t) {
        at.push_back(clock.elapsed());
        if (at.size() == 1)
            timer.setInterval(100);
    });
    Delay(120);
    EXPECT_TRUE(at.empty());
    EXPECT_FALSE(timer.Enabled());
    EXPECT_EQ(timer.Stats(), 10);
    clock.start();
    timer.setEnabled(true);
    timer.setEnabled(true); // enabling again keeps it running
    Delay(450);
    timer.setEnabled(false);
    ASSERT_GE(at.size(), 4u);
    EXPECT_LT(at[0], 60);
    for (std::size_t i = 1; i < at.size(); ++i) {
        EXPECT_GE(at[i] - at[i - 1], 95);
        EXPECT_LT(at[i] - at[i - 1], 140);
    }
}

TEST(PeriodicTimerTest, NoEventWhileTheHandlerWaitsAndAReleasedTimerRaisesNothingMore)
{
    ccrpTimer waiting;
    waiting.setInterval(10);
    int running = 0;
    int maxRunning = 0;
    int ticks = 0;
    QObject::connect(&waiting, &ccrpTimer::Timer, [&](std::int32_t) {
        ++ticks;
        maxRunning = std::max(maxRunning, ++running);
        Delay(35); // as a tick that waits inside an exchange
        --running;
    });
    waiting.setEnabled(true);
    Delay(300);
    waiting.setEnabled(false);
    EXPECT_GE(ticks, 4);
    EXPECT_EQ(maxRunning, 1);

    auto *timer = new ccrpTimer;
    timer->setInterval(30);
    int events = 0;
    QObject::connect(timer, &ccrpTimer::Timer, [&events](std::int32_t) { ++events; });
    timer->setEnabled(true);
    Delay(25); // a period is about to end
    timer->setEnabled(false);
    Delay(200);
    delete timer;
    Delay(60);
    EXPECT_EQ(events, 0);

    // A handler may release its own timer.
    auto *selfReleasing = new ccrpTimer;
    selfReleasing->setInterval(10);
    QObject::connect(selfReleasing, &ccrpTimer::Timer, [&](std::int32_t) {
        ++events;
        selfReleasing->setEnabled(false);
        delete selfReleasing;
    });
    selfReleasing->setEnabled(true);
    Delay(80);
    EXPECT_EQ(events, 1);
}

// Numbers read from typed text or a file: the leading number, whatever follows.
TEST(LeadingNumberTest, ReadsTheLeadingNumberOnly)
{
    const std::pair<const char *, double> cases[]
            = {{"12.25", 12.25}, {"abc", 0},  {"7.5 rpm", 7.5}, {"  -2.5x", -2.5},  {"+4", 4},
               {"1.2.3", 1.2},   {".5", 0.5}, {"1e10", 1e10},   {"2.5E-1 s", 0.25}, {"1e+3", 1000},
               {"5 e3", 5},      {"3e", 3},   {"", 0}};
    for (const auto &[text, value] : cases)
        EXPECT_DOUBLE_EQ(leadingNumber(QString::fromLatin1(text)), value) << text;
    EXPECT_FALSE(leadingNumberIfAny(QStringLiteral(" . ")));
    EXPECT_FALSE(leadingNumberIfAny(QStringLiteral("-")));
    EXPECT_EQ(leadingNumberIfAny(QStringLiteral("0")), 0.0);
}

} // namespace
