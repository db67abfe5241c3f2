#include "experiment/core/setupmemory.h"

#include <limits>

namespace velorix::setupmemory {

namespace {

std::uint8_t lowByte(std::int16_t value)
{
    return static_cast<std::uint8_t>(static_cast<std::uint16_t>(value) & 0xFF);
}

std::uint8_t highByte(std::int16_t value)
{
    return static_cast<std::uint8_t>(static_cast<std::uint16_t>(value) >> 8);
}

void addHighByte(std::int16_t &field, std::uint8_t byte)
{
    const int combined = field + 256 * byte;
    field = combined > std::numeric_limits<std::int16_t>::max() ? std::numeric_limits<std::int16_t>::max()
                                                                : static_cast<std::int16_t>(combined);
}

} // namespace

bool takesDirection(float version)
{
    return version > 2.05f;
}

bool takesRotDelay(float version)
{
    return version > 2.1f;
}

bool takesRockingRequest(float version)
{
    return version > 2.1f;
}

Write downloadWrite(int step, const DeviceInfo &record)
{
    const float version = record.sngVersion;
    switch (step) {
    case 0: return {false, 34, lowByte(record.intStartSpeed)};
    case 1: return {false, 35, highByte(record.intStartSpeed)};
    case 2: return {false, 36, lowByte(record.intEndSpeed)};
    case 3: return {false, 37, highByte(record.intEndSpeed)};
    case 4: return {false, 38, lowByte(record.intAccInterval)};
    case 5: return {false, 39, highByte(record.intAccInterval)};
    case 6: return {false, 40, lowByte(record.intAccStep)};
    case 7: return {false, 41, record.bytExpOptions};
    case 8: return {!takesDirection(version), 42, 144};
    case 9: return {!takesDirection(version), 43, 76};
    case 10: return {!takesDirection(version), 44, 96};
    case 11: return {!takesDirection(version), 46, record.bytDirection};
    case 12: return {!takesRotDelay(version), 47, lowByte(record.intRotDelay)};
    default: break;
    }
    return {};
}

void storeSetupByte(DeviceInfo &record, std::uint8_t location, std::uint8_t byte)
{
    switch (location) {
    case 34: record.intStartSpeed = byte; break;
    case 35: addHighByte(record.intStartSpeed, byte); break;
    case 36: record.intEndSpeed = byte; break;
    case 37: addHighByte(record.intEndSpeed, byte); break;
    case 38: record.intAccInterval = byte; break;
    case 39: addHighByte(record.intAccInterval, byte); break;
    case 40: record.intAccStep = byte; break;
    case 41: record.bytExpOptions = byte; break;
    case 46: record.bytDirection = byte; break;
    case 47: record.intRotDelay = byte; break;
    default: break;
    }
}

} // namespace velorix::setupmemory
