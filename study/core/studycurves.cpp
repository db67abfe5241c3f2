#include "study/core/studycurves.h"

namespace velorix {

namespace {

Curve &curveFor(std::vector<Curve> &curves, const QString &name, const QString &group, bool subject)
{
    if (curves.empty() || curves.back().name != name || curves.back().subject != subject)
        curves.push_back(Curve{name, group, subject, {}});
    return curves.back();
}

} // namespace

std::vector<Curve> learningCurves(const StudySummary &summary, const std::vector<StudyRun> &runs,
                                  const CurveChoice &choice, const SummaryOptions &options)
{
    std::vector<Curve> curves;
    const bool overDays = choice.axis == CurveAxis::StudyDays;
    for (const GroupPoint &point : overDays ? summary.groupDays : summary.groupTrials) {
        if (!overDays && point.studyDay != choice.day)
            continue;
        curveFor(curves, point.group, point.group, false)
                .points.push_back(
                        CurvePoint{double(overDays ? point.studyDay : point.trial), point.mean, point.sem});
    }
    if (!choice.eachSubject)
        return curves;
    if (overDays) {
        for (const SubjectDay &day : summary.subjectDays)
            curveFor(curves, day.subject, day.group, true)
                    .points.push_back(CurvePoint{double(day.studyDay), day.mean, {}});
    } else {
        for (const StudyRun &run : runs) {
            if (run.studyDay == choice.day && countsInFigures(run, options))
                curveFor(curves, run.subject, run.group, true)
                        .points.push_back(CurvePoint{double(run.trial), run.latency, {}});
        }
    }
    return curves;
}

QString curveAxisTitle(const CurveChoice &choice)
{
    return choice.axis == CurveAxis::StudyDays ? QStringLiteral("Study day")
                                               : QStringLiteral("Trial on study day %1").arg(choice.day);
}

int lastStudyDay(const StudySummary &summary)
{
    int last = 0;
    for (const GroupPoint &point : summary.groupDays)
        last = std::max(last, point.studyDay);
    return last;
}

} // namespace velorix
