// The set-up: reading and packing the boxes, checking their ranges, and the
// device's set-up memory with its firmware rules.

#include "statekit.h"

#include "experiment/core/expnumbers.h"
#include "experiment/core/setupmemory.h"
#include "experiment/core/setupvalues.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace velorix {
namespace {

// Reading typed numbers is base_test's; rounding half to even and a whole
// number shown rounded are the set-up's below; device tenths read unsigned,
// the readout's long session. Here what only the display shows.
TEST(Numbers, AreShownAwayFromZero)
{
    EXPECT_EQ(format1(-0.01), QStringLiteral("0.0"));
    EXPECT_EQ(formatSpeed(5.3), QStringLiteral("05.3"));
    EXPECT_EQ(formatSpeed(123.45), QStringLiteral("123.5"));
}

// Start, end, interval, step, duration, rotation delay, rocking; RPM, mouse
// wheel, counter-clockwise.
SetupTexts exampleSetup()
{
    return SetupTexts{"5.0", "40.0", "10", "0.5", "300", "2.0", "30", true, true, true};
}

TEST(Setup, PacksTheBoxesIntoTheRecordAndShowsItBack)
{
    DeviceInfo record;
    record.bytExpOptions = 0x46; // bits other than 0 and 4 travel unchanged
    std::int16_t rock = 0;
    packSetup(exampleSetup(), record, rock);
    EXPECT_EQ(std::vector<int>({record.intStartSpeed, record.intEndSpeed, record.intAccInterval,
                                record.intAccStep, record.intRotDelay, record.intDuration, rock}),
              std::vector<int>({50, 400, 100, 5, 20, 300, 30}));
    EXPECT_EQ(record.bytExpOptions, 0x46 | 0x11);
    EXPECT_EQ(record.bytDirection, 1);

    SetupTexts other = exampleSetup();
    other.startSpeed = QStringLiteral("12.25");
    other.endSpeed = QStringLiteral("12.75");
    other.accStep = QStringLiteral("abc");
    other.duration = QStringLiteral("2.5");
    other.rpm = other.mouseWheel = other.ccw = false;
    packSetup(other, record, rock);
    EXPECT_EQ(std::vector<int>(
                      {record.intStartSpeed, record.intEndSpeed, record.intAccStep, record.intDuration}),
              std::vector<int>({122, 128, 0, 2})); // halves to even
    EXPECT_EQ(record.bytExpOptions, 0x46);

    record.intAccInterval = 125;
    const SetupTexts shown = showSetup(record, QStringLiteral("kept"));
    EXPECT_EQ(shown.accInterval, QStringLiteral("13")); // 12.5 rounded away from zero; the record keeps 125
    EXPECT_EQ(shown.startSpeed, QStringLiteral("12.2"));
    EXPECT_EQ(shown.rockInterval, QStringLiteral("kept"));
    EXPECT_FALSE(shown.rpm);
    EXPECT_EQ(unitsText(record.bytExpOptions), QStringLiteral("cm/s"));
}

// Each box up to the end of its field is taken; just past it (or without a
// number) it is refused, and packed anyway it stops at the end, never wraps.
TEST(Setup, EveryBoxFitsUpToItsFieldsEndAndIsRefusedPastIt)
{
    struct Case
    {
        QString SetupTexts::*box;
        std::int16_t DeviceInfo::*field; // none: the rocking interval
        const char *largest;
        const char *past;
        int end;
        const char *problem;
    };
    const Case cases[] = {
            {&SetupTexts::startSpeed, &DeviceInfo::intStartSpeed, "3276.7", "3276.8", 32767,
             "Start Speed must be from 0.0 to 3276.7 RPM."},
            {&SetupTexts::endSpeed, &DeviceInfo::intEndSpeed, "3276.7", "3276.8", 32767,
             "Max Speed must be from 0.0 to 3276.7 RPM."},
            {&SetupTexts::accInterval, &DeviceInfo::intAccInterval, "3276.7", "3276.8", 32767,
             "Acc Int must be from 0.0 to 3276.7 seconds."},
            {&SetupTexts::accStep, &DeviceInfo::intAccStep, "25.5", "25.6", 255,
             "Acc Step must be from 0.0 to 25.5 RPM."},
            {&SetupTexts::duration, &DeviceInfo::intDuration, "32767", "32768", 32767,
             "Duration must be from 0 to 32767 seconds."},
            {&SetupTexts::rotDelay, &DeviceInfo::intRotDelay, "25.5", "25.6", 255,
             "Rot Delay must be from 0.0 to 25.5 seconds."},
            {&SetupTexts::rockInterval, nullptr, "32767", "32768", 32767,
             "Rocking Int must be from 0 to 32767 seconds."},
    };
    EXPECT_FALSE(checkSetup(exampleSetup()));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.problem);
        SetupTexts texts = exampleSetup();
        const auto packed = [&](const char *text) {
            texts.*c.box = QLatin1String(text);
            DeviceInfo record;
            std::int16_t rock = 0;
            packSetup(texts, record, rock);
            return int(c.field ? record.*c.field : rock);
        };
        const auto problem = [&](const char *text) {
            texts.*c.box = QLatin1String(text);
            const auto found = checkSetup(texts);
            return found ? found->text : QStringLiteral("fits");
        };
        EXPECT_EQ(problem(c.largest), QStringLiteral("fits"));
        EXPECT_EQ(packed(c.largest), c.end);
        for (const char *refused : {c.past, "-1", "abc", ""})
            EXPECT_EQ(problem(refused), QLatin1String(c.problem)) << refused;
        EXPECT_EQ(packed("99999"), c.end);
    }
}

// A unit or a word after the number is allowed; a number written with a
// decimal comma or a second point is refused with a hint, never cut short.
TEST(Setup, ANumberWrittenAnotherWayIsRefusedWithAHintAUnitAfterItIsNot)
{
    const QString range = QStringLiteral("Acc Step must be from 0.0 to 25.5 RPM.");
    const QString hint = range + QStringLiteral("\nAcc Step: use a decimal point, as in 0.5");
    const QString taken;
    const std::tuple<const char *, QString, int> cases[] = {
            {"0,5", hint, 0},  {"1.000,5", hint, 0}, {"5.0.1", hint, 0}, {",5", hint, 0},
            {"2.5.", hint, 0}, {"abc", range, 0},    {"-1", range, 0},   {"7.5 rpm", taken, 75},
            {"0.5", taken, 5}, {"12", taken, 120},   {" 3", taken, 30},  {"1e1", taken, 100},
    };
    for (const auto &[typed, problem, tenths] : cases) {
        SetupTexts texts = exampleSetup();
        texts.accStep = QLatin1String(typed);
        texts.duration = QStringLiteral("12 s");
        const auto found = checkSetup(texts);
        EXPECT_EQ(found ? found->text : taken, problem) << typed;
        if (found)
            continue;
        DeviceInfo record;
        std::int16_t rock = 0;
        packSetup(texts, record, rock);
        EXPECT_EQ(record.intAccStep, tenths) << typed;
        EXPECT_EQ(record.intDuration, 12);
    }
    SetupTexts texts = exampleSetup();
    texts.duration = QStringLiteral("1e12");
    EXPECT_TRUE(checkSetup(texts));
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
    const Writes all = {{34, 50},   {35, 0},   {36, 144}, {37, 1},  {38, 100}, {39, 0}, {40, 5},
                        {41, 0x11}, {42, 144}, {43, 76},  {44, 96}, {46, 1},   {47, 20}};
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
