#pragma once

// The device's set-up memory (locations 34 to 47): which location holds
// what, which ones a firmware version takes, and how a byte read from a
// location is stored in the device record. Pure; the timed transfers that
// walk these tables one step per tick live in SetupTransfer.

#include "model/deviceinfo.h"

#include <array>
#include <cstdint>

namespace velorix {

namespace setupmemory {

constexpr std::uint8_t kStartSpeedLow = 34;
constexpr std::uint8_t kOptions = 41;
constexpr std::uint8_t kDirection = 46;
constexpr std::uint8_t kRotDelay = 47;

// The upload reads these, in this order (steps 0 to 9).
constexpr std::array<std::uint8_t, 10> kUploadLocations = {34, 35, 36, 37, 38, 39, 40, 41, 46, 47};

// Steps 0 to 12 are writes or skips, 13 the wait and reset, 14 the rocking
// request.
constexpr int kResetStep = 13;
constexpr int kRockStep = 14;

// Locations 42 to 46 go to firmware above 2.05, 47 to firmware above 2.1.
// The comparisons are made in 32-bit float, so 2.05 itself gets none.
[[nodiscard]] bool takesDirection(float version);
[[nodiscard]] bool takesRotDelay(float version);
// PurgeOFF is the rocking request only above 2.1.
[[nodiscard]] bool takesRockingRequest(float version);

struct Write
{
    bool skip = true;
    std::uint8_t location = 0;
    std::uint8_t value = 0;
};

// The write of download step 0 to 12 for this record and its version.
[[nodiscard]] Write downloadWrite(int step, const DeviceInfo &record);

// Stores a byte read from a set-up location: an even location of a
// two-byte value replaces the field, the odd one after it adds its byte
// times 256. A pair that would not fit the signed 16-bit field (a high
// byte of 128 or more) leaves the field at 3276.7, the most it can hold.
void storeSetupByte(DeviceInfo &record, std::uint8_t location, std::uint8_t byte);

} // namespace setupmemory

} // namespace velorix
