#include "study/core/studyreader.h"

#include "experiment/core/expdatafile.h"
#include "experiment/core/sessionlogreader.h"
#include "study/core/datafilereader.h"
#include "study/core/studyexport.h"
#include "study/core/studygroups.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <map>

namespace velorix {

namespace {

// How far past the last matched run a row's line is looked for in its
// log: lines the log could not write leave gaps, rows older than the log
// have none at all, and the search must stay short for a long file.
constexpr std::size_t kLookahead = 64;

struct LoggedRunOf
{
    const LoggedRun *run;
    const LoggedSession *session;
};

bool sameRun(const DataFileRow &row, const LoggedRun &logged)
{
    return logged.channel == row.channel && logged.subject == row.subject && logged.started == row.startText
            && std::abs(logged.runTime - row.runTime) < 0.05;
}

// A logged set-up field's number ("4.0 RPM", "300 s (no limit)").
double loggedNumber(const QString &value)
{
    return value.section(QLatin1Char(' '), 0, 0).toDouble();
}

// The session's set-up as it logged it, over the header's.
RunSetup loggedSetup(const LoggedSession &session, RunSetup setup, QString &units)
{
    if (session.setup.isEmpty())
        return setup;
    for (const QString &field : session.setup) {
        const auto value = [&field](const char *name) -> std::optional<QString> {
            const QLatin1String prefix(name);
            if (!field.startsWith(prefix))
                return std::nullopt;
            return field.mid(prefix.size());
        };
        if (const auto v = value("Start Speed "))
            setup.startSpeed = loggedNumber(*v);
        else if (const auto v = value("End Speed "))
            setup.endSpeed = loggedNumber(*v);
        else if (const auto v = value("Acceleration Interval "))
            setup.accInterval = loggedNumber(*v);
        else if (const auto v = value("Acceleration Step Speed "))
            setup.accStep = loggedNumber(*v);
        else if (const auto v = value("Session Duration "))
            setup.duration = static_cast<int>(std::lround(loggedNumber(*v)));
        else if (const auto v = value("Wheel Type "))
            setup.wheel = *v;
        else if (const auto v = value("Wheel Rotation "))
            setup.direction = *v;
        else if (const auto v = value("Speed Units "))
            units = *v;
    }
    setup.fromLog = true;
    return setup;
}

std::vector<LoggedRunOf> loggedRuns(const std::vector<LoggedSession> &sessions)
{
    std::vector<LoggedRunOf> runs;
    for (const LoggedSession &session : sessions) {
        for (const LoggedRun &run : session.runs)
            runs.push_back(LoggedRunOf{&run, &session});
    }
    return runs;
}

// The study's own files in the folder, which are not data files.
bool isStudyExport(const QByteArray &bytes)
{
    for (const QStringList &header : {runsExportHeader(), summaryExportHeader()}) {
        const QByteArray line = csvHeaderLine(header);
        if (bytes.startsWith(line))
            return true;
    }
    return false;
}

class FileReader
{
public:
    FileReader(const QString &folder, StudyReading &reading) : m_folder(folder), m_reading(reading) {}

    void read(const QString &path)
    {
        const QString shown = QDir(m_folder).relativeFilePath(path);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            fault(shown, 0, QStringLiteral("cannot be read: ") + file.errorString());
            return;
        }
        const QByteArray bytes = file.readAll();
        if (isStudyExport(bytes))
            return;
        const DataFileReading data = readDataFileBytes(bytes);
        for (const FileFault &each : data.faults)
            fault(shown, each.line, each.text);
        if (!data.isDataFile)
            return;
        ++m_reading.dataFiles;

        std::vector<LoggedSession> sessions;
        const QString logPath = datafile::logNameFor(path);
        if (QFile::exists(logPath)) {
            if (readSessionLogFile(logPath, sessions))
                ++m_reading.sessionLogs;
            else
                fault(QDir(m_folder).relativeFilePath(logPath), 0, QStringLiteral("cannot be read"));
        }
        take(data, sessions, shown);
    }

private:
    void fault(const QString &file, int line, const QString &text)
    {
        m_reading.faults.push_back(FileFault{file, line, text});
    }

    void take(const DataFileReading &data, const std::vector<LoggedSession> &sessions, const QString &shown)
    {
        const std::vector<LoggedRunOf> logged = loggedRuns(sessions);
        std::size_t next = 0;
        for (const DataFileRow &row : data.rows) {
            StudyRun run;
            run.subject = row.subject;
            run.group = StudyGroups::noGroup();
            run.start = row.start;
            run.channel = row.channel;
            run.latency = row.runTime;
            run.speed = row.speed;
            run.rotationTime = row.rotationTime;
            run.rotationSpeed = row.rotationSpeed;
            run.deviceNumber = data.header.deviceNumber;
            run.address = data.header.address;
            run.units = data.header.units;
            run.setup = data.header.setup;
            run.file = shown;
            run.line = row.line;
            const std::size_t last = std::min(logged.size(), next + kLookahead);
            for (std::size_t k = next; k < last; ++k) {
                if (!sameRun(row, *logged[k].run))
                    continue;
                const LoggedSession &session = *logged[k].session;
                run.end = logged[k].run->end;
                run.setup = loggedSetup(session, run.setup, run.units);
                if (session.address > 0) {
                    run.deviceNumber = session.deviceNumber;
                    run.address = session.address;
                }
                next = k + 1;
                break;
            }
            m_reading.runs.push_back(std::move(run));
        }
    }

    QString m_folder;
    StudyReading &m_reading;
};

// A subject whose speeds are in other units in one file than in another:
// the first row of each such file is listed.
void listMixedUnits(StudyReading &reading)
{
    std::map<QString, const StudyRun *> first;        // each subject's first run
    std::map<std::pair<QString, QString>, bool> told; // subject, file
    for (const StudyRun &run : reading.runs) {
        const auto [at, isNew] = first.try_emplace(run.subject, &run);
        const StudyRun &earlier = *at->second;
        if (isNew || run.units == earlier.units || told[{run.subject, run.file}])
            continue;
        told[{run.subject, run.file}] = true;
        reading.faults.push_back(
                FileFault{run.file, run.line,
                          QStringLiteral("subject %1 has speeds in %2 here but in %3 in %4 (line %5)")
                                  .arg(run.subject, run.units, earlier.units, earlier.file)
                                  .arg(earlier.line)});
    }
}

} // namespace

QStringList studyFilesIn(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, {QStringLiteral("*.csv"), QStringLiteral("*.CSV")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFileInfo(path).fileName().compare(QLatin1String("groups.csv"), Qt::CaseInsensitive) != 0)
            files << path;
    }
    files.removeDuplicates();
    files.sort();
    return files;
}

void numberStudyRuns(std::vector<StudyRun> &runs)
{
    std::sort(runs.begin(), runs.end(), [](const StudyRun &a, const StudyRun &b) {
        if (a.subject != b.subject)
            return subjectBefore(a.subject, b.subject);
        return std::tie(a.start, a.file, a.line) < std::tie(b.start, b.file, b.line);
    });
    for (std::size_t i = 0; i < runs.size(); ++i) {
        StudyRun &run = runs[i];
        const bool newSubject = i == 0 || runs[i - 1].subject != run.subject;
        const StudyRun *previous = newSubject ? nullptr : &runs[i - 1];
        if (!previous) {
            run.studyDay = 1;
            run.trial = 1;
            run.daysSinceFirst = 0;
            continue;
        }
        const bool sameDay = previous->date() == run.date();
        run.studyDay = previous->studyDay + (sameDay ? 0 : 1);
        run.trial = sameDay ? previous->trial + 1 : 1;
        run.daysSinceFirst = int(previous->date().daysTo(run.date())) + previous->daysSinceFirst;
    }
}

StudyReading readStudy(const QString &folder, const StudyProgress &progress)
{
    StudyReading reading;
    if (!QFileInfo(folder).isDir()) {
        reading.faults.push_back(FileFault{folder, 0, QStringLiteral("no such folder")});
        return reading;
    }
    const QStringList files = studyFilesIn(folder);
    FileReader reader(folder, reading);
    for (qsizetype i = 0; i < files.size(); ++i) {
        reader.read(files[i]);
        if (progress && !progress(int(i + 1), int(files.size())))
            break;
    }
    numberStudyRuns(reading.runs);
    listMixedUnits(reading);
    return reading;
}

} // namespace velorix
