#pragma once

// At start-up: the session logs whose last session never ended (the
// program was killed or the computer stopped while a run was on) are
// told to the operator once, with the runs that have no row, and each
// such log is closed with a line that says so.

#include "experiment/core/sessionlogreader.h"
#include "model/prompter.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <vector>

namespace velorix {

struct InterruptedSession
{
    QString logFile;
    LoggedSession session; // the last one of the log
    bool closed = false;   // the line that ends it was written
};

// Every session log "<name>.log" in `folder` (not below it, where the data
// recovery does not look either) whose last session has no end line.
[[nodiscard]] std::vector<InterruptedSession> findInterruptedSessions(const QString &folder);

// Adds the end line to each log, stamped by `clock`: told once, never
// again at the next start.
void closeInterruptedSessions(std::vector<InterruptedSession> &sessions, std::function<QDateTime()> clock);

// What the operator is told about them, in one message.
[[nodiscard]] MessageRequest interruptedSessionsMessage(const std::vector<InterruptedSession> &sessions);

} // namespace velorix
