#pragma once

// A study's figures from its runs: per subject and day, per group and day
// (the mean of the subjects' daily means with its standard error), per
// group, day and trial, and per subject the area under its learning curve.
//
// A run known to have ended by "Stop Experiment" or a closed window says
// nothing of the subject's latency and is left out unless asked for; a
// cut-off run counts with its run time, and so does a run whose end is not
// known (a data file without its session log). Every figure says how many
// cut-off and unknown runs it holds.

#include "study/core/studyrun.h"

#include <optional>
#include <vector>

namespace velorix {

struct SummaryOptions
{
    bool countStopped = false; // count runs ended by "Stop Experiment" or a closed window
};

// How many of a figure's runs were cut off, and how many ended unknown.
struct EndTally
{
    int cutOff = 0;
    int unknown = 0;
    EndTally &operator+=(const EndTally &other)
    {
        cutOff += other.cutOff;
        unknown += other.unknown;
        return *this;
    }
};

struct SubjectDay
{
    QString subject;
    QString group;
    int studyDay = 0;
    QDate date;
    int trials = 0;
    double mean = 0; // latency, s
    double best = 0; // the longest latency of the day, s
    EndTally ends;
};

// Across subjects: the mean of their values and its standard error (the
// standard deviation over the square root of their number; none for one).
struct GroupPoint
{
    QString group;
    int studyDay = 0;
    int trial = 0; // 0 for a day's figure
    int subjects = 0;
    double mean = 0;
    std::optional<double> sem;
    EndTally ends;
};

struct SubjectCurve
{
    QString subject;
    QString group;
    int days = 0;
    // The area under the daily means over study days (trapezoid rule, one
    // unit a study day); 0 with one day.
    double area = 0;
    EndTally ends;
};

struct StudySummary
{
    std::vector<SubjectDay> subjectDays; // by subject, then day
    std::vector<GroupPoint> groupDays;   // by group, then day
    std::vector<GroupPoint> groupTrials; // by group, day, then trial
    std::vector<SubjectCurve> subjects;  // by subject
    int leftOut = 0;                     // runs ended by "Stop Experiment" or a closed window, not counted
};

[[nodiscard]] bool countsInFigures(const StudyRun &run, const SummaryOptions &options);
[[nodiscard]] StudySummary summarise(const std::vector<StudyRun> &runs, const SummaryOptions &options = {});
// The mean and standard error of the values (none for fewer than two).
[[nodiscard]] GroupPoint meanAndError(const std::vector<double> &values);

} // namespace velorix
