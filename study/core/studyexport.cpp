#include "study/core/studyexport.h"

#include "study/core/csvfields.h"

namespace velorix {

namespace {

QString isoTime(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
}

QString isoDate(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString numberOrEmpty(const std::optional<double> &value)
{
    return value ? exportNumber(*value) : QString();
}

QString count(int n)
{
    return QString::number(n);
}

void addLine(QByteArray &text, const QStringList &cells)
{
    text += csv::record(cells).toUtf8();
    text += '\n';
}

// One summary row: the level's own cells, the others empty.
struct SummaryRow
{
    QString level, group, subject;
    int studyDay = 0;
    int trial = 0;
    QDate date;
    int subjects = 0;
    int trials = 0;
    int days = 0;
    std::optional<double> mean, best, sem, area;
    EndTally ends;

    [[nodiscard]] QStringList cells() const
    {
        const auto positive = [](int n) { return n > 0 ? QString::number(n) : QString(); };
        return {level,
                group,
                subject,
                positive(studyDay),
                positive(trial),
                date.isValid() ? isoDate(date) : QString(),
                positive(subjects),
                positive(trials),
                positive(days),
                numberOrEmpty(mean),
                numberOrEmpty(best),
                numberOrEmpty(sem),
                numberOrEmpty(area),
                count(ends.cutOff),
                count(ends.unknown)};
    }
};

SummaryRow groupRow(const char *level, const GroupPoint &point)
{
    SummaryRow row;
    row.level = QLatin1String(level);
    row.group = point.group;
    row.studyDay = point.studyDay;
    row.trial = point.trial;
    row.subjects = point.subjects;
    row.mean = point.mean;
    row.sem = point.sem;
    row.ends = point.ends;
    return row;
}

} // namespace

QStringList runsExportHeader()
{
    return {QStringLiteral("subject"),
            QStringLiteral("group"),
            QStringLiteral("date"),
            QStringLiteral("study_day"),
            QStringLiteral("days_since_first"),
            QStringLiteral("trial"),
            QStringLiteral("device"),
            QStringLiteral("address"),
            QStringLiteral("channel"),
            QStringLiteral("start_time"),
            QStringLiteral("latency_s"),
            QStringLiteral("speed_at_end"),
            QStringLiteral("rotation_time_s"),
            QStringLiteral("rotation_speed"),
            QStringLiteral("units"),
            QStringLiteral("start_speed"),
            QStringLiteral("end_speed"),
            QStringLiteral("acc_interval_s"),
            QStringLiteral("acc_step"),
            QStringLiteral("duration_s"),
            QStringLiteral("wheel"),
            QStringLiteral("direction"),
            QStringLiteral("setup_from"),
            QStringLiteral("run_end"),
            QStringLiteral("file"),
            QStringLiteral("line")};
}

QStringList summaryExportHeader()
{
    return {QStringLiteral("level"),
            QStringLiteral("group"),
            QStringLiteral("subject"),
            QStringLiteral("study_day"),
            QStringLiteral("trial"),
            QStringLiteral("date"),
            QStringLiteral("subjects"),
            QStringLiteral("trials"),
            QStringLiteral("days"),
            QStringLiteral("mean_latency_s"),
            QStringLiteral("best_latency_s"),
            QStringLiteral("sem_s"),
            QStringLiteral("auc_s_days"),
            QStringLiteral("cut_off_runs"),
            QStringLiteral("unknown_end_runs")};
}

QByteArray csvHeaderLine(const QStringList &header)
{
    QByteArray text;
    addLine(text, header);
    return text;
}

QString exportNumber(double value)
{
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QStringList runExportCells(const StudyRun &run)
{
    const RunSetup &setup = run.setup;
    return {run.subject,
            run.group,
            isoDate(run.date()),
            count(run.studyDay),
            count(run.daysSinceFirst),
            count(run.trial),
            count(run.deviceNumber),
            count(run.address),
            count(run.channel),
            isoTime(run.start),
            exportNumber(run.latency),
            exportNumber(run.speed),
            exportNumber(run.rotationTime),
            exportNumber(run.rotationSpeed),
            run.units,
            exportNumber(setup.startSpeed),
            exportNumber(setup.endSpeed),
            exportNumber(setup.accInterval),
            exportNumber(setup.accStep),
            count(setup.duration),
            setup.wheel,
            setup.direction,
            setup.fromLog ? QStringLiteral("session_log") : QStringLiteral("file_header"),
            runEndCode(run.end),
            run.file,
            count(run.line)};
}

QByteArray runsCsv(const std::vector<StudyRun> &runs)
{
    QByteArray text = csvHeaderLine(runsExportHeader());
    for (const StudyRun &run : runs)
        addLine(text, runExportCells(run));
    return text;
}

QByteArray summaryCsv(const StudySummary &summary)
{
    QByteArray text = csvHeaderLine(summaryExportHeader());
    for (const SubjectDay &day : summary.subjectDays) {
        SummaryRow row;
        row.level = QStringLiteral("subject_day");
        row.group = day.group;
        row.subject = day.subject;
        row.studyDay = day.studyDay;
        row.date = day.date;
        row.trials = day.trials;
        row.mean = day.mean;
        row.best = day.best;
        row.ends = day.ends;
        addLine(text, row.cells());
    }
    for (const GroupPoint &point : summary.groupDays)
        addLine(text, groupRow("group_day", point).cells());
    for (const GroupPoint &point : summary.groupTrials)
        addLine(text, groupRow("group_trial", point).cells());
    for (const SubjectCurve &curve : summary.subjects) {
        SummaryRow row;
        row.level = QStringLiteral("subject");
        row.group = curve.group;
        row.subject = curve.subject;
        row.days = curve.days;
        row.area = curve.area;
        row.ends = curve.ends;
        addLine(text, row.cells());
    }
    return text;
}

} // namespace velorix
