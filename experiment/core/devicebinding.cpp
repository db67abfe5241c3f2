#include "experiment/core/devicebinding.h"

namespace velorix {

std::optional<int> chooseExperimentDevice(const DeviceTable &table, int windowCount,
                                          const std::set<int> &held)
{
    const auto free = [&](int number) {
        return number >= 0 && number < kUsableDevices && table[number].inUse() && held.count(number) == 0;
    };
    if (free(windowCount))
        return windowCount;
    for (int number = 0; number < kUsableDevices; ++number) {
        if (free(number))
            return number;
    }
    return std::nullopt;
}

} // namespace velorix
