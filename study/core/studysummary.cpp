#include "study/core/studysummary.h"

#include <cmath>
#include <map>
#include <numeric>
#include <tuple>

namespace velorix {

namespace {

EndTally endOf(const StudyRun &run)
{
    return EndTally{run.end == RunEnd::CutOff ? 1 : 0, run.end == RunEnd::Unknown ? 1 : 0};
}

// The daily figures of every subject, in the order of the runs (by
// subject, then time).
std::vector<SubjectDay> subjectDaysOf(const std::vector<StudyRun> &runs, const SummaryOptions &options)
{
    std::vector<SubjectDay> days;
    for (const StudyRun &run : runs) {
        if (!countsInFigures(run, options))
            continue;
        if (days.empty() || days.back().subject != run.subject || days.back().studyDay != run.studyDay) {
            SubjectDay day;
            day.subject = run.subject;
            day.group = run.group;
            day.studyDay = run.studyDay;
            day.date = run.date();
            days.push_back(day);
        }
        SubjectDay &day = days.back();
        day.mean += run.latency; // a sum until the day is complete
        day.best = day.trials == 0 ? run.latency : std::max(day.best, run.latency);
        ++day.trials;
        day.ends += endOf(run);
    }
    for (SubjectDay &day : days)
        day.mean /= day.trials;
    return days;
}

struct Values
{
    std::vector<double> values;
    EndTally ends;
};

std::vector<GroupPoint> groupPoints(const std::map<std::tuple<QString, int, int>, Values> &cells)
{
    std::vector<GroupPoint> points;
    for (const auto &[key, cell] : cells) {
        GroupPoint point = meanAndError(cell.values);
        std::tie(point.group, point.studyDay, point.trial) = key;
        point.ends = cell.ends;
        points.push_back(point);
    }
    return points;
}

std::vector<SubjectCurve> curvesOf(const std::vector<SubjectDay> &days)
{
    std::vector<SubjectCurve> curves;
    for (std::size_t i = 0; i < days.size(); ++i) {
        const SubjectDay &day = days[i];
        if (curves.empty() || curves.back().subject != day.subject) {
            curves.push_back(SubjectCurve{day.subject, day.group, 0, 0, {}});
        } else {
            const SubjectDay &before = days[i - 1];
            curves.back().area += (before.mean + day.mean) / 2 * (day.studyDay - before.studyDay);
        }
        ++curves.back().days;
        curves.back().ends += day.ends;
    }
    return curves;
}

} // namespace

bool countsInFigures(const StudyRun &run, const SummaryOptions &options)
{
    return options.countStopped || (run.end != RunEnd::StopButton && run.end != RunEnd::WindowClosed);
}

GroupPoint meanAndError(const std::vector<double> &values)
{
    GroupPoint point;
    point.subjects = int(values.size());
    if (values.empty())
        return point;
    const double n = double(values.size());
    point.mean = std::accumulate(values.begin(), values.end(), 0.0) / n;
    if (values.size() > 1) {
        double squares = 0;
        for (const double value : values)
            squares += (value - point.mean) * (value - point.mean);
        point.sem = std::sqrt(squares / (n - 1)) / std::sqrt(n);
    }
    return point;
}

StudySummary summarise(const std::vector<StudyRun> &runs, const SummaryOptions &options)
{
    StudySummary summary;
    summary.subjectDays = subjectDaysOf(runs, options);

    std::map<std::tuple<QString, int, int>, Values> days;
    for (const SubjectDay &day : summary.subjectDays) {
        Values &cell = days[{day.group, day.studyDay, 0}];
        cell.values.push_back(day.mean);
        cell.ends += day.ends;
    }
    summary.groupDays = groupPoints(days);

    std::map<std::tuple<QString, int, int>, Values> trials;
    for (const StudyRun &run : runs) {
        if (!countsInFigures(run, options)) {
            ++summary.leftOut;
            continue;
        }
        Values &cell = trials[{run.group, run.studyDay, run.trial}];
        cell.values.push_back(run.latency);
        cell.ends += endOf(run);
    }
    summary.groupTrials = groupPoints(trials);
    summary.subjects = curvesOf(summary.subjectDays);
    return summary;
}

} // namespace velorix
