// Every device command against a scripted port: the exact request bytes, and
// each way a reply can be judged.

#include "protocol/resultcodes.h"
#include "protocol/errordisplay.h"
#include "protocol/frames.h"
#include "protocol/multidevmod.h"
#include "protocol/multivelorix.h"
#include "scriptedbackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace velorix;
using namespace velorix::testing;

namespace {

constexpr std::uint8_t A = 130; // the device under test

// Appends the checksum, summed independently of the code under test.
ByteBuffer framed(ByteBuffer bytes)
{
    unsigned sum = 0;
    for (const auto b : bytes)
        sum += b;
    bytes.push_back(static_cast<std::uint8_t>(sum & 0xFF));
    return bytes;
}

class ProtocolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        useScriptedPeer(peer);
        device = std::make_unique<multiVelorix>();
        ASSERT_TRUE(device->CommPort(QStringLiteral("COM1")));
    }
    void TearDown() override
    {
        device.reset();
        setSerialBackendFactory({});
    }

    std::shared_ptr<ScriptedPeer> peer = std::make_shared<ScriptedPeer>();
    std::unique_ptr<multiVelorix> device;
};

// --- frames -----------------------------------------------------------------

TEST(FrameTest, ChecksumExamples)
{
    EXPECT_EQ(frames::calcchecksum({0x05, 0x70, 0x00}), 0x75);
    EXPECT_EQ(frames::calcchecksum({0xFF, 0x10, 0x00}), 0x0F);
    EXPECT_EQ(frames::calcchecksum({0x42}), 0);
    EXPECT_EQ(frames::calcchecksum({}), 0);
    EXPECT_EQ(frames::calcchecksum({0xFF, 0xFF, 0xFF, 0xFF, 0x00}), 0xFC); // wraps
}

TEST(FrameTest, JudgingOrder)
{
    using frames::judgeReply;
    const ByteBuffer ack{0x05, 0x06, 0x0B};
    EXPECT_EQ(judgeReply(0, ack, 5, 3, {{1, 6}}), rc::Ok);
    // The link's result comes first, whatever the bytes.
    EXPECT_EQ(judgeReply(rc::NoReply, ack, 5, 3, {{1, 6}}), rc::NoReply);
    // Another address is 2006 before the checksum is looked at.
    EXPECT_EQ(judgeReply(0, {0x06, 0x06, 0x00}, 5, 3, {{1, 6}}), rc::BadReply);
    // A checksum off by one is 2007 even with address and ack right.
    EXPECT_EQ(judgeReply(0, {0x05, 0x06, 0x0C}, 5, 3, {{1, 6}}), rc::BadChecksum);
    EXPECT_EQ(judgeReply(0, {0x05, 0x15, 0x1A}, 5, 3, {{1, 6}}), rc::BadReply);
    // Extra bytes: the sum runs over all received bytes but the last and is
    // compared with the byte at the expected checksum position.
    EXPECT_EQ(judgeReply(0, {0x05, 0x06, 0x0B, 0x00}, 5, 3, {{1, 6}}), rc::BadChecksum);
    EXPECT_EQ(judgeReply(0, {0xFA, 0x06, 0x00, 0x77}, 0xFA, 3, {{1, 6}}), rc::Ok);
}

TEST(FrameTest, ErrorDisplayWords)
{
    using W = ErrorDisplayWindow;
    EXPECT_EQ(ErrorDisplayText(2006, W::Addresser), "ERROR: S_ERROR");
    EXPECT_EQ(ErrorDisplayText(2007, W::Diagnostics, 12), "ERROR: C_ERROR");
    EXPECT_EQ(ErrorDisplayText(2004, W::Addresser), "ERROR: INV_D");
    EXPECT_EQ(ErrorDisplayText(1005, W::Addresser), "ERROR: COM_ERROR");
    EXPECT_EQ(ErrorDisplayText(1005, W::Diagnostics, 12), "ERROR: NO DEVICE PRESENT AT ADDRESS 12");
    EXPECT_EQ(ErrorDisplayText(1001, W::Addresser), "ERROR: ERROR1001");
    EXPECT_EQ(ErrorDisplayText(-1, W::Diagnostics, 130), "ERROR: ERROR-1");
}

// --- every command: request bytes and judging ----------------------------------

struct CommandCase
{
    const char *name;
    std::function<std::int16_t(multiVelorix &)> call;
    ByteBuffer request;
    ByteBuffer reply;            // a good reply
    std::vector<std::size_t> checked; // body positions the command insists on
    int timeoutMs;
};

std::int16_t withBody(multiVelorix &d, std::int16_t (multiVelorix::*command)(std::uint8_t, ByteBuffer &))
{
    ByteBuffer body;
    return (d.*command)(A, body);
}

std::vector<CommandCase> commandCases()
{
    std::vector<CommandCase> cases;
    const auto ack = [&cases](const char *name, std::int16_t (multiVelorix::*command)(std::uint8_t), std::uint8_t code) {
        cases.push_back({name, [command](multiVelorix &d) { return (d.*command)(A); },
                         framed({A, code}), framed({A, 6}), {1}, 100});
    };
    ack("clear", &multiVelorix::clear, 0x23);
    ack("Start_Diag", &multiVelorix::Start_Diag, 0x50);
    ack("Stop_Diag", &multiVelorix::Stop_Diag, 0x51);
    ack("Start_Exp", &multiVelorix::Start_Exp, 0x70);
    ack("Stop_Exp", &multiVelorix::Stop_Exp, 0x71);
    ack("Start_ALL", &multiVelorix::Start_ALL, 0x69);
    ack("Start_CH1", &multiVelorix::Start_CH1, 0x72);
    ack("Start_CH2", &multiVelorix::Start_CH2, 0x73);
    ack("Start_CH3", &multiVelorix::Start_CH3, 0x74);
    ack("Start_CH4", &multiVelorix::Start_CH4, 0x75);
    ack("Inc_Speed", &multiVelorix::Inc_Speed, 0x53);
    ack("Dec_Speed", &multiVelorix::Dec_Speed, 0x54);
    ack("PurgeON", &multiVelorix::PurgeON, 0x28);
    ack("PurgeOFF", &multiVelorix::PurgeOFF, 0x79);

    const auto data = [&cases](const char *name, std::int16_t (multiVelorix::*command)(std::uint8_t, ByteBuffer &),
                               std::uint8_t code, std::size_t replyLength, int timeout) {
        ByteBuffer reply{A};
        for (std::size_t i = 1; i + 1 < replyLength; ++i)
            reply.push_back(static_cast<std::uint8_t>(i * 7));
        cases.push_back({name, [command](multiVelorix &d) { return withBody(d, command); },
                         framed({A, code}), framed(reply), {}, timeout});
    };
    data("Read_Sensor", &multiVelorix::Read_Sensor, 0x52, 6, 200);
    data("Read_Times", &multiVelorix::Read_Times, 0x60, 13, 100);
    data("Read_ROT_Times", &multiVelorix::Read_ROT_Times, 0x76, 11, 100);
    data("Read_ROT_Speed", &multiVelorix::Read_ROT_Speed, 0x77, 10, 100);
    data("Read_Speed", &multiVelorix::Read_Speed, 0x55, 4, 100);
    data("ReadClear", &multiVelorix::ReadClear, 0x24, 18, 100);
    data("Read", &multiVelorix::Read, 0x25, 18, 100);
    data("ReSend", &multiVelorix::ReSend, 0x18, 18, 100);

    cases.push_back({"CalModeON", [](multiVelorix &d) { return d.CalModeON(A); },
                     framed({A, 0x30, 0x55}), framed({A, 0x30, 0x55}), {1, 2}, 500});
    cases.push_back({"CalModeOFF", [](multiVelorix &d) { return d.CalModeOFF(A); },
                     framed({A, 0x30, 0xFF}), framed({A, 0x30, 0xFF}), {1, 2}, 500});
    cases.push_back({"PumpSelect", [](multiVelorix &d) { return d.PumpSelect(A, 3, 200); },
                     framed({A, 0x31, 3, 200}), framed({A, 0x31, 3, 0}), {1, 2}, 100});
    cases.push_back({"ProgramAddr", [](multiVelorix &d) { return d.ProgramAddr(A, 140); },
                     framed({A, 0x16, 16, 140}), framed({A, 16, 140}), {1, 2}, 1000});
    cases.push_back({"ProgramMemLoc", [](multiVelorix &d) { return d.ProgramMemLoc(A, 34, 50); },
                     framed({A, 0x16, 34, 50}), framed({A, 34, 50}), {1, 2}, 1000});
    cases.push_back({"WriteMem", [](multiVelorix &d) { return d.WriteMem(A, 34, 50); },
                     framed({A, 0x16, 34, 50}), framed({A, 34, 50}), {1, 2}, 1000});
    cases.push_back({"ReadMem", [](multiVelorix &d) { std::uint8_t v = 0; return d.ReadMem(A, 41, v); },
                     framed({A, 0x17, 41}), framed({A, 41, 17}), {1}, 1000});
    cases.push_back({"Program", [](multiVelorix &d) { return d.Program(A); },
                     {}, framed({A, 6}), {}, 200});
    cases.push_back({"ReturnID", [](multiVelorix &d) { QString id; return d.ReturnID(A, id); },
                     framed({A, 0x11}), framed({A, '0', '2', '5', '4', '0', '2', '2', '0'}), {}, 100});
    cases.push_back({"SetGroupID", [](multiVelorix &d) { return d.SetGroupID(A, 240); },
                     framed({A, 0x12, 240}), framed({A, 240}), {1}, 100});
    return cases;
}

class CommandTest : public ProtocolTest, public ::testing::WithParamInterface<CommandCase>
{
protected:
    std::int16_t sendWith(ByteBuffer reply)
    {
        peer->reply(std::move(reply));
        return GetParam().call(*device);
    }
};

TEST_P(CommandTest, SendsItsRequestAndAcceptsAGoodReply)
{
    const CommandCase &c = GetParam();
    EXPECT_EQ(sendWith(c.reply), rc::Ok);
    ASSERT_EQ(peer->written.size(), 1u);
    if (!c.request.empty()) {
        EXPECT_EQ(peer->written[0], c.request);
    } else { // Program: address, code 21, a four-byte key, checksum
        ASSERT_EQ(peer->written[0].size(), 7u);
        EXPECT_EQ(peer->written[0][0], A);
        EXPECT_EQ(peer->written[0][1], 21);
        EXPECT_EQ(peer->written[0], framed(ByteBuffer(peer->written[0].begin(), peer->written[0].end() - 1)));
    }
}

TEST_P(CommandTest, JudgesBadReplies)
{
    const CommandCase &c = GetParam();
    ByteBuffer wrongAddress = c.reply;
    wrongAddress[0] = A + 1;
    EXPECT_EQ(sendWith(framed(ByteBuffer(wrongAddress.begin(), wrongAddress.end() - 1))), rc::BadReply);

    ByteBuffer badSum = c.reply;
    badSum.back() += 1;
    EXPECT_EQ(sendWith(badSum), rc::BadChecksum);

    for (const std::size_t position : c.checked) {
        ByteBuffer wrong(c.reply.begin(), c.reply.end() - 1);
        wrong[position] = position == 1 && c.checked.size() == 1 && c.reply[1] == 6 ? 21 : wrong[position] ^ 0x01;
        EXPECT_EQ(sendWith(framed(wrong)), rc::BadReply) << "byte " << position;
    }

    EXPECT_EQ(sendWith(ByteBuffer(c.reply.begin(), c.reply.end() - 1)), rc::NoReply);
}

TEST_P(CommandTest, NoReplyWaitsItsTimeOut)
{
    const CommandCase &c = GetParam();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(sendWith({}), rc::NoReply);
    EXPECT_GE(clock.elapsed(), c.timeoutMs - 1);
    EXPECT_LT(clock.elapsed(), c.timeoutMs + 250);
}

TEST_P(CommandTest, BusyLinkSendsNothing)
{
    // Another window's exchange is waiting for its reply.
    peer->reply(framed({A, 6}), 60);
    std::int16_t result = -99;
    QTimer::singleShot(10, [&] { result = GetParam().call(*device); });
    EXPECT_EQ(device->Start_Exp(A), rc::Ok);
    EXPECT_EQ(result, rc::Busy);
    EXPECT_EQ(peer->written.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, CommandTest, ::testing::ValuesIn(commandCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// --- what the commands hand back ------------------------------------------------

TEST_F(ProtocolTest, StartExpExamples)
{
    peer->reply({0x05, 0x06, 0x0B});
    EXPECT_EQ(device->Start_Exp(5), rc::Ok);
    EXPECT_EQ(peer->written.back(), ByteBuffer({0x05, 0x70, 0x75}));
    peer->reply({0x05, 0x15, 0x1A});
    EXPECT_EQ(device->Start_Exp(5), rc::BadReply);
    peer->reply({0x05, 0x06, 0x0C});
    EXPECT_EQ(device->Start_Exp(5), rc::BadChecksum);
    peer->silence();
    EXPECT_EQ(device->Start_Exp(5), rc::NoReply);
}

TEST_F(ProtocolTest, DataBodyIsCopiedOnlyOnSuccess)
{
    ByteBuffer body(11, 0xEE);
    peer->reply(framed({A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(device->Read_Times(A, body), rc::Ok);
    EXPECT_EQ(body, ByteBuffer({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));

    ByteBuffer untouched(4, 0xEE);
    peer->reply({A, 1, 2, 3, 4, 0});
    EXPECT_EQ(device->Read_Sensor(A, untouched), rc::BadChecksum);
    EXPECT_EQ(untouched, ByteBuffer(4, 0xEE));

    ByteBuffer tooSmall;
    peer->reply(framed({A, 0x2C, 0x01}));
    EXPECT_EQ(device->Read_Speed(A, tooSmall), rc::Ok);
    EXPECT_EQ(tooSmall, ByteBuffer({0x2C, 0x01}));
}

TEST_F(ProtocolTest, ReadMemGivesZeroOnEveryFailure)
{
    std::uint8_t value = 0x77;
    peer->reply(framed({A, 35, 9})); // echoes another location
    EXPECT_EQ(device->ReadMem(A, 34, value), rc::BadReply);
    EXPECT_EQ(value, 0);
    value = 0x77;
    peer->silence();
    EXPECT_EQ(device->ReadMem(A, 34, value), rc::NoReply);
    EXPECT_EQ(value, 0);
    peer->reply(framed({A, 34, 200}));
    EXPECT_EQ(device->ReadMem(A, 34, value), rc::Ok);
    EXPECT_EQ(value, 200);
}

TEST_F(ProtocolTest, ReturnIdAppends)
{
    QString id = QStringLiteral("x");
    peer->reply(framed({A, '0', '2', '5', '4', '0', '2', '2', '0'}));
    EXPECT_EQ(device->ReturnID(A, id), rc::Ok);
    EXPECT_EQ(id, QStringLiteral("x02540220"));
}

TEST_F(ProtocolTest, ARefusalEndsADataCommandAtOnceAsAShortReply)
{
    QElapsedTimer clock;
    clock.start();
    ByteBuffer body(4, 0xEE);
    peer->reply(framed({A, frames::kNak}));
    EXPECT_EQ(device->Read_Sensor(A, body), rc::NoReply);
    std::uint8_t value = 0x77;
    peer->reply(framed({A, frames::kNak}));
    EXPECT_EQ(device->ReadMem(A, 34, value), rc::NoReply); // 1000 ms time-out
    EXPECT_LT(clock.elapsed(), 100);
    EXPECT_EQ(body, ByteBuffer(4, 0xEE));
    EXPECT_EQ(value, 0);
    // Another device's refusal is no end of ours.
    peer->reply(framed({131, frames::kNak}));
    EXPECT_EQ(device->Read_Sensor(A, body), rc::NoReply);
    EXPECT_GE(clock.elapsed(), 200);
}

TEST_F(ProtocolTest, ALateReplyNeverSpoilsTheNextExchange)
{
    // Read_Times times out (100 ms); its reply comes 50 ms later, in front of
    // the Read_Speed reply that follows on the line.
    ByteBuffer times(11, 0xEE);
    peer->reply(framed({A, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}), 150);
    EXPECT_EQ(device->Read_Times(A, times), rc::NoReply);
    peer->reply(framed({A, 0x2C, 0x01}), 60);
    ByteBuffer speed;
    EXPECT_EQ(device->Read_Speed(A, speed), rc::Ok);
    EXPECT_EQ(speed, ByteBuffer({0x2C, 0x01}));

    // A reply that was simply lost leaves the next one as it is.
    peer->silence();
    EXPECT_EQ(device->Read_Times(A, times), rc::NoReply);
    peer->reply(framed({A, 0x06}));
    EXPECT_EQ(device->Start_Exp(A), rc::Ok);

    // A late reply of another device in front of a garbled one of ours:
    // still a failure, never the late reply's bytes.
    peer->reply(framed({131, 0x06}), 150);
    EXPECT_EQ(device->Stop_Exp(131), rc::NoReply);
    ByteBuffer sensors(4, 0xEE);
    peer->reply({A, 1, 2, 3, 4, 0}, 60);
    EXPECT_EQ(device->Read_Sensor(A, sensors), rc::BadChecksum);
    EXPECT_EQ(sensors, ByteBuffer(4, 0xEE));
}

TEST_F(ProtocolTest, CalConstantsStopAtTheFirstFailure)
{
    for (std::uint8_t i = 0; i < 3; ++i)
        peer->reply(framed({A, static_cast<std::uint8_t>(48 + i), static_cast<std::uint8_t>(10 + i)}));
    peer->silence();
    ByteBuffer constants(8, 0xEE);
    EXPECT_EQ(device->GetCalConstants(A, constants), rc::NoReply);
    EXPECT_EQ(peer->written.size(), 4u);
    EXPECT_EQ(constants[0], 10);
    EXPECT_EQ(constants[2], 12);
    EXPECT_EQ(constants[3], 0); // the failed ReadMem gives 0

    for (std::uint8_t i = 0; i < 8; ++i)
        peer->reply(framed({A, static_cast<std::uint8_t>(48 + i), i}));
    EXPECT_EQ(device->GetCalConstants(A, constants), rc::Ok);
    EXPECT_EQ(constants, ByteBuffer({0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(peer->written.back(), framed({A, 0x17, 55}));
}

TEST_F(ProtocolTest, RefusedArgumentsSendNothing)
{
    EXPECT_EQ(device->SetGroupID(A, 239), rc::BadGroupId);
    EXPECT_EQ(device->SetGroupID(A, 255), rc::BadGroupId);
    EXPECT_THROW((void)device->PumpSelect(A, 1, 256), std::overflow_error);
    EXPECT_THROW((void)device->PumpSelect(A, 1, -1), std::overflow_error);
    EXPECT_EQ(device->ProgramData(QString(), A), rc::EmptyRecord);
    EXPECT_TRUE(peer->written.empty());

    peer->reply(framed({A, 254}));
    EXPECT_EQ(device->SetGroupID(A, 254), rc::Ok);
}

TEST_F(ProtocolTest, ResetsReturnWithoutWaiting)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(device->BusRESET(), rc::Ok);
    EXPECT_EQ(device->Reset(A), rc::Ok);
    EXPECT_LT(clock.elapsed(), 50);
    ASSERT_EQ(peer->written.size(), 2u);
    EXPECT_EQ(peer->written[0], ByteBuffer({0xFF, 0x10, 0x0F}));
    EXPECT_EQ(peer->written[1], framed({A, 0x10}));
}

TEST_F(ProtocolTest, ResetsReportLinkFailures)
{
    peer->failNextWrite = true;
    EXPECT_EQ(device->BusRESET(), rc::BusResetFailed);
    peer->ports.clear(); // the adapter is gone for good
    EXPECT_EQ(device->Reset(A), rc::SerialError);
}

// --- firmware records ------------------------------------------------------------

class ProgramDataTest : public ProtocolTest
{
protected:
    const QString record = QStringLiteral(":00000001FF");
    ByteBuffer status(char letter) { return framed({A, static_cast<std::uint8_t>(letter)}); }
};

TEST_F(ProgramDataTest, RecordTravelsAsItsCharacters)
{
    peer->reply(status('H'));
    EXPECT_EQ(device->ProgramData(record, A), rc::Ok);
    ByteBuffer expected{A, 0x16};
    for (const char c : record.toLatin1())
        expected.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(peer->written.back(), expected); // no checksum appended
}

TEST_F(ProgramDataTest, RepeatsOnCOrFAtMostFourSends)
{
    for (const char c : {'C', 'C', 'C', 'L'})
        peer->reply(status(c));
    EXPECT_EQ(device->ProgramData(record, A), rc::Ok);
    EXPECT_EQ(peer->written.size(), 4u);

    peer->written.clear();
    for (int i = 0; i < 5; ++i)
        peer->reply(status('F'));
    EXPECT_EQ(device->ProgramData(record, A), rc::RecordRefused);
    EXPECT_EQ(peer->written.size(), 4u);

    peer->reply(status('S'));
    EXPECT_EQ(device->ProgramData(record, A), rc::Ok);
}

TEST_F(ProgramDataTest, AnUnansweredRecordIsNeverTaken)
{
    peer->silence();
    EXPECT_EQ(device->ProgramData(record, A), rc::NoReply);
    peer->reply({A, 'L'}); // short
    EXPECT_EQ(device->ProgramData(record, A), rc::NoReply);
    peer->reply(status('X'));
    EXPECT_EQ(device->ProgramData(record, A), rc::BadReply);
    peer->reply(framed({A + 1, 'L'}));
    EXPECT_EQ(device->ProgramData(record, A), rc::BadReply);
    peer->reply({A, 'L', 0});
    EXPECT_EQ(device->ProgramData(record, A), rc::BadChecksum);
    peer->responses.push_back({{}, 5, 1, 0, true});
    EXPECT_EQ(device->ProgramData(record, A), rc::SerialError);
}

TEST_F(ProgramDataTest, BusyLinkIsWaitedForThenReportedNotCounted)
{
    // The record is issued while another exchange waits for its reply: it
    // waits 20 times 100 ms, sends nothing, and reports the link busy. The
    // other exchange is intact.
    peer->reply(framed({A, 6}), 30);
    std::int16_t result = -99;
    qint64 waited = 0;
    QTimer::singleShot(10, [&] {
        QElapsedTimer clock;
        clock.start();
        result = device->ProgramData(record, A);
        waited = clock.elapsed();
    });
    EXPECT_EQ(device->Start_Exp(A), rc::Ok);
    EXPECT_EQ(result, rc::Busy);
    EXPECT_GE(waited, 2000);
    EXPECT_LT(waited, 2600);
    EXPECT_EQ(peer->written.size(), 1u);
}

// --- the shared link ---------------------------------------------------------------

TEST_F(ProtocolTest, ProtocolObjectsShareOnePort)
{
    EXPECT_EQ(intDevObjCount, 1);
    {
        multiVelorix second;
        EXPECT_EQ(intDevObjCount, 2);
        EXPECT_TRUE(second.CommPort(QStringLiteral("COM2"))); // changes it for everyone
        peer->reply(framed({A, 6}));
        EXPECT_EQ(device->Start_Exp(A), rc::Ok);
        EXPECT_EQ(peer->opened, QStringList({"COM1", "COM2"}));
    }
    // Releasing one leaves the port open for the other.
    EXPECT_EQ(intDevObjCount, 1);
    ASSERT_NE(objComm, nullptr);
    EXPECT_TRUE(objComm->PortStatus());
    const int closesBefore = peer->closes;
    device.reset();
    EXPECT_EQ(intDevObjCount, 0);
    EXPECT_EQ(objComm, nullptr);
    EXPECT_EQ(peer->closes, closesBefore + 1);

    // A new first object creates a new link with no port open.
    multiVelorix again;
    ASSERT_NE(objComm, nullptr);
    EXPECT_FALSE(objComm->PortStatus());
    EXPECT_EQ(again.Settings(), QStringLiteral("19200,n,8,1"));
}

} // namespace
