#pragma once

#include <cstdint>

namespace velorix {

// Waits at least `Milliseconds` while the event loop keeps running: timers
// fire, windows repaint and other windows' buttons work meanwhile, so a
// handler of another window may issue a bus command (and gets 1001 while an
// exchange is running). The wait sleeps in the event dispatcher; it burns no
// CPU. Delay(0) and negative values return at once.
void Delay(std::int32_t Milliseconds);

} // namespace velorix
