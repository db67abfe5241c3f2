#pragma once

// What the "Study Results" window works on, without widgets: the study
// read from a folder, its groups as edited, the figures kept up to date
// with both, the runs a filter lets through, and the files it writes
// (groups.csv and the two exports), each replaced whole or not at all.

#include "study/core/studygroups.h"
#include "study/core/studyreader.h"
#include "study/core/studysummary.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace velorix {

// Each text, when not empty, must be found in its field (case ignored);
// the date as the export writes it ("2026-12" matches that month).
struct RunFilter
{
    QString subject;
    QString group;
    QString date;
    [[nodiscard]] bool matches(const StudyRun &run) const;
};

class StudyResults
{
public:
    // The study in `folder`, with the groups of its groups.csv or of
    // `groupsFile` (where they are saved too).
    void read(const QString &folder, const StudyProgress &progress = {}, const QString &groupsFile = {});
    [[nodiscard]] const QString &folder() const { return m_folder; }

    [[nodiscard]] const std::vector<StudyRun> &runs() const { return m_study.runs; }
    [[nodiscard]] std::vector<const StudyRun *> runs(const RunFilter &filter) const;
    // What could not be read: in the data files and in groups.csv.
    [[nodiscard]] const std::vector<FileFault> &faults() const { return m_study.faults; }
    [[nodiscard]] const StudySummary &summary() const { return m_summary; }
    [[nodiscard]] const SummaryOptions &options() const { return m_options; }
    [[nodiscard]] QStringList subjects() const;
    [[nodiscard]] const StudyGroups &groups() const { return m_groups; }
    // "12 data files, 9 session logs, 1234 runs, 2 faults"
    [[nodiscard]] QString statusText() const;

    void setGroup(const QString &subject, const QString &group);
    void setCountStopped(bool count);
    [[nodiscard]] bool groupsChanged() const { return m_groupsChanged; }
    bool saveGroups(QString *why = nullptr);

    bool exportRuns(const QString &path, QString *why = nullptr) const;
    bool exportSummary(const QString &path, QString *why = nullptr) const;

private:
    void refigure();

    QString m_folder;
    QString m_groupsFile;
    StudyReading m_study;
    StudyGroups m_groups;
    SummaryOptions m_options;
    StudySummary m_summary;
    bool m_groupsChanged = false;
};

} // namespace velorix
