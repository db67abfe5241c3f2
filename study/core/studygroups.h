#pragma once

// Which group each subject is in, kept in "groups.csv" in the study's
// folder: a header line "subject,group", then one subject a line. A
// subject the file does not name is in "(none)".

#include "study/core/studyrun.h"

#include <QString>

#include <map>
#include <vector>

namespace velorix {

class StudyGroups
{
public:
    static QString noGroup() { return QStringLiteral("(none)"); }
    [[nodiscard]] static QString fileIn(const QString &folder);

    [[nodiscard]] QString groupOf(const QString &subject) const;
    // An empty group (or "(none)") takes the subject out of its group.
    void set(const QString &subject, const QString &group);
    [[nodiscard]] const std::map<QString, QString> &all() const { return m_groups; }

    // Reads the file; a missing one names no groups. A line that is not
    // "subject,group" is listed in `faults` and passed over. False when
    // the file is there but cannot be read.
    bool read(const QString &path, std::vector<FileFault> &faults);
    // Replaces the file as a whole (UTF-8, subjects in order); false with
    // the reason in `why`.
    bool write(const QString &path, QString *why = nullptr) const;

    // Every run's group from this table.
    void applyTo(std::vector<StudyRun> &runs) const;

private:
    std::map<QString, QString> m_groups;
};

} // namespace velorix
