#pragma once

// The device's command set: code, request and reply lengths (address and
// checksum included) and the read time-out of each command.

#include <cstdint>

namespace velorix::commands {

struct Command
{
    const char *name;
    std::uint8_t code;
    std::uint8_t requestLength;
    std::uint8_t replyLength; // 0: nothing is read
    std::int32_t timeoutMs;
};

// Acknowledged: reply [address, 6, checksum].
inline constexpr Command clear{"clear", 0x23, 3, 3, 100};
inline constexpr Command Start_Diag{"Start_Diag", 0x50, 3, 3, 100};
inline constexpr Command Stop_Diag{"Stop_Diag", 0x51, 3, 3, 100};
inline constexpr Command Start_Exp{"Start_Exp", 0x70, 3, 3, 100};
inline constexpr Command Stop_Exp{"Stop_Exp", 0x71, 3, 3, 100};
inline constexpr Command Start_ALL{"Start_ALL", 0x69, 3, 3, 100};
inline constexpr Command Start_CH1{"Start_CH1", 0x72, 3, 3, 100};
inline constexpr Command Start_CH2{"Start_CH2", 0x73, 3, 3, 100};
inline constexpr Command Start_CH3{"Start_CH3", 0x74, 3, 3, 100};
inline constexpr Command Start_CH4{"Start_CH4", 0x75, 3, 3, 100};
inline constexpr Command Inc_Speed{"Inc_Speed", 0x53, 3, 3, 100};
inline constexpr Command Dec_Speed{"Dec_Speed", 0x54, 3, 3, 100};
inline constexpr Command PurgeON{"PurgeON", 0x28, 3, 3, 100};
inline constexpr Command PurgeOFF{"PurgeOFF", 0x79, 3, 3, 100};

// Data: reply [address, body ..., checksum], body handed back uninterpreted.
inline constexpr Command Read_Sensor{"Read_Sensor", 0x52, 3, 6, 200};
inline constexpr Command Read_Times{"Read_Times", 0x60, 3, 13, 100};
inline constexpr Command Read_ROT_Times{"Read_ROT_Times", 0x76, 3, 11, 100};
inline constexpr Command Read_ROT_Speed{"Read_ROT_Speed", 0x77, 3, 10, 100};
inline constexpr Command Read_Speed{"Read_Speed", 0x55, 3, 4, 100};
inline constexpr Command ReadClear{"ReadClear", 0x24, 3, 18, 100};
inline constexpr Command Read{"Read", 0x25, 3, 18, 100};
inline constexpr Command ReSend{"ReSend", 0x18, 3, 18, 100};

// Echo: reply bytes 1 and 2 repeat what the request asked for.
inline constexpr Command CalMode{"CalMode", 0x30, 4, 4, 500};
inline constexpr Command PumpSelect{"PumpSelect", 0x31, 5, 5, 100};
inline constexpr Command WriteMem{"WriteMem", 0x16, 5, 4, 1000}; // also ProgramAddr, ProgramMemLoc
inline constexpr Command ReadMem{"ReadMem", 0x17, 4, 4, 1000};

inline constexpr Command Program{"Program", 0x15, 7, 3, 200};
inline constexpr Command ProgramData{"ProgramData", 0x16, 0, 3, 200}; // length from the record
inline constexpr Command Reset{"Reset", 0x10, 3, 0, 0};
inline constexpr Command ReturnID{"ReturnID", 0x11, 3, 10, 100};
inline constexpr Command SetGroupID{"SetGroupID", 0x12, 4, 3, 100};

inline constexpr std::uint8_t kCalModeOn = 0x55;
inline constexpr std::uint8_t kCalModeOff = 0xFF;
inline constexpr std::uint8_t kAddressLocation = 16;      // memory location of the bus address
inline constexpr std::uint8_t kCalConstantsLocation = 48; // 48..55
inline constexpr std::uint8_t kMinGroupId = 240;
inline constexpr std::uint8_t kMaxGroupId = 254;

} // namespace velorix::commands
