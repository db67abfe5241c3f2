// The set-up: reading and packing the boxes, checking their ranges, and the
// device's set-up memory with its firmware rules.

#include "testsupport.h"

#include "experiment/core/expnumbers.h"
#include "experiment/core/setupmemory.h"
#include "experiment/core/setupvalues.h"

#include <gtest/gtest.h>

namespace velorix {
namespace {

TEST(Numbers, AreReadLenientlyRoundedToEvenAndShownAwayFromZero)
{
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("12.25")), 12.25);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("abc")), 0);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("7.5 rpm")), 7.5);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("  -2.5x")), -2.5);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("1.2.3")), 1.2);
    EXPECT_FALSE(leadingNumberIfAny(QStringLiteral(" . ")));
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("1e12")), 1e12);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("2.5E-1 s")), 0.25);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("1e+3")), 1000);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("5 e3")), 5);
    EXPECT_DOUBLE_EQ(leadingNumber(QStringLiteral("2e")), 2);
    EXPECT_EQ(roundHalfEven(122.5), 122);
    EXPECT_EQ(roundHalfEven(127.5), 128);
    EXPECT_EQ(formatWhole(12.5), QStringLiteral("13"));
    EXPECT_EQ(format1(-0.01), QStringLiteral("0.0"));
    EXPECT_EQ(formatSpeed(5.3), QStringLiteral("05.3"));
    EXPECT_EQ(formatSpeed(123.45), QStringLiteral("123.5"));
    // Device tenths are combined unsigned: past 3276.7 they keep counting.
    EXPECT_FLOAT_EQ(tenthsValue(0x00, 0x80), 3276.8f);
    EXPECT_FLOAT_EQ(tenthsValue(0xFF, 0xFF), 6553.5f);
}

SetupTexts exampleSetup()
{
    SetupTexts texts;
    texts.startSpeed = QStringLiteral("5.0");
    texts.endSpeed = QStringLiteral("40.0");
    texts.accInterval = QStringLiteral("10");
    texts.accStep = QStringLiteral("0.5");
    texts.duration = QStringLiteral("300");
    texts.rotDelay = QStringLiteral("2.0");
    texts.rockInterval = QStringLiteral("30");
    texts.ccw = true;
    return texts;
}

TEST(Setup, PacksTheBoxesIntoTheRecordAndShowsItBack)
{
    DeviceInfo record;
    record.bytExpOptions = 0x46; // bits other than 0 and 4 travel unchanged
    std::int16_t rock = 0;
    packSetup(exampleSetup(), record, rock);
    EXPECT_EQ(record.intStartSpeed, 50);
    EXPECT_EQ(record.intEndSpeed, 400);
    EXPECT_EQ(record.intAccInterval, 100);
    EXPECT_EQ(record.intAccStep, 5);
    EXPECT_EQ(record.intRotDelay, 20);
    EXPECT_EQ(record.intDuration, 300);
    EXPECT_EQ(rock, 30);
    EXPECT_EQ(record.bytExpOptions, 0x46 | 0x11);
    EXPECT_EQ(record.bytDirection, 1);

    SetupTexts other = exampleSetup();
    other.startSpeed = QStringLiteral("12.25");
    other.endSpeed = QStringLiteral("12.75");
    other.accStep = QStringLiteral("abc");
    other.duration = QStringLiteral("2.5");
    other.rpm = other.mouseWheel = other.ccw = false;
    packSetup(other, record, rock);
    EXPECT_EQ(record.intStartSpeed, 122);
    EXPECT_EQ(record.intEndSpeed, 128);
    EXPECT_EQ(record.intAccStep, 0);
    EXPECT_EQ(record.intDuration, 2);
    EXPECT_EQ(record.bytExpOptions, 0x46);
    // Beyond a field's end a value stops at it, never wraps.
    other.duration = QStringLiteral("99999");
    other.rotDelay = QStringLiteral("99");
    other.accStep = QStringLiteral("99");
    packSetup(other, record, rock);
    EXPECT_EQ(record.intDuration, 32767);
    EXPECT_EQ(record.intRotDelay, 255);
    EXPECT_EQ(record.intAccStep, 255);

    record.intAccInterval = 125;
    const SetupTexts shown = showSetup(record, QStringLiteral("kept"));
    EXPECT_EQ(shown.accInterval, QStringLiteral("13")); // the record keeps 125
    EXPECT_EQ(shown.startSpeed, QStringLiteral("12.2"));
    EXPECT_EQ(shown.rockInterval, QStringLiteral("kept"));
    EXPECT_FALSE(shown.rpm);
    EXPECT_EQ(unitsText(record.bytExpOptions), QStringLiteral("cm/s"));
}

TEST(Setup, RefusesTheFirstBoxThatDoesNotFitItsField)
{
    EXPECT_FALSE(checkSetup(exampleSetup()));
    const auto problem = [](QString SetupTexts::*box, const char *text) {
        SetupTexts texts = exampleSetup();
        texts.*box = QLatin1String(text);
        const auto found = checkSetup(texts);
        return found ? found->text : QStringLiteral("fits");
    };
    EXPECT_EQ(problem(&SetupTexts::startSpeed, "3276.7"), QStringLiteral("fits"));
    EXPECT_EQ(problem(&SetupTexts::startSpeed, "3276.8"),
              QStringLiteral("Start Speed must be from 0.0 to 3276.7 RPM."));
    EXPECT_EQ(problem(&SetupTexts::endSpeed, "-1"), QStringLiteral("Max Speed must be from 0.0 to 3276.7 RPM."));
    EXPECT_EQ(problem(&SetupTexts::accStep, "25.5"), QStringLiteral("fits"));
    EXPECT_EQ(problem(&SetupTexts::accStep, "25.6"), QStringLiteral("Acc Step must be from 0.0 to 25.5 RPM."));
    EXPECT_EQ(problem(&SetupTexts::duration, "32768"), QStringLiteral("Duration must be from 0 to 32767 seconds."));
    EXPECT_EQ(problem(&SetupTexts::rotDelay, "30"), QStringLiteral("Rot Delay must be from 0.0 to 25.5 seconds."));
    // A box that does not begin with a number is refused; words after one are not.
    EXPECT_EQ(problem(&SetupTexts::startSpeed, "abc"), QStringLiteral("Start Speed must be from 0.0 to 3276.7 RPM."));
    EXPECT_EQ(problem(&SetupTexts::rotDelay, "x"), QStringLiteral("Rot Delay must be from 0.0 to 25.5 seconds."));
    EXPECT_EQ(problem(&SetupTexts::rockInterval, ""), QStringLiteral("Rocking Int must be from 0 to 32767 seconds."));
    EXPECT_EQ(problem(&SetupTexts::startSpeed, "7.5 rpm"), QStringLiteral("fits"));
    EXPECT_EQ(problem(&SetupTexts::duration, "1e12"), QStringLiteral("Duration must be from 0 to 32767 seconds."));
    EXPECT_EQ(problem(&SetupTexts::duration, "1e3"), QStringLiteral("fits"));
}

TEST(SetupMemory, DownloadsTheLocationsTheFirmwareTakes)
{
    DeviceInfo record;
    std::int16_t rock = 0;
    packSetup(exampleSetup(), record, rock);
    using Writes = std::vector<std::pair<int, int>>;
    const auto writes = [&](float version) {
        record.sngVersion = version;
        Writes out;
        for (int step = 0; step < setupmemory::kResetStep; ++step) {
            const setupmemory::Write write = setupmemory::downloadWrite(step, record);
            if (!write.skip)
                out.emplace_back(write.location, write.value);
        }
        return out;
    };
    const Writes all = {{34, 50}, {35, 0},    {36, 144}, {37, 1},  {38, 100}, {39, 0}, {40, 5},
                        {41, 0x11}, {42, 144}, {43, 76}, {44, 96}, {46, 1},   {47, 20}};
    EXPECT_EQ(writes(2.2f), all);
    EXPECT_EQ(writes(2.1f), Writes(all.begin(), all.end() - 1));
    EXPECT_EQ(writes(2.05f), Writes(all.begin(), all.begin() + 8));
    EXPECT_FALSE(setupmemory::takesRockingRequest(2.1f));
    record.intAccStep = 300; // from a template: sent modulo 256
    EXPECT_EQ(setupmemory::downloadWrite(6, record).value, 44);

    DeviceInfo read;
    setupmemory::storeSetupByte(read, 34, 44);
    setupmemory::storeSetupByte(read, 35, 1);
    EXPECT_EQ(read.intStartSpeed, 300);
    setupmemory::storeSetupByte(read, 36, 0xFF);
    setupmemory::storeSetupByte(read, 37, 0x80); // does not fit: the most the field holds
    EXPECT_EQ(read.intEndSpeed, 32767);
}

} // namespace
} // namespace velorix
