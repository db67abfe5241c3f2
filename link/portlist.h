#pragma once

// The port list: the system's serial ports, then the extra ports the program
// was told about. Extra ports are pseudo-terminals or links given by path
// (the built-in simulator's, the command-line tool's --port) and the paths
// stored under "ExtraPorts" in the "Settings" section of the settings store.

#include <QString>
#include <QStringList>

namespace velorix {

enum class PortPlacement {
    AfterSystemPorts,
    First
};

// Adds a port by name or path for the rest of the run; a name already
// registered keeps its place unless it is now asked to come first.
void registerExtraPort(const QString &name, PortPlacement placement = PortPlacement::AfterSystemPorts);
void clearExtraPorts();

// The settings store's list: a string list, or one comma-separated string.
[[nodiscard]] QStringList storedExtraPorts();

// What the operator reads when the system refuses to open a port for lack
// of permission. On Linux serial devices belong to the group dialout, so the
// text names the fix: "Permission denied on /dev/ttyUSB0. Add your user to
// the dialout group (...), then log out and in again." `port` is a name of
// the port list or a path.
[[nodiscard]] QString permissionDeniedText(const QString &port);

// Whether a refusal's number (PortError::number) is the port component's
// permission error.
[[nodiscard]] bool isPermissionDenied(int portErrorNumber);

// The current port list, each name once. Extra paths that do not exist
// (a link left over from a simulator that has stopped) are left out.
[[nodiscard]] QStringList portList();

} // namespace velorix
