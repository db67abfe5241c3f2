#pragma once

// The device's side of the command table: which codes it knows, how long a
// request of each code is, how long its reply is and how long the program
// waits for that reply. The simulator keeps its own copy on purpose: it is an
// independent model of the device and must not inherit the program's mistakes.

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

namespace velorix::sim {

// Codes as they travel in byte 1 of a request.
namespace Code {
inline constexpr quint8 Reset = 16;
inline constexpr quint8 ReturnId = 17;
inline constexpr quint8 SetGroupId = 18;
inline constexpr quint8 Program = 21;
inline constexpr quint8 WriteMem = 22; // also the firmware record in program mode
inline constexpr quint8 ReadMem = 23;
inline constexpr quint8 ReSend = 24;
inline constexpr quint8 Clear = 35;
inline constexpr quint8 ReadClear = 36;
inline constexpr quint8 Read = 37;
inline constexpr quint8 PurgeOn = 40;
inline constexpr quint8 CalMode = 48;
inline constexpr quint8 PumpSelect = 49;
inline constexpr quint8 StartDiag = 80;
inline constexpr quint8 StopDiag = 81;
inline constexpr quint8 ReadSensor = 82;
inline constexpr quint8 IncSpeed = 83;
inline constexpr quint8 DecSpeed = 84;
inline constexpr quint8 ReadSpeed = 85;
inline constexpr quint8 ReadTimes = 96;
inline constexpr quint8 StartAll = 105;
inline constexpr quint8 StartExp = 112;
inline constexpr quint8 StopExp = 113;
inline constexpr quint8 StartCh1 = 114; // StartCh1 + n starts channel n + 1
inline constexpr quint8 StartCh4 = 117;
inline constexpr quint8 ReadRotTimes = 118;
inline constexpr quint8 ReadRotSpeed = 119;
inline constexpr quint8 PurgeOff = 121;
} // namespace Code

inline constexpr quint8 kBroadcastAddress = 255;
inline constexpr quint8 kAck = 6;
inline constexpr quint8 kNak = 21;

// A firmware record in program mode: [address, 22, ':', text...], no checksum.
inline constexpr int kRecordReplyLength = 3;
inline constexpr int kRecordTimeoutMs = 200;

struct CommandInfo
{
    quint8 code = 0;
    int requestLength = 0; // address and checksum included
    int replyLength = 0;   // 0: the device never answers
    int timeoutMs = 0;     // how long the program waits for the reply
};

// Empty for a code the device does not know.
[[nodiscard]] std::optional<CommandInfo> commandInfo(quint8 code);

// Low 8 bits of the sum of every byte given.
[[nodiscard]] quint8 checksumOf(QByteArrayView bytes);

// True when the last byte is the checksum of the ones before it.
[[nodiscard]] bool hasValidChecksum(QByteArrayView frame);

// Appends the checksum of everything already in `frame`.
[[nodiscard]] QByteArray withChecksum(QByteArray frame);

// Times and speeds leave the device as unsigned 16-bit tenths, low byte first;
// values beyond 6553.5 saturate instead of wrapping, so a long session never
// appears to jump back to zero.
void appendTenths(QByteArray &out, qint64 tenths);

[[nodiscard]] inline quint8 byteAt(QByteArrayView bytes, qsizetype index)
{
    return static_cast<quint8>(bytes.at(index));
}

} // namespace velorix::sim
