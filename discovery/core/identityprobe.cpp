#include "discovery/core/identityprobe.h"

#include "protocol/multidevmod.h"
#include "protocol/resultcodes.h"

namespace velorix {

std::int16_t probeIdentity(const IdentityRequest &request, std::uint8_t address, QString &identity,
                           const BusyRetry &retry, const std::function<bool()> &carryOn)
{
    std::int16_t result = request(address, identity);
    for (int repeat = 0; result == rc::Busy && repeat < retry.repeats; ++repeat) {
        (void)waitForLinkTurn(retry.pauseMs); // the next request tells
        if (carryOn && !carryOn())
            break;
        result = request(address, identity);
    }
    return result;
}

} // namespace velorix
