// Turns at the shared link: who is served when, and who leaves the line.

#include "link/linkturns.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

namespace velorix {
namespace {

class LinkTurnsTest : public ::testing::Test
{
protected:
    bool busy = true; // another window's exchange holds the link
    LinkTurns turns{[this] { return busy; }};
    QStringList served;

    // A window whose turn notes its name and runs one exchange.
    void queue(QObject &party, const QString &name, const std::function<void()> &more = {})
    {
        turns.awaitTurn(&party, [this, name, more] {
            served << name;
            turns.exchangeEnded();
            if (more)
                more();
        });
    }
    void exchangeEnds()
    {
        busy = false;
        turns.exchangeEnded();
    }
    void runEvents(int ms = 50)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
};

TEST_F(LinkTurnsTest, WaitersAreServedInTurnNobodyStarvesAndAClosedWindowLeavesTheLine)
{
    QObject a, c, d, e;
    auto b = std::make_unique<QObject>();
    // Window a is behind and wants the link again at once: the others
    // still come first.
    queue(a, QStringLiteral("a"), [&] { queue(a, QStringLiteral("a again")); });
    queue(*b, QStringLiteral("b"));
    queue(c, QStringLiteral("c"));
    queue(c, QStringLiteral("c twice")); // keeps its one place
    queue(d, QStringLiteral("d"));
    queue(e, QStringLiteral("e"));
    EXPECT_FALSE(turns.isFree());
    EXPECT_TRUE(turns.isWaiting(&c));
    b.reset(); // closed while waiting
    turns.leave(&e);
    runEvents();
    EXPECT_TRUE(served.isEmpty()); // nothing while the link is busy
    exchangeEnds();
    runEvents();
    EXPECT_EQ(served, (QStringList{"a", "c", "d", "a again"}));
    EXPECT_TRUE(turns.isFree());
    EXPECT_EQ(turns.waiting(), 0u);
}

TEST_F(LinkTurnsTest, ASynchronousWaitIsWokenByTheLinkInItsTurnOrTimesOut)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(turns.waitForTurn(60)); // the link never comes free
    EXPECT_GE(clock.elapsed(), 60);
    EXPECT_EQ(turns.waiting(), 0u);

    QObject a;
    queue(a, QStringLiteral("a")); // came first
    QTimer::singleShot(20, [this] { exchangeEnds(); });
    clock.restart();
    ASSERT_TRUE(turns.waitForTurn(5000));
    EXPECT_LT(clock.elapsed(), 1000); // woken, not timed out
    EXPECT_EQ(served, QStringList{"a"});
    EXPECT_TRUE(turns.isFree());
    EXPECT_TRUE(turns.waitForTurn(0)); // a free link needs no wait
}

TEST(LinkTurns, ASynchronousWaitEndsWhenTheLinkGoes)
{
    auto turns = std::make_unique<LinkTurns>([] { return true; });
    QTimer::singleShot(10, [&] { turns.reset(); });
    EXPECT_FALSE(turns->waitForTurn(5000));
    EXPECT_FALSE(turns);
}

} // namespace
} // namespace velorix
