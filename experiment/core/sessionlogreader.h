#pragma once

// Reads a session log (sessionlog.h) back into its sessions: when each
// began and on which data file, the runs it recorded, the channels its
// last start set going with their subject IDs, the line that ended it,
// and its device and set-up. Lines of other kinds (device errors, resets)
// and lines that are not whole (a crash cut them short) are passed over.

#include "experiment/core/sessionlog.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace velorix {

// One "Run recorded" line.
struct LoggedRun
{
    int channel = 0; // 1 to 4
    QString subject;
    QString started; // the row's start time, as the data file has it
    double runTime = 0;
    double speed = 0;
    QString units;
    double rotationTime = 0;
    double rotationSpeed = 0;
    double total = 0;
    bool speedFromRamp = false; // no reading of the wheel speed was near the fall
    RunEnd end = RunEnd::Unknown;
};

// A channel set going by the session's last start.
struct LoggedChannel
{
    int channel = 0; // 1 to 4
    QString subject;
    bool recorded = false; // a run of it was recorded after that start
};

struct LoggedSession
{
    QDateTime began;
    QString dataFile;
    bool appending = false;
    // From the session's first lines: the device's number and address (0
    // when not logged), and the set-up fields as logged, without
    // "Set-up: " ("Start Speed 4.0 RPM").
    int deviceNumber = 0;
    int address = 0;
    QStringList setup;
    bool started = false; // the experiment started on the device
    // False when the last start names no channels (a log written before
    // the channels were noted): which ran is not known then.
    bool channelsKnown = true;
    std::vector<LoggedChannel> running;
    std::vector<LoggedRun> runs;
    QString endLine; // the text of the line that ended it; empty: it never ended

    [[nodiscard]] bool ended() const { return !endLine.isEmpty(); }
    // The channels of the last start with no run recorded since, with the
    // subject IDs their rows would have carried; empty when not known.
    [[nodiscard]] std::optional<std::vector<LoggedChannelId>> unrecorded() const;
};

// The sessions of a log's lines, oldest first.
[[nodiscard]] std::vector<LoggedSession> readSessionLog(const QStringList &lines);
// The same from a file; false when it cannot be read.
[[nodiscard]] bool readSessionLogFile(const QString &path, std::vector<LoggedSession> &sessions);

} // namespace velorix
