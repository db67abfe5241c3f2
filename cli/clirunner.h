#pragma once

// velorix-cli --port PORT COMMAND [ARGS...]   one device command
// velorix-cli ports                          the port list
// velorix-cli help [COMMAND]                 every command with its arguments, or one
// velorix-cli results FOLDER ...             a study's results (resultscommand.h)
//
// Prints the result code on the first line and, on success, what the
// command read on the second; a failed command's meaning goes to standard
// error, so that standard output stays the bare code for scripts. Exit status: 0 for result 0, 1 for any other
// result, 2 for a usage error or a port that cannot be opened.

#include "cli/resultscommand.h"

#include <QStringList>
#include <QTextStream>

namespace velorix {

constexpr int kCliSuccess = 0;
constexpr int kCliCommandFailed = 1;
constexpr int kCliUsageError = 2;

int runCli(const QStringList &arguments, const CurvePlotter &plotter = {});
int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err,
           const CurvePlotter &plotter = {});

// The names of the device commands, in the help's order.
[[nodiscard]] QStringList cliCommandNames();

} // namespace velorix
