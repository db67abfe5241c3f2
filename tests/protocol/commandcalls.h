#pragma once

// Calls the protocol object's method for a command of the device command
// table (devicecommands.h) with that table's arguments; a data reply's body
// (or the byte ReadMem read) lands in `body`.

#include "devicecommands.h"

#include "protocol/multivelorix.h"

#include <map>
#include <string>

namespace velorix::testing {

inline std::int16_t callCommand(multiVelorix &d, const DeviceCommand &command, std::uint8_t a,
                                ByteBuffer &body)
{
    using D = multiVelorix;
    static const std::map<std::string, std::int16_t (D::*)(std::uint8_t)> plain{
            {"clear", &D::clear},           {"Start_Diag", &D::Start_Diag}, {"Stop_Diag", &D::Stop_Diag},
            {"Start_Exp", &D::Start_Exp},   {"Stop_Exp", &D::Stop_Exp},     {"Start_ALL", &D::Start_ALL},
            {"Start_CH1", &D::Start_CH1},   {"Start_CH2", &D::Start_CH2},   {"Start_CH3", &D::Start_CH3},
            {"Start_CH4", &D::Start_CH4},   {"Inc_Speed", &D::Inc_Speed},   {"Dec_Speed", &D::Dec_Speed},
            {"PurgeON", &D::PurgeON},       {"PurgeOFF", &D::PurgeOFF},     {"CalModeON", &D::CalModeON},
            {"CalModeOFF", &D::CalModeOFF}, {"Program", &D::Program}};
    static const std::map<std::string, std::int16_t (D::*)(std::uint8_t, ByteBuffer &)> data{
            {"Read_Sensor", &D::Read_Sensor},
            {"Read_Times", &D::Read_Times},
            {"Read_ROT_Times", &D::Read_ROT_Times},
            {"Read_ROT_Speed", &D::Read_ROT_Speed},
            {"Read_Speed", &D::Read_Speed},
            {"ReadClear", &D::ReadClear},
            {"Read", &D::Read},
            {"ReSend", &D::ReSend}};
    const std::string name = command.name;
    const std::vector<int> &arg = command.arguments;
    if (const auto it = plain.find(name); it != plain.end())
        return (d.*it->second)(a);
    if (const auto it = data.find(name); it != data.end())
        return (d.*it->second)(a, body);
    if (name == "PumpSelect")
        return d.PumpSelect(a, std::uint8_t(arg[0]), arg[1]);
    if (name == "ProgramAddr")
        return d.ProgramAddr(a, std::uint8_t(arg[1]));
    if (name == "ProgramMemLoc")
        return d.ProgramMemLoc(a, std::uint8_t(arg[0]), std::uint8_t(arg[1]));
    if (name == "WriteMem")
        return d.WriteMem(a, std::uint8_t(arg[0]), std::uint8_t(arg[1]));
    if (name == "SetGroupID")
        return d.SetGroupID(a, std::uint8_t(arg[0]));
    if (name == "ReadMem") {
        std::uint8_t value = 0;
        const std::int16_t result = d.ReadMem(a, std::uint8_t(arg[0]), value);
        body = {value};
        return result;
    }
    QString id; // ReturnID
    const std::int16_t result = d.ReturnID(a, id);
    const QByteArray text = id.toLatin1();
    body.assign(text.cbegin(), text.cend());
    return result;
}

} // namespace velorix::testing
