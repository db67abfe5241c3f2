#include "study/core/studyresults.h"

#include "base/safefile.h"
#include "study/core/studyexport.h"

namespace velorix {

bool RunFilter::matches(const StudyRun &run) const
{
    const auto found = [](const QString &text, const QString &in) {
        return text.isEmpty() || in.contains(text.trimmed(), Qt::CaseInsensitive);
    };
    return found(subject, run.subject) && found(group, run.group)
            && found(date, run.start.toString(QStringLiteral("yyyy-MM-dd")));
}

void StudyResults::read(const QString &folder, const StudyProgress &progress, const QString &groupsFile)
{
    m_folder = folder;
    m_groupsFile = groupsFile.isEmpty() ? StudyGroups::fileIn(folder) : groupsFile;
    m_study = readStudy(folder, progress);
    m_groups.read(m_groupsFile, m_study.faults);
    m_groupsChanged = false;
    refigure();
}

std::vector<const StudyRun *> StudyResults::runs(const RunFilter &filter) const
{
    std::vector<const StudyRun *> shown;
    for (const StudyRun &run : m_study.runs) {
        if (filter.matches(run))
            shown.push_back(&run);
    }
    return shown;
}

QStringList StudyResults::subjects() const
{
    // The runs are in the subjects' order already.
    QStringList names;
    for (const StudyRun &run : m_study.runs) {
        if (names.isEmpty() || names.last() != run.subject)
            names << run.subject;
    }
    return names;
}

QString StudyResults::statusText() const
{
    return QStringLiteral("%1 data files, %2 session logs, %3 runs, %4 faults")
            .arg(m_study.dataFiles)
            .arg(m_study.sessionLogs)
            .arg(m_study.runs.size())
            .arg(m_study.faults.size());
}

void StudyResults::setGroup(const QString &subject, const QString &group)
{
    const QString before = m_groups.groupOf(subject);
    m_groups.set(subject, group);
    if (m_groups.groupOf(subject) == before)
        return;
    m_groupsChanged = true;
    refigure();
}

void StudyResults::setCountStopped(bool count)
{
    m_options.countStopped = count;
    refigure();
}

bool StudyResults::saveGroups(QString *why)
{
    if (!m_groups.write(m_groupsFile, why))
        return false;
    m_groupsChanged = false;
    return true;
}

bool StudyResults::exportRuns(const QString &path, QString *why) const
{
    return replaceFile(path, runsCsv(m_study.runs), why);
}

bool StudyResults::exportSummary(const QString &path, QString *why) const
{
    return replaceFile(path, summaryCsv(m_summary), why);
}

void StudyResults::refigure()
{
    m_groups.applyTo(m_study.runs);
    m_summary = summarise(m_study.runs, m_options);
}

} // namespace velorix
