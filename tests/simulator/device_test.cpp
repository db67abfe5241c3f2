// What one device keeps and changes: its memory and bus address, its group
// address and its program mode. (That every command gets the reply the
// program expects: the protocol's end-to-end tests.)

#include "simrig.h"

#include <gtest/gtest.h>

using namespace velorix::sim;
using namespace velorix::testing;

TEST(DeviceMemory, WritesAreReadBackSurviveAResetAndNewBusAndGroupAddressesAreAnsweredTo)
{
    SimRig driver;
    EXPECT_EQ(driver.exchange({128, 49, 3, 10}), frame({128, 49, 3, 10}));      // an echo repeats every byte
    EXPECT_EQ(driver.exchange({128, Code::ReadMem, 34}), frame({128, 34, 50})); // factory start speed
    EXPECT_EQ(driver.exchange({128, Code::WriteMem, 47, 30}), frame({128, 47, 30}));
    driver.exchange({128, Code::Reset});
    EXPECT_EQ(bodyByte(driver.exchange({128, Code::ReadMem, 47}), 1), 30);
    EXPECT_EQ(bodyByte(driver.exchange({129, Code::ReadMem, 47}), 1), 20);

    // The reply still comes from the old address.
    EXPECT_EQ(driver.exchange({128, Code::WriteMem, 16, 140}), frame({128, 16, 140}));
    EXPECT_TRUE(driver.exchange({128, Code::ReturnId}).isEmpty());
    EXPECT_EQ(quint8(driver.exchange({140, Code::ReturnId}).at(0)), 140);
    // 255 belongs to everybody: refused, and the echo shows it.
    EXPECT_EQ(driver.exchange({140, Code::WriteMem, 16, 255}), frame({140, 16, 140}));

    // A group address is echoed and answered to.
    EXPECT_EQ(driver.exchange({129, Code::SetGroupId, 240}), frame({129, 240}));
    EXPECT_EQ(driver.exchange({130, Code::SetGroupId, 240}), frame({130, 240}));
    EXPECT_EQ(bodyByte(driver.exchange({131, Code::SetGroupId, 239}), 0), kNak);

    // Both members act; the first one configured answers, under the group address.
    EXPECT_EQ(driver.exchange({240, Code::StartExp}), frame({240, kAck}));
    EXPECT_EQ(driver.bus->device(129)->counters().startExpSeen, 1);
    EXPECT_EQ(driver.bus->device(130)->counters().startExpSeen, 1);
    EXPECT_EQ(driver.bus->device(131)->counters().startExpSeen, 0);
}

TEST(DeviceProgramMode, RecordsGetTheirStatusLettersAndTheNextResetRunsTheNewFirmware)
{
    SimConfig config = quietConfig();
    config.newFirmwareVersion = 230;
    SimRig driver(config);
    driver.exchange({128, Code::WriteMem, 18, 19});
    driver.exchange({128, Code::Reset});
    const auto request = [](const QByteArray &record) { return QByteArray("\x80\x16", 2) + record; };
    const auto status = [&](const QByteArray &record) {
        const QByteArray reply = driver.send(request(record));
        if (reply.size() != 3 || !hasValidChecksum(reply) || quint8(reply.at(0)) != 128)
            return reply.isEmpty() ? QByteArray("none") : QByteArray("malformed");
        return reply.mid(1, 1);
    };
    const QByteArray data = hexRecord(0, 0x0100, QByteArray("\x02\x33\x7A\x11\x22", 5));
    QByteArray corrupted = data;
    corrupted[corrupted.size() - 1] = corrupted.back() == '0' ? '1' : '0';

    ASSERT_TRUE(driver.bus->device(128)->isInProgramMode());
    EXPECT_TRUE(driver.exchange({128, Code::ReturnId}).isEmpty());
    EXPECT_EQ(status(":0Z000000"), "none"); // length not hex: no record at all
    EXPECT_EQ(status(":01000000GG"
                     "FF"),
              "C"); // readable length, bad data
    EXPECT_EQ(status(corrupted), "C");
    EXPECT_EQ(status(hexRecord(4, 0, QByteArray("\x00\x00", 2))), "S");
    driver.bus->injectFault({128, kAnyCode, FaultKind::FlashWriteFailure, 1});
    EXPECT_EQ(status(data), "F");
    // The record's length follows from the record, even byte by byte.
    QByteArray reply;
    for (const char byte : request(data))
        reply += driver.send(QByteArray(1, byte));
    EXPECT_EQ(reply, withChecksum(QByteArray("\x80L")));
    // A reset before the end record stays in program mode.
    driver.exchange({128, Code::Reset});
    EXPECT_TRUE(driver.bus->device(128)->isInProgramMode());
    EXPECT_EQ(status(data), "L");
    EXPECT_EQ(status(hexRecord(1, 0, {})), "H");
    EXPECT_EQ(status(data), "none"); // after the end record the device only waits for its reset

    driver.exchange({255, Code::Reset});
    EXPECT_FALSE(driver.bus->device(128)->isInProgramMode());
    EXPECT_EQ(driver.exchange({128, Code::ReturnId}).mid(1, 8), QByteArray("02540230"));
    EXPECT_EQ(driver.bus->device(128)->counters().firmwareUpdates, 1);
    // The other devices were never in program mode.
    EXPECT_EQ(driver.exchange({129, Code::ReturnId}).mid(1, 8), QByteArray("02540220"));
}
