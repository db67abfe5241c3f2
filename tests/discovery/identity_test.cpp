// A probe's patience with a busy link.

#include "discovery/core/identityprobe.h"
#include "protocol/resultcodes.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <deque>

namespace velorix {
namespace {

TEST(IdentityProbe, RepeatsOnlyWhatTheBusyLinkRefused)
{
    std::deque<std::int16_t> results;
    int calls = 0;
    const IdentityRequest request = [&](std::uint8_t, QString &) {
        ++calls;
        const std::int16_t result = results.front();
        if (results.size() > 1)
            results.pop_front();
        return result;
    };
    const auto probe = [&](std::deque<std::int16_t> script, BusyRetry retry, std::function<bool()> carryOn = {}) {
        results = std::move(script);
        calls = 0;
        QString identity;
        return probeIdentity(request, 200, identity, retry, carryOn);
    };

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(probe({rc::Busy, rc::Busy, rc::Ok}, BusyRetry{}), rc::Ok);
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(probe({rc::Busy}, BusyRetry{1, 10}), rc::Busy);
    EXPECT_EQ(calls, 11);
    EXPECT_EQ(probe({rc::NoReply, rc::Ok}, BusyRetry{1, 10}), rc::NoReply);
    EXPECT_EQ(calls, 1);
    int asked = 0; // a caller whose window has gone stops the repeats
    EXPECT_EQ(probe({rc::Busy}, BusyRetry{1, 10}, [&] { return ++asked < 3; }), rc::Busy);
    EXPECT_EQ(calls, 3);
}

} // namespace
} // namespace velorix
