// The protocol against a memory port: every command of the device command
// table (its request bytes and each way a reply can be judged), then what
// the commands hand back, firmware records and the shared link.

#include "commandcalls.h"
#include "memoryport.h"

#include "protocol/errordisplay.h"
#include "protocol/frames.h"
#include "protocol/multidevmod.h"
#include "protocol/resultcodes.h"

#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace velorix;
using namespace velorix::testing;

namespace {

constexpr std::uint8_t A = 130; // the device under test

// [address, rest..., checksum]
ByteBuffer framed(const ByteBuffer &bytes)
{
    return framedWith(bytes[0], std::vector<int>(bytes.begin() + 1, bytes.end()));
}

class ProtocolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setSerialBackendFactory(memoryPorts(peer));
        device = std::make_unique<multiVelorix>();
        ASSERT_TRUE(device->CommPort(QStringLiteral("COM1")));
    }
    void TearDown() override
    {
        device.reset();
        setSerialBackendFactory({});
    }

    std::shared_ptr<PortPeer> peer = std::make_shared<PortPeer>();
    std::unique_ptr<multiVelorix> device;
};

TEST(FrameTest, ChecksumJudgingAndErrorWords)
{
    using frames::calcchecksum; // over all bytes but the last, wrapping
    EXPECT_EQ(QList<int>({calcchecksum({0x05, 0x70, 0x00}), calcchecksum({0x42}), calcchecksum({}),
                          calcchecksum({0xFF, 0xFF, 0xFF, 0xFF, 0x00})}),
              QList<int>({0x75, 0, 0, 0xFC}));

    using frames::judgeReply;
    const ByteBuffer ack{0x05, 0x06, 0x0B};
    EXPECT_EQ(judgeReply(0, ack, 5, 3, {{1, 6}}), rc::Ok);
    // The link's result comes first, whatever the bytes.
    EXPECT_EQ(judgeReply(rc::NoReply, ack, 5, 3, {{1, 6}}), rc::NoReply);
    // Another address is 2006 before the checksum is looked at.
    EXPECT_EQ(judgeReply(0, {0x06, 0x06, 0x00}, 5, 3, {{1, 6}}), rc::BadReply);
    // Extra bytes: the sum runs over all received bytes but the last and is
    // compared with the byte at the expected checksum position.
    EXPECT_EQ(judgeReply(0, {0x05, 0x06, 0x0B, 0x00}, 5, 3, {{1, 6}}), rc::BadChecksum);
    EXPECT_EQ(judgeReply(0, {0xFA, 0x06, 0x00, 0x77}, 0xFA, 3, {{1, 6}}), rc::Ok);

    using W = ErrorDisplayWindow;
    const struct
    {
        std::int16_t code;
        W window;
        std::uint8_t address;
        const char *text;
    } words[] = {{2006, W::Addresser, 0, "ERROR: S_ERROR"},
                 {2007, W::Diagnostics, 12, "ERROR: C_ERROR"},
                 {2004, W::Addresser, 0, "ERROR: INV_D"},
                 {1005, W::Addresser, 0, "ERROR: COM_ERROR"},
                 {1005, W::Diagnostics, 12, "ERROR: NO DEVICE PRESENT AT ADDRESS 12"},
                 {1001, W::Addresser, 0, "ERROR: ERROR1001"},
                 {-1, W::Diagnostics, 130, "ERROR: ERROR-1"}};
    for (const auto &w : words)
        EXPECT_EQ(ErrorDisplayText(w.code, w.window, w.address), QLatin1String(w.text)) << w.code;
}

// --- every command ----------------------------------------------------------------

class CommandTest : public ProtocolTest, public ::testing::WithParamInterface<DeviceCommand>
{
protected:
    std::int16_t sendWith(ByteBuffer reply)
    {
        peer->reply(std::move(reply));
        return callCommand(*device, GetParam(), A, body);
    }
    ByteBuffer good() const { return framedWith(A, GetParam().body); }
    ByteBuffer body; // handed back by the last command
};

TEST_P(CommandTest, SendsItsRequestAndAcceptsAGoodReply)
{
    const DeviceCommand &c = GetParam();
    EXPECT_EQ(sendWith(good()), rc::Ok);
    std::vector<int> request{c.code};
    request.insert(request.end(), c.arguments.begin(), c.arguments.end());
    EXPECT_EQ(peer->written, std::vector<ByteBuffer>{framedWith(A, request)});
    if (c.checked == 0 && c.body.size() > 1) { // a data body is handed back as it came
        EXPECT_EQ(body, ByteBuffer(c.body.begin(), c.body.end()));
    }
}

TEST_P(CommandTest, JudgesBadRepliesAndGivesUpOnSilenceAfterItsTimeOut)
{
    const DeviceCommand &c = GetParam();
    ByteBuffer bytes = good();
    bytes.pop_back();
    ByteBuffer wrongAddress = bytes;
    wrongAddress[0] = A + 1;
    EXPECT_EQ(sendWith(framed(wrongAddress)), rc::BadReply);
    ByteBuffer badSum = good();
    badSum.back() += 1;
    EXPECT_EQ(sendWith(badSum), rc::BadChecksum);
    for (int position = 1; position <= c.checked; ++position) {
        ByteBuffer wrong = bytes;
        wrong[position] = c.body[0] == 6 && c.checked == 1 ? 21 : wrong[position] ^ 0x01;
        EXPECT_EQ(sendWith(framed(wrong)), rc::BadReply) << "byte " << position;
    }
    EXPECT_EQ(sendWith(bytes), rc::NoReply); // one byte short

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(sendWith({}), rc::NoReply);
    EXPECT_GE(clock.elapsed(), c.timeoutMs - 1);
    EXPECT_LT(clock.elapsed(), c.timeoutMs + 250);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, CommandTest, ::testing::ValuesIn(deviceCommands()),
                         [](const auto &info) { return std::string(info.param.name); });

// --- what the commands hand back ------------------------------------------------

// Failed commands hand back nothing: the buffers stay, a byte read is 0.
TEST_F(ProtocolTest, ARefusalEndsADataCommandAtOnceAsAShortReplyAndHandsBackNothing)
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

    value = 0x77;
    peer->reply(framed({A, 35, 9})); // echoes another location
    EXPECT_EQ(device->ReadMem(A, 34, value), rc::BadReply);
    EXPECT_EQ(value, 0);
    QString id = QStringLiteral("x"); // ReturnID appends
    peer->reply(framed({A, '0', '2', '5', '4', '0', '2', '2', '0'}));
    EXPECT_EQ(device->ReturnID(A, id), rc::Ok);
    EXPECT_EQ(id, QStringLiteral("x02540220"));
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
    EXPECT_EQ(ByteBuffer(constants.begin(), constants.begin() + 4),
              ByteBuffer({10, 11, 12, 0})); // a failed ReadMem: 0

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

TEST_F(ProtocolTest, ResetsReturnWithoutWaitingAndReportLinkFailures)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(device->BusRESET(), rc::Ok);
    EXPECT_EQ(device->Reset(A), rc::Ok);
    EXPECT_LT(clock.elapsed(), 50);
    EXPECT_EQ(peer->written, (std::vector<ByteBuffer>{{0xFF, 0x10, 0x0F}, framed({A, 0x10})}));

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

TEST_F(ProgramDataTest, RecordTravelsAsItsCharactersAndRepeatsOnCOrFAtMostFourSends)
{
    peer->reply(status('H'));
    EXPECT_EQ(device->ProgramData(record, A), rc::Ok);
    ByteBuffer expected{A, 0x16};
    for (const char c : record.toLatin1())
        expected.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(peer->written.back(), expected); // no checksum appended

    peer->written.clear();
    for (const char c : {'C', 'C', 'C', 'L'})
        peer->reply(status(c));
    EXPECT_EQ(device->ProgramData(record, A), rc::Ok);
    EXPECT_EQ(peer->written.size(), 4u);

    peer->written.clear();
    for (int i = 0; i < 5; ++i)
        peer->reply(status('F'));
    EXPECT_EQ(device->ProgramData(record, A), rc::RecordRefused);
    EXPECT_EQ(peer->written.size(), 4u);
    peer->responses.clear();

    peer->reply(status('S'));
    EXPECT_EQ(device->ProgramData(record, A), rc::Ok);
}

TEST_F(ProgramDataTest, AnUnansweredRecordIsNeverTaken)
{
    const std::pair<ScriptedResponse, std::int16_t> cases[] = {{{}, rc::NoReply},
                                                               {{{A, 'L'}}, rc::NoReply},
                                                               {{status('X')}, rc::BadReply},
                                                               {{framed({A + 1, 'L'})}, rc::BadReply},
                                                               {{{A, 'L', 0}}, rc::BadChecksum},
                                                               {{{}, 5, 1, 0, true}, rc::SerialError}};
    for (const auto &[reply, result] : cases) {
        peer->responses.push_back(reply);
        EXPECT_EQ(device->ProgramData(record, A), result);
    }
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
    EXPECT_GE(waited, 1900); // coarse timers may end each wait a little early
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
}

} // namespace
