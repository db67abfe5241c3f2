#pragma once

// Reads a study: every data file in a folder and its sub-folders, with the
// session log beside each where there is one, into one list of runs, each
// numbered by study day and trial, and the list of what in the files could
// not be taken. The reading never stops at a bad file: it lists it and
// goes on.

#include "study/core/studyrun.h"

#include <QString>

#include <functional>
#include <vector>

namespace velorix {

struct StudyReading
{
    std::vector<StudyRun> runs; // by subject, then in the order they ran
    std::vector<FileFault> faults;
    int dataFiles = 0;
    int sessionLogs = 0;
};

// Told after each file, with the files read and the files in all; false
// stops the reading (what was read so far is kept).
using StudyProgress = std::function<bool(int done, int total)>;

// The runs' groups are left "(none)": see StudyGroups::applyTo.
[[nodiscard]] StudyReading readStudy(const QString &folder, const StudyProgress &progress = {});

// The .csv files under the folder, sorted, that may be data files: all but
// groups.csv and the study's own exports.
[[nodiscard]] QStringList studyFilesIn(const QString &folder);

// Numbers the runs by study day and trial and sorts them by subject and
// time (then file and line).
void numberStudyRuns(std::vector<StudyRun> &runs);

} // namespace velorix
