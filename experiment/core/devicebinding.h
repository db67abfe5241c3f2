#pragma once

// Which device a new experiment window serves. The window count gives the
// device (the first window device 1, the second device 2, ...) as long as
// that device is configured and no open window holds it; otherwise the
// lowest configured device that no window holds. None free: no window.

#include "model/globals.h"

#include <optional>
#include <set>

namespace velorix {

[[nodiscard]] std::optional<int> chooseExperimentDevice(const DeviceTable &table, int windowCount,
                                                        const std::set<int> &held);

} // namespace velorix
