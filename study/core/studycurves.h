#pragma once

// The learning curves a study's figures draw: each group's mean latency
// with its standard error over study days, or over the trials of one day,
// and each subject's own line beside them when asked for.

#include "study/core/studysummary.h"

#include <QString>

#include <optional>
#include <vector>

namespace velorix {

enum class CurveAxis {
    StudyDays,
    TrialsOfDay
};

struct CurvePoint
{
    double x = 0; // the study day or the trial
    double mean = 0;
    std::optional<double> sem;
};

struct Curve
{
    QString name;  // the group, or the subject
    QString group; // a subject's group; the group itself for a group's curve
    bool subject = false;
    std::vector<CurvePoint> points;
};

struct CurveChoice
{
    CurveAxis axis = CurveAxis::StudyDays;
    int day = 1; // for TrialsOfDay
    bool eachSubject = false;
};

// The groups' curves first (in the groups' order), then the subjects'.
[[nodiscard]] std::vector<Curve> learningCurves(const StudySummary &summary,
                                                const std::vector<StudyRun> &runs, const CurveChoice &choice,
                                                const SummaryOptions &options = {});
[[nodiscard]] QString curveAxisTitle(const CurveChoice &choice);
// The days on which any run counted, for the choice of a day's trials.
[[nodiscard]] int lastStudyDay(const StudySummary &summary);

} // namespace velorix
