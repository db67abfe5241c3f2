// The acceleration calculator, the subject list and the choice of device
// for a new window.

#include "statekit.h"

#include "experiment/core/accelcalc.h"
#include "experiment/core/devicebinding.h"
#include "experiment/core/subjectlist.h"

#include <gtest/gtest.h>

#include <vector>

namespace velorix {
namespace {

AccelInputs inputs(const char *start, const char *end, const char *period, const char *max)
{
    return {QLatin1String(start), QLatin1String(end), QLatin1String(period), QLatin1String(max)};
}

TEST(CalcAccel, PicksTheSmallestErrorAndTheSmallerIntervalOnATie)
{
    // (The labels of the boxes as they open: the experiment window's tests.)
    // Errors 10, 5, 0 tenths for intervals 1, 2, 3.
    AccelOutcome outcome = calcAccel(inputs("0.0", "10.0", "30", "10"));
    EXPECT_EQ(outcome.labels->lblAcc_int, QStringLiteral("3"));
    EXPECT_EQ(outcome.labels->lblAcc_Step, QStringLiteral("1.0"));
    outcome = calcAccel(inputs("0.0", "10.0", "30", "2"));
    EXPECT_EQ(outcome.labels->lblerror, QStringLiteral("Error 50.0%")); // 5 tenths of an end speed of 10
    // A flat ramp is exact at every interval: the first stays, however
    // many intervals may be tried.
    outcome = calcAccel(inputs("5", "5", "60", "1e12"));
    EXPECT_EQ(outcome.labels->lblAcc_int, QStringLiteral("1"));
    EXPECT_EQ(outcome.labels->lblSP, QStringLiteral("5"));
    // A tie short of exact (10 tenths off at intervals 1 and 2) keeps the
    // shorter interval too.
    outcome = calcAccel(inputs("0", "0.5", "4", "2"));
    EXPECT_EQ(outcome.labels->lblAcc_int, QStringLiteral("1"));
    EXPECT_EQ(outcome.labels->lblAcc_Step, QStringLiteral("0.1"));
    // One step of 25.5, the largest a step byte holds, is taken.
    outcome = calcAccel(inputs("0", "25.5", "1", "1"));
    ASSERT_TRUE(outcome.labels) << outcome.problem.toStdString();
    EXPECT_EQ(outcome.labels->lblAcc_Step, QStringLiteral("25.5"));
}

TEST(CalcAccel, RefusesInputsItCannotCarryWithAMessage)
{
    EXPECT_EQ(calcAccel(inputs("1", "10", "0", "15")).problem,
              QStringLiteral("Period(seconds) must be more than 0."));
    EXPECT_EQ(calcAccel(inputs("1", "10", "60", "0.5")).problem,
              QStringLiteral("Max Acc_Int(sec) must be 1 or more."));
    EXPECT_EQ(calcAccel(inputs("1", "abc", "60", "15")).problem,
              QStringLiteral("Start Speed must be 0 or more and End Speed more than 0."));
    // The smallest values each rule lets through.
    EXPECT_NE(calcAccel(inputs("1", "10", "60", "1")).problem,
              QStringLiteral("Max Acc_Int(sec) must be 1 or more."));
    EXPECT_NE(calcAccel(inputs("0", "1", "60", "15")).problem,
              QStringLiteral("Start Speed must be 0 or more and End Speed more than 0."));
    const AccelOutcome tooSteep = calcAccel(inputs("0", "300", "1", "15"));
    EXPECT_FALSE(tooSteep.labels);
    EXPECT_EQ(tooSteep.problem,
              QStringLiteral("No acceleration interval from 1 to 15 seconds gives a step of "
                             "at most 25.5 that comes within 10.0 of the end speed."));
}

TEST(CalcAccel, UpdateValuesCopiesIntoTheSetupOnlyWhatFitsItsField)
{
    DeviceInfo record;
    record.intRotDelay = 7;
    // Without a calculation "Ac Int" and "ACC" read as 0.
    ASSERT_EQ(copyToSetup(AccelInputs{}, AccelLabels{}, record), std::nullopt);
    EXPECT_EQ(std::vector<int>({record.intStartSpeed, record.intEndSpeed, record.intAccInterval,
                                record.intAccStep, record.intDuration, record.intRotDelay}),
              std::vector<int>({10, 100, 0, 0, 60, 7}));

    struct Case
    {
        const char *start, *end, *period, *accInt, *accStep;
        const char *problem; // nullptr: copied
    };
    const Case cases[] = {
            {"3276.7", "3276.7", "32767", "3276.7", "25.5", nullptr},
            {"3276.8", "1", "60", "1", "1",
             "Enter Start Speed does not fit the experiment set-up (0 to 3276.7)."},
            {"1", "4000", "60", "1", "1",
             "Enter End Speed does not fit the experiment set-up (0 to 3276.7)."},
            {"1", "1", "60", "3276.8", "1", "Acc Int does not fit the experiment set-up (0 to 3276.7)."},
            {"1", "1", "60", "1", "25.6", "Acc Step does not fit the experiment set-up (0 to 25.5)."},
            {"1", "1", "32768", "1", "1", "Period(seconds) does not fit the experiment set-up (0 to 32767)."},
            {"-1", "1", "60", "1", "1",
             "Enter Start Speed does not fit the experiment set-up (0 to 3276.7)."},
            {"abc", "1", "60", "1", "1",
             "Enter Start Speed does not fit the experiment set-up (0 to 3276.7)."},
            {"1", "1", "60,5", "1", "1",
             "Period(seconds) does not fit the experiment set-up (0 to 32767).\n"
             "Period(seconds): use a decimal point, as in 0.5"},
    };
    for (const Case &c : cases) {
        AccelLabels labels;
        labels.lblAcc_int = QLatin1String(c.accInt);
        labels.lblAcc_Step = QLatin1String(c.accStep);
        DeviceInfo copied;
        const auto problem = copyToSetup(inputs(c.start, c.end, c.period, "15"), labels, copied);
        if (!c.problem) {
            EXPECT_EQ(problem, std::nullopt);
            EXPECT_EQ(std::vector<int>({copied.intStartSpeed, copied.intEndSpeed, copied.intDuration,
                                        copied.intAccInterval, copied.intAccStep}),
                      std::vector<int>({32767, 32767, 32767, 32767, 255}));
            continue;
        }
        EXPECT_EQ(problem.value_or(QStringLiteral("copied")), QLatin1String(c.problem));
        EXPECT_EQ(copied.intStartSpeed, 0) << "the record stays as it was";
    }
}

TEST(Subjects, ListEachIdOnceAndAccumulateTheirTotals)
{
    SubjectList list;
    EXPECT_TRUE(list.add(QStringLiteral("M1")));
    EXPECT_TRUE(list.add(QStringLiteral("M1")));
    EXPECT_TRUE(list.add(QString()));
    EXPECT_EQ(list.indexOf(QStringLiteral("M1")), 0);
    EXPECT_FLOAT_EQ(list.accumulate(QStringLiteral("M1"), 10.5f), 10.5f);
    EXPECT_FLOAT_EQ(list.accumulate(QStringLiteral("M1"), 2.0f), 12.5f);
    // A default channel name gets a sum of its own.
    EXPECT_FLOAT_EQ(list.accumulate(QStringLiteral("Channel 2"), 3.0f), 3.0f);
    EXPECT_FLOAT_EQ(list.accumulate(QStringLiteral("Channel 2"), 3.0f), 6.0f);
    for (int i = 2; i < SubjectList::kEntries; ++i)
        ASSERT_TRUE(list.add(QStringLiteral("S%1").arg(i)));
    EXPECT_FALSE(list.add(QStringLiteral("one too many")));
    EXPECT_FLOAT_EQ(list.accumulate(QStringLiteral("one too many"), 4.0f), 4.0f);
    EXPECT_FLOAT_EQ(list.accumulate(QStringLiteral("one too many"), 4.0f), 4.0f);
}

TEST(Binding, PrefersTheWindowCountsDeviceThenTheLowestFreeOne)
{
    DeviceTable table{};
    for (int n : {1, 2, 3})
        table[n].intDevType = kDevTypeVelorix5;
    EXPECT_EQ(chooseExperimentDevice(table, 1, {}), 1);
    EXPECT_EQ(chooseExperimentDevice(table, 2, {2}), 1); // not two windows on one device
    EXPECT_EQ(chooseExperimentDevice(table, 4, {1}), 2); // record 4 is not configured
    EXPECT_EQ(chooseExperimentDevice(table, 4, {1, 2, 3}), std::nullopt);
    table = {};
    table[70].intDevType = kDevTypeVelorix5; // beyond the windows' 0..63
    EXPECT_EQ(chooseExperimentDevice(table, 70, {}), std::nullopt);
}

} // namespace
} // namespace velorix
