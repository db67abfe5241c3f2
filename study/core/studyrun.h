#pragma once

// One recorded run as the study sees it, and a fault found in the files.

#include "experiment/core/sessionlog.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <vector>

namespace velorix {

// The set-up a run ran with, in the data file's own units.
struct RunSetup
{
    double startSpeed = 0;
    double endSpeed = 0;
    double accInterval = 0; // s
    double accStep = 0;
    int duration = 0;  // s; 0: no limit
    QString wheel;     // "Mouse Wheel" or "Rat Wheel"
    QString direction; // "CW" or "CCW"
    // From the run's own session in the session log; otherwise from the
    // data file's header, which describes the file's first session.
    bool fromLog = false;
};

struct StudyRun
{
    QString subject;
    QString group; // "(none)" when groups.csv names none
    QDateTime start;
    int studyDay = 0;       // the n-th date on which the subject ran, from 1
    int daysSinceFirst = 0; // calendar days since the subject's first run
    int trial = 0;          // the n-th run of the subject that day, from 1
    int deviceNumber = 0;
    int address = 0;
    int channel = 0;    // 1 to 4
    double latency = 0; // the run time, s
    double speed = 0;   // at the end of the run
    double rotationTime = 0;
    double rotationSpeed = 0;
    QString units; // "RPM" or "cm/s"
    RunSetup setup;
    RunEnd end = RunEnd::Unknown; // Unknown also without a session log
    QString file;                 // relative to the study's folder
    int line = 0;                 // of the data file, from 1

    [[nodiscard]] QDate date() const { return start.date(); }
};

// A line of a file the study could not take as it stands; line 0: the
// whole file.
struct FileFault
{
    QString file;
    int line = 0;
    QString text;
};

// Subject IDs in the order people count them: "M2" before "M10".
[[nodiscard]] bool subjectBefore(const QString &a, const QString &b);

// The short word for how a run ended, as the export writes it: "fall",
// "cut_off", "stop_button", "window_closed", "last_good_reply", "unknown".
[[nodiscard]] QString runEndCode(RunEnd end);

} // namespace velorix
