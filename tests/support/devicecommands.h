#pragma once

// Every device command once, for the protocol, simulator and end-to-end
// tests: its code, the bytes after the code, the body of a good reply and
// how much of that body the device must get right, and the read time-out.
//
// A request is [address, code, arguments..., checksum]; a reply is
// [address, body..., checksum]. The first `checked` body bytes are fixed (an
// acknowledgement 6, an echo of what was asked); the rest is data. Written
// here independently of the program's own table, so a wrong code, length
// or time-out there shows up as a difference.
// Reset (no reply) and ProgramData (a firmware record) have tests of their own.

#include "link/bytebuffer.h"

#include <cstdint>
#include <ostream>
#include <vector>

namespace velorix::testing {

struct DeviceCommand
{
    const char *name;
    int code;
    std::vector<int> arguments;
    std::vector<int> body; // of a good reply
    int checked;           // leading body bytes that are not data
    int timeoutMs;
};

inline void PrintTo(const DeviceCommand &command, std::ostream *out)
{
    *out << command.name;
}

inline const std::vector<DeviceCommand> &deviceCommands()
{
    const auto ack = [](const char *name, int code) { return DeviceCommand{name, code, {}, {6}, 1, 100}; };
    const auto data = [](const char *name, int code, int bodyLength, int timeoutMs = 100) {
        std::vector<int> body;
        for (int i = 1; i <= bodyLength; ++i)
            body.push_back(i * 7);
        return DeviceCommand{name, code, {}, body, 0, timeoutMs};
    };
    static const std::vector<DeviceCommand> table{
            ack("clear", 0x23),
            ack("Start_Diag", 0x50),
            ack("Stop_Diag", 0x51),
            ack("Start_Exp", 0x70),
            ack("Stop_Exp", 0x71),
            ack("Start_ALL", 0x69),
            ack("Start_CH1", 0x72),
            ack("Start_CH2", 0x73),
            ack("Start_CH3", 0x74),
            ack("Start_CH4", 0x75),
            ack("Inc_Speed", 0x53),
            ack("Dec_Speed", 0x54),
            ack("PurgeON", 0x28),
            ack("PurgeOFF", 0x79),
            data("Read_Sensor", 0x52, 4, 200),
            data("Read_Times", 0x60, 11),
            data("Read_ROT_Times", 0x76, 9),
            data("Read_ROT_Speed", 0x77, 8),
            data("Read_Speed", 0x55, 2),
            data("ReadClear", 0x24, 16),
            data("Read", 0x25, 16),
            data("ReSend", 0x18, 16),
            {"CalModeON", 0x30, {0x55}, {0x30, 0x55}, 2, 500},
            {"CalModeOFF", 0x30, {0xFF}, {0x30, 0xFF}, 2, 500},
            {"PumpSelect", 0x31, {3, 200}, {0x31, 3, 200}, 2, 100},
            {"ProgramAddr", 0x16, {16, 140}, {16, 140}, 2, 1000},
            {"ProgramMemLoc", 0x16, {34, 50}, {34, 50}, 2, 1000},
            {"WriteMem", 0x16, {34, 50}, {34, 50}, 2, 1000},
            {"ReadMem", 0x17, {41}, {41, 17}, 1, 1000},
            {"Program", 0x15, {0x56, 0x35, 0x50, 0x4D}, {6}, 0, 200},
            {"ReturnID", 0x11, {}, {'0', '2', '5', '4', '0', '2', '2', '0'}, 0, 100},
            {"SetGroupID", 0x12, {240}, {240}, 1, 100},
    };
    return table;
}

// [address, bytes..., checksum]: the checksum is the low byte of the sum.
inline ByteBuffer framedWith(int address, const std::vector<int> &bytes)
{
    ByteBuffer out{std::uint8_t(address)};
    unsigned sum = std::uint8_t(address);
    for (const int b : bytes) {
        out.push_back(std::uint8_t(b));
        sum += std::uint8_t(b);
    }
    out.push_back(std::uint8_t(sum));
    return out;
}

} // namespace velorix::testing
