#pragma once

// The one serial link all protocol objects share. The first multiVelorix
// object creates it, the last one releases it, which closes the port.

#include "link/multicommv10.h"
#include "link/serialbackend.h"

#include <cstdint>
#include <memory>

namespace velorix {

extern std::unique_ptr<multicommv10> objComm;
extern std::int16_t intDevObjCount;

// Which port component a new link gets: real ports by default; tests put a
// scripted peer here before the first protocol object is created.
void setSerialBackendFactory(SerialBackendFactory factory);
[[nodiscard]] std::unique_ptr<SerialBackend> createSerialBackend();

// Waits at most `milliseconds` for a turn at the shared link, returning at
// once when it is free; without a link it simply waits. True when the turn
// came: the caller starts its exchange at once.
[[nodiscard]] bool waitForLinkTurn(std::int32_t milliseconds);

} // namespace velorix
