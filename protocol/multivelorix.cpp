#include "protocol/multivelorix.h"

#include "base/delay.h"
#include "protocol/resultcodes.h"
#include "protocol/frames.h"
#include "protocol/multidevmod.h"

#include <stdexcept>

namespace velorix {

using frames::buildRequest;
using frames::judgeReply;
namespace cmd = commands;

namespace {

class RefusalTest final : public ShortReplyTest
{
public:
    explicit RefusalTest(std::uint8_t address) : m_address(address) {}
    [[nodiscard]] bool isWhole(const ByteBuffer &received) const override
    {
        return frames::isRefusal(received, m_address);
    }

private:
    std::uint8_t m_address;
};

// Fixed programming-mode key the device expects after code 21.
constexpr std::uint8_t kProgramKey[4] = {0x56, 0x35, 0x50, 0x4D};

constexpr int kRecordSends = 4;        // a record is sent at most this often
constexpr int kRecordBusyResends = 20; // sends refused by a busy link, on top
constexpr int kRecordPauseMs = 100;    // also the longest wait for a turn at a busy link

bool recordTaken(std::uint8_t status)
{
    return status == 'L' || status == 'S' || status == 'H';
}

bool recordAskedAgain(std::uint8_t status)
{
    return status == 'C' || status == 'F';
}

} // namespace

multiVelorix::multiVelorix()
{
    if (intDevObjCount == 0)
        objComm = std::make_unique<multicommv10>(createSerialBackend());
    ++intDevObjCount;
}

multiVelorix::~multiVelorix()
{
    if (intDevObjCount > 0)
        --intDevObjCount;
    if (intDevObjCount == 0)
        objComm.reset();
}

std::int16_t multiVelorix::exchange(const ByteBuffer &request, ByteBuffer &reply, const cmd::Command &command)
{
    if (!objComm)
        return rc::SerialError;
    // What the exchange before this one left unanswered: its reply may come
    // now, late, in front of ours.
    const std::optional<multicommv10::UnansweredRequest> earlier = objComm->unanswered();
    std::int16_t result = rc::Ok;
    // A device that refuses answers [address, 21, checksum] whatever the
    // command: no need to wait out the time-out for the rest.
    const RefusalTest refusal(request.empty() ? 0 : request[0]);
    objComm->transact(request, reply, command.replyLength, command.timeoutMs, result, false,
                      command.replyLength > 3 ? &refusal : nullptr);
    if (earlier && result != rc::Busy && result != rc::SerialError)
        result = dropLateReply(*earlier, reply, command, result);
    return result;
}

std::int16_t multiVelorix::dropLateReply(const multicommv10::UnansweredRequest &earlier, ByteBuffer &reply,
                                         const cmd::Command &command, std::int16_t result)
{
    // A late reply as long as ours cannot be told from ours by its framing;
    // the reply's judging (address, echo) decides about it as about any.
    if (earlier.request.empty() || earlier.replyLength == command.replyLength
        || !frames::startsWithFrame(reply, earlier.request[0], earlier.replyLength))
        return result;
    // The late reply is dropped whole; ours follows it on the line. A reply
    // of ours that merely looks like the late one is lost the same way,
    // which costs this exchange but never hands back a wrong value.
    reply.erase(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(earlier.replyLength));
    const std::size_t wanted = command.replyLength;
    if (reply.size() >= wanted)
        return rc::Ok;
    ByteBuffer rest;
    std::int16_t restResult = rc::Ok;
    objComm->transact({}, rest, static_cast<std::int16_t>(wanted - reply.size()), command.timeoutMs,
                      restResult, true);
    reply.insert(reply.end(), rest.cbegin(), rest.cend());
    return restResult;
}

std::int16_t multiVelorix::acknowledged(std::uint8_t bytAddr, const cmd::Command &command)
{
    ByteBuffer reply;
    const ByteBuffer request = buildRequest(bytAddr, command.code, {}, command.requestLength);
    const std::int16_t link = exchange(request, reply, command);
    return judgeReply(link, reply, bytAddr, command.replyLength, {{1, frames::kAck}});
}

std::int16_t multiVelorix::dataCommand(std::uint8_t bytAddr, const cmd::Command &command,
                                       ByteBuffer &bytreturn)
{
    ByteBuffer reply;
    const ByteBuffer request = buildRequest(bytAddr, command.code, {}, command.requestLength);
    const std::int16_t result
            = judgeReply(exchange(request, reply, command), reply, bytAddr, command.replyLength);
    if (result != rc::Ok)
        return result;
    const std::size_t bodyLength = command.replyLength - 2u;
    if (bytreturn.size() < bodyLength)
        bytreturn.resize(bodyLength);
    std::copy(reply.cbegin() + 1, reply.cbegin() + 1 + static_cast<std::ptrdiff_t>(bodyLength),
              bytreturn.begin());
    return rc::Ok;
}

std::int16_t multiVelorix::clear(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::clear);
}
std::int16_t multiVelorix::Start_Diag(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Start_Diag);
}
std::int16_t multiVelorix::Stop_Diag(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Stop_Diag);
}
std::int16_t multiVelorix::Start_Exp(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Start_Exp);
}
std::int16_t multiVelorix::Stop_Exp(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Stop_Exp);
}
std::int16_t multiVelorix::Start_ALL(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Start_ALL);
}
std::int16_t multiVelorix::Start_CH1(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Start_CH1);
}
std::int16_t multiVelorix::Start_CH2(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Start_CH2);
}
std::int16_t multiVelorix::Start_CH3(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Start_CH3);
}
std::int16_t multiVelorix::Start_CH4(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Start_CH4);
}
std::int16_t multiVelorix::Inc_Speed(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Inc_Speed);
}
std::int16_t multiVelorix::Dec_Speed(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::Dec_Speed);
}
std::int16_t multiVelorix::PurgeON(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::PurgeON);
}
std::int16_t multiVelorix::PurgeOFF(std::uint8_t bytAddr)
{
    return acknowledged(bytAddr, cmd::PurgeOFF);
}

std::int16_t multiVelorix::Read_Sensor(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    return dataCommand(bytAddr, cmd::Read_Sensor, bytreturn);
}
std::int16_t multiVelorix::Read_Times(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    return dataCommand(bytAddr, cmd::Read_Times, bytreturn);
}
std::int16_t multiVelorix::Read_ROT_Times(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    return dataCommand(bytAddr, cmd::Read_ROT_Times, bytreturn);
}
std::int16_t multiVelorix::Read_ROT_Speed(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    return dataCommand(bytAddr, cmd::Read_ROT_Speed, bytreturn);
}
std::int16_t multiVelorix::Read_Speed(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    return dataCommand(bytAddr, cmd::Read_Speed, bytreturn);
}
std::int16_t multiVelorix::ReadClear(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    return dataCommand(bytAddr, cmd::ReadClear, bytreturn);
}
std::int16_t multiVelorix::Read(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    return dataCommand(bytAddr, cmd::Read, bytreturn);
}
std::int16_t multiVelorix::ReSend(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    return dataCommand(bytAddr, cmd::ReSend, bytreturn);
}

std::int16_t multiVelorix::calMode(std::uint8_t bytAddr, std::uint8_t mode)
{
    ByteBuffer reply;
    const auto &command = cmd::CalMode;
    const ByteBuffer request = buildRequest(bytAddr, command.code, {mode}, command.requestLength);
    return judgeReply(exchange(request, reply, command), reply, bytAddr, command.replyLength,
                      {{1, command.code}, {2, mode}});
}

std::int16_t multiVelorix::CalModeON(std::uint8_t bytAddr)
{
    return calMode(bytAddr, cmd::kCalModeOn);
}
std::int16_t multiVelorix::CalModeOFF(std::uint8_t bytAddr)
{
    return calMode(bytAddr, cmd::kCalModeOff);
}

std::int16_t multiVelorix::PumpSelect(std::uint8_t bytAddr, std::uint8_t bytPumpBitMap, int intNumCycles)
{
    if (intNumCycles < 0 || intNumCycles > 255)
        throw std::overflow_error("PumpSelect: cycle count outside 0..255");
    const auto cycles = static_cast<std::uint8_t>(intNumCycles);
    ByteBuffer reply;
    const auto &command = cmd::PumpSelect;
    const ByteBuffer request
            = buildRequest(bytAddr, command.code, {bytPumpBitMap, cycles}, command.requestLength);
    return judgeReply(exchange(request, reply, command), reply, bytAddr, command.replyLength,
                      {{1, command.code}, {2, bytPumpBitMap}});
}

std::int16_t multiVelorix::writeLocation(std::uint8_t bytAddr, std::uint8_t location, std::uint8_t value)
{
    ByteBuffer reply;
    const auto &command = cmd::WriteMem;
    const ByteBuffer request = buildRequest(bytAddr, command.code, {location, value}, command.requestLength);
    return judgeReply(exchange(request, reply, command), reply, bytAddr, command.replyLength,
                      {{1, location}, {2, value}});
}

std::int16_t multiVelorix::ProgramAddr(std::uint8_t bytAddr, std::uint8_t bytNewAddr)
{
    return writeLocation(bytAddr, cmd::kAddressLocation, bytNewAddr);
}

std::int16_t multiVelorix::ProgramMemLoc(std::uint8_t bytAddr, std::uint8_t bytMemLoc,
                                         std::uint8_t bytNewData)
{
    return writeLocation(bytAddr, bytMemLoc, bytNewData);
}

std::int16_t multiVelorix::WriteMem(std::uint8_t bytAddr, std::uint8_t bytMemAddr, std::uint8_t bytdata)
{
    return writeLocation(bytAddr, bytMemAddr, bytdata);
}

std::int16_t multiVelorix::ReadMem(std::uint8_t bytAddr, std::uint8_t bytMemAddr, std::uint8_t &bytdata)
{
    ByteBuffer reply;
    const auto &command = cmd::ReadMem;
    const ByteBuffer request = buildRequest(bytAddr, command.code, {bytMemAddr}, command.requestLength);
    const std::int16_t result = judgeReply(exchange(request, reply, command), reply, bytAddr,
                                           command.replyLength, {{1, bytMemAddr}});
    bytdata = result == rc::Ok ? reply[2] : 0;
    return result;
}

std::int16_t multiVelorix::GetCalConstants(std::uint8_t bytAddr, ByteBuffer &bytreturn)
{
    if (bytreturn.size() < 8)
        bytreturn.resize(8);
    for (std::uint8_t i = 0; i < 8; ++i) {
        const std::int16_t result = ReadMem(bytAddr, cmd::kCalConstantsLocation + i, bytreturn[i]);
        if (result != rc::Ok)
            return result;
    }
    return rc::Ok;
}

std::int16_t multiVelorix::Program(std::uint8_t bytAddr)
{
    ByteBuffer reply;
    const auto &command = cmd::Program;
    const ByteBuffer request = buildRequest(bytAddr, command.code,
                                            {kProgramKey[0], kProgramKey[1], kProgramKey[2], kProgramKey[3]},
                                            command.requestLength);
    return judgeReply(exchange(request, reply, command), reply, bytAddr, command.replyLength);
}

std::int16_t multiVelorix::ProgramData(const QString &strData, std::uint8_t bytAddr)
{
    if (strData.isEmpty())
        return rc::EmptyRecord;

    // The record travels as its characters, one byte each, with no checksum
    // of the frame: the record carries its own.
    ByteBuffer request{bytAddr, cmd::ProgramData.code};
    const QByteArray characters = strData.toLatin1();
    request.insert(request.end(), characters.cbegin(), characters.cend());

    int repeats = 0;
    int busyResends = 0;
    for (;;) {
        ByteBuffer reply;
        const std::int16_t link = exchange(request, reply, cmd::ProgramData);
        if (link == rc::Busy) {
            // Another window's exchange is running; it says nothing about the record.
            if (busyResends == kRecordBusyResends)
                return rc::Busy;
            ++busyResends;
            (void)waitForLinkTurn(kRecordPauseMs); // the next send tells
            continue;
        }
        const std::int16_t judged = judgeReply(link, reply, bytAddr, cmd::ProgramData.replyLength);
        if (judged != rc::Ok)
            return judged; // no answer, a port failure or a garbled reply: not taken
        const std::uint8_t status = reply[1];
        if (recordTaken(status))
            return rc::Ok;
        if (!recordAskedAgain(status))
            return rc::BadReply;
        if (repeats == kRecordSends - 1)
            return rc::RecordRefused;
        Delay(kRecordPauseMs);
        ++repeats;
    }
}

std::int16_t multiVelorix::BusRESET()
{
    return Reset(frames::kEveryDevice) == rc::Ok ? rc::Ok : rc::BusResetFailed;
}

std::int16_t multiVelorix::Reset(std::uint8_t bytAddr)
{
    ByteBuffer reply;
    const auto &command = cmd::Reset;
    return exchange(buildRequest(bytAddr, command.code, {}, command.requestLength), reply, command);
}

std::int16_t multiVelorix::ReturnID(std::uint8_t bytAddr, QString &strID)
{
    ByteBuffer reply;
    const auto &command = cmd::ReturnID;
    const ByteBuffer request = buildRequest(bytAddr, command.code, {}, command.requestLength);
    const std::int16_t result
            = judgeReply(exchange(request, reply, command), reply, bytAddr, command.replyLength);
    if (result != rc::Ok)
        return result;
    for (std::size_t i = 1; i <= 8; ++i)
        strID += QChar::fromLatin1(static_cast<char>(reply[i]));
    return rc::Ok;
}

std::int16_t multiVelorix::SetGroupID(std::uint8_t bytAddr, std::uint8_t bytGrpID)
{
    if (bytGrpID < cmd::kMinGroupId || bytGrpID > cmd::kMaxGroupId)
        return rc::BadGroupId;
    ByteBuffer reply;
    const auto &command = cmd::SetGroupID;
    const ByteBuffer request = buildRequest(bytAddr, command.code, {bytGrpID}, command.requestLength);
    return judgeReply(exchange(request, reply, command), reply, bytAddr, command.replyLength,
                      {{1, bytGrpID}});
}

bool multiVelorix::CommPort(const QString &strNewPort, PortError *error)
{
    if (!objComm)
        return false;
    objComm->setCommPort(strNewPort, error);
    return objComm->PortStatus();
}

bool multiVelorix::CommPorts(QStringList &strArr, std::int16_t &intNumPorts)
{
    if (!objComm) {
        strArr.clear();
        intNumPorts = 0;
        return false;
    }
    return objComm->GetCommPorts(strArr, intNumPorts);
}

QString multiVelorix::Settings() const
{
    return objComm ? objComm->Settings() : QString();
}

void multiVelorix::setSettings(const QString &strNewValue)
{
    if (objComm)
        objComm->setSettings(strNewValue);
}

} // namespace velorix
