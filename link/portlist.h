#pragma once

// The port list: the system's serial ports, then the extra ports the program
// was told about. Extra ports are pseudo-terminals or links given by path
// (the built-in simulator's, the command-line tool's --port) and the paths
// stored under "ExtraPorts" in the "Settings" section of the settings store.

#include <QString>
#include <QStringList>

namespace velorix {

enum class PortPlacement { AfterSystemPorts, First };

// Adds a port by name or path for the rest of the run; a name already
// registered keeps its place unless it is now asked to come first.
void registerExtraPort(const QString &name, PortPlacement placement = PortPlacement::AfterSystemPorts);
void clearExtraPorts();

// The settings store's list: a string list, or one comma-separated string.
[[nodiscard]] QStringList storedExtraPorts();

// The current port list, each name once. Extra paths that do not exist
// (a link left over from a simulator that has stopped) are left out.
[[nodiscard]] QStringList portList();

} // namespace velorix
