#pragma once

// One identity request of a scan. While another window's exchange holds the
// shared link, ReturnID is refused with 1001 before anything is sent: that
// says nothing about the device, so the request is made again when the
// link's turn comes (at most a pause later), a few times, before the device
// counts as not answering.

#include <QString>

#include <cstdint>
#include <functional>

namespace velorix {

struct BusyRetry
{
    int pauseMs = 100; // the longest wait for a turn at the link
    int repeats = 10;  // requests after the first one
};

// Normally a protocol object's ReturnID.
using IdentityRequest = std::function<std::int16_t(std::uint8_t address, QString &identity)>;

// Runs `request` for `address` until it is not refused as busy or the
// repeats are used up; returns the last result. Between repeats `carryOn`
// is asked whether the caller still wants the answer (its window may have
// been closed during the pause); when it says no, 1001 is returned at once.
std::int16_t probeIdentity(const IdentityRequest &request, std::uint8_t address, QString &identity,
                           const BusyRetry &retry, const std::function<bool()> &carryOn);

} // namespace velorix
