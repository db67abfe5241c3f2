// What one device answers: the reply of every command, its memory and bus
// address, its group address and its program mode.

#include "busdriver.h"

#include <gtest/gtest.h>

#include <vector>

using namespace velorix::sim;
using namespace velorix::sim::testing;

namespace {

struct TableRow
{
    int code;
    std::vector<int> payload;
    int replyLength;
};

// The command table as the program reads it, written out independently of
// the simulator's own copy.
const std::vector<TableRow> kTable = {
    {35, {}, 3},  {80, {}, 3},  {81, {}, 3},  {112, {}, 3}, {113, {}, 3},     {105, {}, 3},
    {114, {}, 3}, {115, {}, 3}, {116, {}, 3}, {117, {}, 3}, {83, {}, 3},      {84, {}, 3},
    {82, {}, 6},  {96, {}, 13}, {118, {}, 11}, {119, {}, 10}, {85, {}, 4},    {36, {}, 18},
    {37, {}, 18}, {24, {}, 18}, {40, {}, 3},  {121, {}, 3}, {48, {0x55}, 4}, {48, {0xFF}, 4},
    {49, {3, 10}, 5}, {22, {40, 5}, 4}, {21, {1, 2, 3, 4}, 3}, {23, {41}, 4}, {17, {}, 10},
    {18, {240}, 3},
};

QByteArray request(int address, const TableRow &row)
{
    QByteArray bytes;
    bytes.append(char(address));
    bytes.append(char(row.code));
    for (const int byte : row.payload)
        bytes.append(char(byte));
    return withChecksum(bytes);
}

// ":LLAAAATT<data>CC"
QByteArray hexRecord(int type, int offset, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(data.size()));
    bytes.append(char(offset >> 8));
    bytes.append(char(offset & 0xFF));
    bytes.append(char(type));
    bytes += data;
    bytes.append(char(-checksumOf(bytes)));
    return ':' + bytes.toHex().toUpper();
}

QByteArray recordRequest(int address, const QByteArray &record)
{
    return QByteArray(1, char(address)) + char(Code::WriteMem) + record;
}

} // namespace

TEST(DeviceReplies, EveryCommandGetsAWellFormedReplyOfItsTableLength)
{
    for (const TableRow &row : kTable) {
        BusDriver driver;
        const QByteArray reply = driver.send(request(130, row));
        ASSERT_EQ(reply.size(), row.replyLength) << "code " << row.code;
        EXPECT_EQ(quint8(reply.at(0)), 130) << "code " << row.code;
        EXPECT_TRUE(hasValidChecksum(reply)) << "code " << row.code;
        if (row.replyLength == 3 && row.code != Code::SetGroupId) {
            EXPECT_EQ(bodyByte(reply, 0), kAck) << "code " << row.code;
        }
    }
}

TEST(DeviceReplies, EchoCommandsEchoTheirRequestBytes)
{
    BusDriver driver;
    EXPECT_EQ(driver.exchange({128, 48, 0x55}), frame({128, 48, 0x55}));
    EXPECT_EQ(driver.exchange({128, 48, 0xFF}), frame({128, 48, 0xFF}));
    EXPECT_EQ(driver.exchange({128, 49, 3, 10}), frame({128, 49, 3, 10}));
    EXPECT_EQ(driver.exchange({128, Code::WriteMem, 40, 7}), frame({128, 40, 7}));
    EXPECT_EQ(driver.exchange({128, Code::ReadMem, 40}), frame({128, 40, 7}));
}

TEST(DeviceReplies, ReturnIdCarriesProductAndFirmwareVersion)
{
    SimConfig config = quietConfig();
    config.devices = {{128, 220}, {129, 205}};
    BusDriver driver(config);
    EXPECT_EQ(driver.exchange({128, Code::ReturnId}).mid(1, 8), QByteArray("02540220"));
    EXPECT_EQ(driver.exchange({129, Code::ReturnId}).mid(1, 8), QByteArray("02540205"));
}

TEST(DeviceMemoryAccess, WritesAreReadBackAndSurviveAReset)
{
    BusDriver driver;
    EXPECT_EQ(bodyByte(driver.exchange({128, Code::ReadMem, 34}), 1), 50); // factory start speed
    driver.exchange({128, Code::WriteMem, 47, 30});
    driver.exchange({128, Code::Reset});
    EXPECT_EQ(bodyByte(driver.exchange({128, Code::ReadMem, 47}), 1), 30);
    EXPECT_EQ(bodyByte(driver.exchange({129, Code::ReadMem, 47}), 1), 20);
    EXPECT_EQ(quint8(driver.bus.device(128)->memory().bytes().at(47)), 30);
}

TEST(DeviceMemoryAccess, NewBusAddressTakesEffectAfterTheReply)
{
    BusDriver driver;
    // The reply still comes from the old address.
    EXPECT_EQ(driver.exchange({128, Code::WriteMem, 16, 140}), frame({128, 16, 140}));
    EXPECT_TRUE(driver.exchange({128, Code::ReturnId}).isEmpty());
    EXPECT_EQ(quint8(driver.exchange({140, Code::ReturnId}).at(0)), 140);
    EXPECT_EQ(driver.bus.device(128)->busAddress(), 140);

    // 255 belongs to everybody: refused, and the echo shows it.
    EXPECT_EQ(driver.exchange({140, Code::WriteMem, 16, 255}), frame({140, 16, 140}));
}

TEST(DeviceGroups, GroupIdIsEchoedAndAnsweredTo)
{
    BusDriver driver;
    EXPECT_EQ(driver.exchange({129, Code::SetGroupId, 240}), frame({129, 240}));
    EXPECT_EQ(driver.exchange({130, Code::SetGroupId, 240}), frame({130, 240}));
    EXPECT_EQ(bodyByte(driver.exchange({131, Code::SetGroupId, 239}), 0), kNak);

    // Both members act; the first one configured answers, under the group address.
    EXPECT_EQ(driver.exchange({240, Code::StartExp}), frame({240, kAck}));
    EXPECT_EQ(driver.bus.device(129)->counters().startExpSeen, 1);
    EXPECT_EQ(driver.bus.device(130)->counters().startExpSeen, 1);
    EXPECT_EQ(driver.bus.device(131)->counters().startExpSeen, 0);
}

class ProgramMode : public ::testing::Test
{
protected:
    ProgramMode()
    {
        SimConfig config = quietConfig();
        config.newFirmwareVersion = 230;
        driver = std::make_unique<BusDriver>(config);
        driver->exchange({128, Code::WriteMem, 18, 19});
        driver->exchange({128, Code::Reset});
    }
    QByteArray status(const QByteArray &record)
    {
        const QByteArray reply = driver->send(recordRequest(128, record));
        if (reply.size() != 3 || !hasValidChecksum(reply) || quint8(reply.at(0)) != 128)
            return reply.isEmpty() ? "none" : "malformed";
        return reply.mid(1, 1);
    }
    std::unique_ptr<BusDriver> driver;
    const QByteArray data = hexRecord(0, 0x0100, QByteArray("\x02\x33\x7A\x11\x22", 5));
};

TEST_F(ProgramMode, RecordsGetTheirStatusLettersAndTheNextResetRunsTheNewFirmware)
{
    ASSERT_TRUE(driver->bus.device(128)->isInProgramMode());
    EXPECT_TRUE(driver->exchange({128, Code::ReturnId}).isEmpty());

    EXPECT_EQ(status(hexRecord(4, 0, QByteArray("\x00\x00", 2))), "S");
    EXPECT_EQ(status(data), "L");
    QByteArray corrupted = data;
    corrupted[corrupted.size() - 1] = corrupted.back() == '0' ? '1' : '0';
    EXPECT_EQ(status(corrupted), "C");
    EXPECT_EQ(status(hexRecord(1, 0, {})), "H");
    // After the end record the device only waits for its reset.
    EXPECT_EQ(status(data), "none");

    driver->exchange({255, Code::Reset});
    EXPECT_FALSE(driver->bus.device(128)->isInProgramMode());
    EXPECT_EQ(driver->exchange({128, Code::ReturnId}).mid(1, 8), QByteArray("02540230"));
    EXPECT_EQ(driver->bus.device(128)->counters().firmwareUpdates, 1);
    EXPECT_EQ(driver->bus.device(128)->counters().firmwareRecords, 3);
    // The other devices were never in program mode.
    EXPECT_EQ(driver->exchange({129, Code::ReturnId}).mid(1, 8), QByteArray("02540220"));
}

TEST_F(ProgramMode, RecordLengthFollowsFromTheRecordEvenByteByByte)
{
    QByteArray reply;
    for (const char byte : recordRequest(128, data))
        reply += driver->send(QByteArray(1, byte));
    EXPECT_EQ(reply, withChecksum(QByteArray("\x80L")));
}

TEST_F(ProgramMode, ResetBeforeTheEndRecordStaysInProgramMode)
{
    EXPECT_EQ(status(data), "L");
    driver->exchange({128, Code::Reset});
    EXPECT_TRUE(driver->bus.device(128)->isInProgramMode());
    EXPECT_EQ(status(data), "L");
}

TEST_F(ProgramMode, InjectedFlashFailureAnswersF)
{
    driver->bus.injectFault({128, kAnyCode, FaultKind::FlashWriteFailure, 1});
    EXPECT_EQ(status(data), "F");
    EXPECT_EQ(status(data), "L");
}

TEST_F(ProgramMode, UnreadableRecordIsRefusedAndGarbageDropped)
{
    EXPECT_EQ(status(":0Z000000"), "none");  // length not hex: no record at all
    EXPECT_EQ(status(":01000000GG" "FF"), "C"); // readable length, bad data
    EXPECT_EQ(status(data), "L");
}
