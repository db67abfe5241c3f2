#pragma once

// A device-protocol object: one operation per device command. Each builds
// its request, runs one exchange on the shared link, judges the reply and
// returns a result code (0 = success); reply data goes back through the
// arguments. The object keeps no state between calls. Every window that
// talks to devices holds one.

#include "link/bytebuffer.h"
#include "link/multicommv10.h"
#include "link/serialbackend.h"
#include "protocol/commandtable.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace velorix {

class multiVelorix
{
public:
    multiVelorix();
    ~multiVelorix();
    multiVelorix(const multiVelorix &) = delete;
    multiVelorix &operator=(const multiVelorix &) = delete;

    // Acknowledged commands.
    [[nodiscard]] std::int16_t clear(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Start_Diag(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Stop_Diag(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Start_Exp(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Stop_Exp(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Start_ALL(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Start_CH1(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Start_CH2(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Start_CH3(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Start_CH4(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Inc_Speed(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t Dec_Speed(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t PurgeON(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t PurgeOFF(std::uint8_t bytAddr);

    // Data commands: on success `bytreturn` holds the reply body (reply byte
    // i in element i-1) and is grown to fit when the caller sized it short;
    // on failure it is untouched.
    [[nodiscard]] std::int16_t Read_Sensor(std::uint8_t bytAddr, ByteBuffer &bytreturn);
    [[nodiscard]] std::int16_t Read_Times(std::uint8_t bytAddr, ByteBuffer &bytreturn);
    [[nodiscard]] std::int16_t Read_ROT_Times(std::uint8_t bytAddr, ByteBuffer &bytreturn);
    [[nodiscard]] std::int16_t Read_ROT_Speed(std::uint8_t bytAddr, ByteBuffer &bytreturn);
    [[nodiscard]] std::int16_t Read_Speed(std::uint8_t bytAddr, ByteBuffer &bytreturn);
    [[nodiscard]] std::int16_t ReadClear(std::uint8_t bytAddr, ByteBuffer &bytreturn);
    [[nodiscard]] std::int16_t Read(std::uint8_t bytAddr, ByteBuffer &bytreturn);
    [[nodiscard]] std::int16_t ReSend(std::uint8_t bytAddr, ByteBuffer &bytreturn);

    // The product number and a version, with no bus traffic.
    [[nodiscard]] QString IDString() const { return QStringLiteral("02540200"); }

    // Echo commands.
    [[nodiscard]] std::int16_t CalModeON(std::uint8_t bytAddr);
    [[nodiscard]] std::int16_t CalModeOFF(std::uint8_t bytAddr);
    // Throws std::overflow_error, before anything is sent, for a cycle count
    // outside 0..255.
    [[nodiscard]] std::int16_t PumpSelect(std::uint8_t bytAddr, std::uint8_t bytPumpBitMap, int intNumCycles);
    [[nodiscard]] std::int16_t ProgramAddr(std::uint8_t bytAddr, std::uint8_t bytNewAddr);
    [[nodiscard]] std::int16_t ProgramMemLoc(std::uint8_t bytAddr, std::uint8_t bytMemLoc,
                                             std::uint8_t bytNewData);
    [[nodiscard]] std::int16_t WriteMem(std::uint8_t bytAddr, std::uint8_t bytMemAddr, std::uint8_t bytdata);
    // `bytdata` is the location's byte on success and 0 on any failure.
    [[nodiscard]] std::int16_t ReadMem(std::uint8_t bytAddr, std::uint8_t bytMemAddr, std::uint8_t &bytdata);
    // The eight calibration constants at locations 48..55; stops at the
    // first failing read, keeping the bytes read so far.
    [[nodiscard]] std::int16_t GetCalConstants(std::uint8_t bytAddr, ByteBuffer &bytreturn);

    [[nodiscard]] std::int16_t Program(std::uint8_t bytAddr);
    // One firmware text record. 0 when the device took it ("L", "S", "H");
    // "C" or "F" send it again, four sends in all, then 2. A record that got
    // no answer is never taken: a busy link is waited for (its turn, at most
    // 100 ms, up to 20 times, then 1001), and 1003 and 1005 are returned as
    // they are.
    [[nodiscard]] std::int16_t ProgramData(const QString &strData, std::uint8_t bytAddr);

    // Resets every device; nothing is read. -1 when the link failed, else 0.
    [[nodiscard]] std::int16_t BusRESET();
    // Resets one device (255: all); nothing is read. The link's result.
    [[nodiscard]] std::int16_t Reset(std::uint8_t bytAddr);
    // Appends the device's eight identity characters to `strID`.
    [[nodiscard]] std::int16_t ReturnID(std::uint8_t bytAddr, QString &strID);
    // 2008 without bus traffic for a group ID outside 240..254.
    [[nodiscard]] std::int16_t SetGroupID(std::uint8_t bytAddr, std::uint8_t bytGrpID);

    // Selects and opens a port for every protocol object (the link is
    // shared); returns whether it is open. A port the system refuses fills
    // `error`.
    bool CommPort(const QString &strNewPort, PortError *error = nullptr);
    // A fresh list of port names; True when there is at least one.
    bool CommPorts(QStringList &strArr, std::int16_t &intNumPorts);
    [[nodiscard]] QString Settings() const;
    void setSettings(const QString &strNewValue);

private:
    std::int16_t exchange(const ByteBuffer &request, ByteBuffer &reply, const commands::Command &command);
    // Drops a reply to an earlier, unanswered request from the front of
    // `reply` and reads what is then missing of ours.
    std::int16_t dropLateReply(const multicommv10::UnansweredRequest &earlier, ByteBuffer &reply,
                               const commands::Command &command, std::int16_t result);
    std::int16_t acknowledged(std::uint8_t bytAddr, const commands::Command &command);
    std::int16_t dataCommand(std::uint8_t bytAddr, const commands::Command &command, ByteBuffer &bytreturn);
    std::int16_t writeLocation(std::uint8_t bytAddr, std::uint8_t location, std::uint8_t value);
    std::int16_t calMode(std::uint8_t bytAddr, std::uint8_t mode);
};

} // namespace velorix
