// The firmware file is checked whole before anything is sent, and a good
// one goes to the simulated device line by line with the pauses in their
// places.

#include "maintenance/core/firmwareflash.h"

#include "maintenancerig.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace velorix;
using namespace velorix::testing;

namespace {

TEST(FirmwareFile, OnlyAWholeGoodIntelHexFileIsTaken)
{
    HexFiles files;
    const QByteArray good = firmware(3);
    struct Case
    {
        const char *what;
        QByteArray contents;
        std::int16_t code;
        int badLine;
    };
    const QByteArray badSum = hexRecord(0, 0, "AB").replace(hexRecord(0, 0, "AB").size() - 1, 1, "0");
    const Case cases[] = {
        {"CR LF", good, 0, 0},
        {"LF alone", firmware(3, "\n"), 0, 0},
        {"CR alone", firmware(3, "\r"), 0, 0},
        {"empty", "", 1, 0},
        {"no colon", "1000\r\n:00000001FF\r\n", 2, 1},
        {"bad checksum", hexRecord(0, 0, "AB") + "\r\n" + badSum + "\r\n:00000001FF\r\n", 2, 2},
        {"count against length", ":0200000011EF\r\n:00000001FF\r\n", 2, 1},
        {"not hexadecimal", ":01000000GG00\r\n:00000001FF\r\n", 2, 1},
        {"no end record", hexRecord(0, 0, "AB") + "\r\n", 2, 1},
        {"after the end record", ":00000001FF\r\n" + hexRecord(0, 0, "AB") + "\r\n", 2, 1},
    };
    for (const Case &c : cases) {
        const HexImage image = readHexFile(files.file(c.contents));
        EXPECT_EQ(image.code, c.code) << c.what;
        EXPECT_EQ(image.badLine, c.badLine) << c.what;
        EXPECT_EQ(image.records.size(), c.code == 0 ? 4 : 0) << c.what;
    }
    EXPECT_EQ(readHexFile(files.file(good)).records.first(), hexRecord(0, 0, QByteArray(16, 0)));
    EXPECT_NE(readHexFile(files.dir.filePath(QStringLiteral("gone.hex"))).code, 0);

    const HexImage bad = readHexFile(files.file(cases[5].contents));
    EXPECT_EQ(fileErrorText(bad), "Error sending data file. Invalid file format\nLine 2: checksum wrong");
    EXPECT_EQ(sendErrorText(1, 130), "Error sending data file. File is empty");
    EXPECT_EQ(sendErrorText(2007, 130), "Error sending data file. 2007");
}

class FlashTest : public MaintenanceTest, protected HexFiles
{
protected:
    FlashTest() : MaintenanceTest(230)
    {
        garbleAbsent = false;
        view.showText = [this](const QString &text) { shown << text; };
        view.showPercent = [this](const QString &text) { percents << text; };
        view.beep = [this] { ++beeps; };
    }
    FlashView view;
    QStringList shown, percents;
    int beeps = 0;
};

TEST_F(FlashTest, AGoodFileGoesThroughProgramModeLineByLineWithThePausesInPlace)
{
    // Pauses scaled down, each its own length so that a pause in the wrong
    // place shows.
    const FlashPacing pacing{60, 40, 5, 120, 20};
    QElapsedTimer clock;
    std::vector<std::pair<int, qint64>> sent; // code (negative: whole bus), time
    const auto simulated = peer->answer;
    peer->answer = [&](const ByteBuffer &request) {
        sent.emplace_back(request[0] == 255 ? -request[1] : request[1], clock.elapsed());
        return simulated(request);
    };
    clock.start();
    FirmwareFlash(device, view, pacing).flash(file(firmware(3)), 130);

    const std::vector<int> expected{22, -16, 22, 22, 22, 22, -16, 17};
    EXPECT_EQ(traffic(130), expected);
    ASSERT_EQ(sent.size(), expected.size());
    const auto gap = [&](std::size_t i) { return sent[i].second - sent[i - 1].second; };
    EXPECT_GE(gap(1), pacing.afterModeSwitchMs);
    EXPECT_GE(gap(2), pacing.afterResetMs);
    EXPECT_GE(gap(3), pacing.afterLineMs);
    EXPECT_LT(gap(3), pacing.afterResetMs);
    EXPECT_GE(gap(6), pacing.beforeFinalResetMs);
    EXPECT_GE(gap(7), pacing.afterFinalResetMs);

    EXPECT_EQ(prompts->texts(), QStringList{"Device programing successful"});
    EXPECT_EQ(percents, (QStringList{"", "", "25", "50", "75", "100", "100", ""}));
    EXPECT_EQ(shown, (QStringList{"Programming device", ""}));
    QString identity;
    ASSERT_EQ(device.ReturnID(130, identity), 0);
    EXPECT_EQ(identity, "02540230");
}

TEST_F(FlashTest, ABadFileSendsNothingAndALostLineEndsTheTransfer)
{
    FirmwareFlash(device, view, FlashPacing{0, 0, 0, 0, 0}).flash(file(hexRecord(0, 0, "AB") + "\r\n\r\n:00000001FF\r\n"), 130);
    EXPECT_TRUE(peer->written.empty());
    EXPECT_EQ(prompts->texts(), QStringList{"Error sending data file. Invalid file format\nLine 2: empty line"});
    EXPECT_EQ(beeps, 1);

    // The device falls silent after the second record.
    int records = 0;
    const auto simulated = peer->answer;
    peer->answer = [&](const ByteBuffer &request) {
        if (request.size() > 5 && request[1] == 22 && ++records > 2)
            return ByteBuffer{};
        return simulated(request);
    };
    FirmwareFlash(device, view, FlashPacing{0, 0, 0, 0, 0}).flash(file(firmware(3)), 130);
    EXPECT_EQ(prompts->texts().last(), "Error sending data file. No response from device address 130");
    EXPECT_EQ(records, 3);
    EXPECT_EQ(traffic(130).back(), 22); // no reset after a failed transfer
    EXPECT_EQ(beeps, 2);
}

TEST_F(FlashTest, AnUnansweredProgramModeSwitchIsSaidAndTheTransferGoesOn)
{
    rig.bus->injectFault({130, 22, sim::FaultKind::NoReply, 1}); // switched, the answer lost
    FirmwareFlash(device, view, FlashPacing{0, 0, 0, 0, 0}).flash(file(firmware(1)), 130);
    EXPECT_EQ(prompts->texts(), (QStringList{"Error Setting Device to Program Mode. ", "Device programing successful"}));
    EXPECT_EQ(traffic(130), (std::vector<int>{22, -16, -16, 22, 22, -16, 17}));
}

} // namespace
