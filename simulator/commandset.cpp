#include "simulator/commandset.h"

#include <algorithm>
#include <array>

namespace velorix::sim {

namespace {

constexpr std::array<CommandInfo, 30> kCommands{{
        {Code::Reset, 3, 0, 0},
        {Code::ReturnId, 3, 10, 100},
        {Code::SetGroupId, 4, 3, 100},
        {Code::Program, 7, 3, 200},
        {Code::WriteMem, 5, 4, 1000},
        {Code::ReadMem, 4, 4, 1000},
        {Code::ReSend, 3, 18, 100},
        {Code::Clear, 3, 3, 100},
        {Code::ReadClear, 3, 18, 100},
        {Code::Read, 3, 18, 100},
        {Code::PurgeOn, 3, 3, 100},
        {Code::CalMode, 4, 4, 500},
        {Code::PumpSelect, 5, 5, 100},
        {Code::StartDiag, 3, 3, 100},
        {Code::StopDiag, 3, 3, 100},
        {Code::ReadSensor, 3, 6, 200},
        {Code::IncSpeed, 3, 3, 100},
        {Code::DecSpeed, 3, 3, 100},
        {Code::ReadSpeed, 3, 4, 100},
        {Code::ReadTimes, 3, 13, 100},
        {Code::StartAll, 3, 3, 100},
        {Code::StartExp, 3, 3, 100},
        {Code::StopExp, 3, 3, 100},
        {114, 3, 3, 100},
        {115, 3, 3, 100},
        {116, 3, 3, 100},
        {Code::StartCh4, 3, 3, 100},
        {Code::ReadRotTimes, 3, 11, 100},
        {Code::ReadRotSpeed, 3, 10, 100},
        {Code::PurgeOff, 3, 3, 100},
}};

} // namespace

std::optional<CommandInfo> commandInfo(quint8 code)
{
    const auto found = std::find_if(kCommands.begin(), kCommands.end(),
                                    [code](const CommandInfo &info) { return info.code == code; });
    if (found == kCommands.end())
        return std::nullopt;
    return *found;
}

quint8 checksumOf(QByteArrayView bytes)
{
    unsigned sum = 0;
    for (const char byte : bytes)
        sum += static_cast<quint8>(byte);
    return static_cast<quint8>(sum & 0xFFu);
}

bool hasValidChecksum(QByteArrayView frame)
{
    if (frame.size() < 2)
        return false;
    return checksumOf(frame.first(frame.size() - 1)) == byteAt(frame, frame.size() - 1);
}

QByteArray withChecksum(QByteArray frame)
{
    frame.append(static_cast<char>(checksumOf(frame)));
    return frame;
}

void appendTenths(QByteArray &out, qint64 tenths)
{
    const auto value = static_cast<quint16>(std::clamp<qint64>(tenths, 0, 0xFFFF));
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>(value >> 8));
}

} // namespace velorix::sim
