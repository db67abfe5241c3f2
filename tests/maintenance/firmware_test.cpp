// The firmware file is checked whole before anything is sent: what no tool
// would take is refused with its line, what real tools write is taken, and
// a good file goes to the simulated device line by line with the pauses in
// their places.

#include "maintenance/core/firmwareflash.h"

#include "maintenancerig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>

#include <unistd.h>

#include <gtest/gtest.h>

using namespace velorix;
using namespace velorix::testing;

namespace {

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

// Every refused file is refused whole: the device hears nothing, not even
// the program-mode switch or a bus reset.
TEST_F(FlashTest, AFileNoToolWouldTakeIsRefusedWithItsLineBeforeAnyByteIsSent)
{
    const QByteArray data = hexRecord(0, 0, "AB") + "\r\n";
    const QByteArray end = ":00000001FF\r\n";
    QByteArray badSum = hexRecord(0, 0, "AB");
    badSum.back() = '0';
    const QString invalid = QStringLiteral("Error sending data file. Invalid file format\n");
    struct Case
    {
        QByteArray contents;
        QString text;
    };
    const Case cases[] = {
            {"", "Error sending data file. File is empty"},
            {"1000\r\n" + end, "Line 1: does not begin with \":\""},
            {data + badSum + "\r\n" + end, "Line 2: checksum wrong"},
            {":0200000011EF\r\n" + end, "Line 1: byte count does not match the length"},
            {":01000000GG00\r\n" + end, "Line 1: not hexadecimal"},
            {data + "\r\n" + end, "Line 2: empty line"},
            {data + "\x1A\r\n" + end, "Line 2: does not begin with \":\""},
            {data, "Line 1: no end-of-file record at the end"},
            {data + end + "\x1A\r\n" + data, "Line 3: a line after the end-of-file record"},
            {data + hexRecord(6, 0, "AB") + "\r\n" + end, "Line 2: unknown record type 06"},
            {data + ":0100000100FE\r\n", "Line 2: end-of-file record with data (it takes none)"},
            {data + hexRecord(1, 0x10, "") + "\r\n",
             "Line 2: end-of-file record with address 0010 (it takes 0000)"},
            {hexRecord(2, 0, "1") + "\r\n" + data + end,
             "Line 1: extended segment address record with 1 data byte (it takes 2)"},
            {data + hexRecord(3, 0, "123") + "\r\n" + end,
             "Line 2: start segment address record with 3 data bytes (it takes 4)"},
            {hexRecord(4, 0, "123") + "\r\n" + data + end,
             "Line 1: extended linear address record with 3 data bytes (it takes 2)"},
            {data + hexRecord(5, 0, "12") + "\r\n" + end,
             "Line 2: start linear address record with 2 data bytes (it takes 4)"},
            {end,
             "Line 1: end-of-file record with no data record before it"}, // objcopy of a section not there
            {":020000040800F2\r\n" + hexRecord(0, 0, "") + "\r\n" + end,
             "Line 3: end-of-file record with no data record before it"},
            {"\r\n\x1A", "The file is blank, without any record."},
    };
    for (const Case &c : cases) {
        FirmwareFlash(device, view, FlashPacing{0, 0, 0, 0, 0}).flash(file(c.contents), 130);
        const QString expected = c.text.startsWith(QLatin1String("Error")) ? c.text : invalid + c.text;
        EXPECT_EQ(prompts->texts().value(int(prompts->messages.size()) - 1), expected)
                << c.contents.toStdString();
        EXPECT_TRUE(peer->written.empty()) << c.contents.toStdString();
    }
    EXPECT_EQ(beeps, int(std::size(cases)));
    EXPECT_EQ(sendErrorText(2007, 130), "Error sending data file. 2007");
}

// What avr-objcopy, objcopy, srec_cat and python's intelhex write (see
// fixtures/README.md), and the tails DOS tools add after the end record.
TEST_F(FlashTest, EveryFileRealToolsWriteIsSentRecordByRecord)
{
    const QDir fixtures(QStringLiteral(VELORIX_FIRMWARE_FIXTURES));
    std::vector<std::pair<QString, QByteArray>> inputs;
    for (const QString &name : fixtures.entryList({QStringLiteral("*.hex")}, QDir::Files))
        inputs.emplace_back(name, contents(fixtures.filePath(name)));
    ASSERT_EQ(inputs.size(), 7u);
    const QByteArray avr = contents(fixtures.filePath(QStringLiteral("avr-objcopy.hex")));
    const QByteArray lf = contents(fixtures.filePath(QStringLiteral("srec_cat-255-lf.hex")));
    inputs.emplace_back("Ctrl-Z after the end", avr + "\x1A");
    inputs.emplace_back("Ctrl-Z on the end line", avr.chopped(2) + "\x1A");
    inputs.emplace_back("blank lines and Ctrl-Z after the end", lf + "\n\n\x1A\n");
    inputs.emplace_back("no line end after the end", avr.chopped(2));
    inputs.emplace_back("lower-case hex digits", avr.toLower());

    for (const auto &[what, bytes] : inputs) {
        QStringList lines
                = QString::fromLatin1(bytes).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
        while (lines.last().isEmpty() || lines.last() == QLatin1String("\x1A"))
            lines.removeLast();
        lines.last().remove(QChar(26));
        peer->written.clear();
        FirmwareFlash(device, view, FlashPacing{0, 0, 0, 0, 0}).flash(file(bytes), 130);
        EXPECT_EQ(prompts->texts().value(int(prompts->messages.size()) - 1), "Device programing successful")
                << what.toStdString();
        QStringList sent;
        for (const ByteBuffer &request : peer->written) {
            if (request.size() > 5 && request[1] == 22) // records, not the 5-byte program-mode switch
                sent << QString::fromLatin1(reinterpret_cast<const char *>(request.data()) + 2,
                                            qsizetype(request.size()) - 2);
        }
        EXPECT_EQ(sent, lines) << what.toStdString();
    }
}

TEST_F(FlashTest, AFileThatCannotBeOpenedIsSaidInWordsAndNothingIsSent)
{
    const QString gone = dir.filePath(QStringLiteral("gone.hex"));
    const QString locked = file(firmware(1));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    std::vector<std::pair<QString, QString>> cases{
            {gone, "File not found: " + QDir::toNativeSeparators(gone)},
            {dir.path(), "Cannot read " + QDir::toNativeSeparators(dir.path()) + ": it is a folder"},
    };
    if (geteuid() != 0) // root reads every file
        cases.emplace_back(locked, "Cannot read " + QDir::toNativeSeparators(locked) + ": permission denied");
    for (const auto &[path, text] : cases) {
        FirmwareFlash(device, view, FlashPacing{0, 0, 0, 0, 0}).flash(path, 130);
        EXPECT_EQ(prompts->texts().value(int(prompts->messages.size()) - 1), text);
    }
    EXPECT_EQ(beeps, int(cases.size()));
    EXPECT_TRUE(peer->written.empty());
}

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

TEST_F(FlashTest, ALostLineEndsTheTransfer)
{
    // The device falls silent after the second record.
    int records = 0;
    const auto simulated = peer->answer;
    peer->answer = [&](const ByteBuffer &request) {
        if (request.size() > 5 && request[1] == 22 && ++records > 2)
            return ByteBuffer{};
        return simulated(request);
    };
    FirmwareFlash(device, view, FlashPacing{0, 0, 0, 0, 0}).flash(file(firmware(3)), 130);
    EXPECT_EQ(prompts->texts(), QStringList{"Error sending data file. No response from device address 130"});
    EXPECT_EQ(records, 3);
    EXPECT_EQ(traffic(130).back(), 22); // no reset after a failed transfer
    EXPECT_EQ(beeps, 1);
}

TEST_F(FlashTest, AnUnansweredProgramModeSwitchIsSaidAndTheTransferGoesOn)
{
    rig.bus->injectFault({130, 22, sim::FaultKind::NoReply, 1}); // switched, the answer lost
    FirmwareFlash(device, view, FlashPacing{0, 0, 0, 0, 0}).flash(file(firmware(1)), 130);
    EXPECT_EQ(prompts->texts(),
              (QStringList{"Error Setting Device to Program Mode. ", "Device programing successful"}));
    EXPECT_EQ(traffic(130), (std::vector<int>{22, -16, -16, 22, 22, -16, 17}));
}

} // namespace
