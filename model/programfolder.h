#pragma once

#include <QString>

namespace velorix {

// The folder that holds the executable and the factory copies of the
// configuration files, without a trailing separator, whatever the working
// folder the program was started from.
[[nodiscard]] QString programFolder();

// A file of this name beside the executable says "keep config and Data in
// the per-user data folder". The Debian package installs it: its program
// folder belongs to the package manager, and root, who can write anywhere,
// must not fill it either. A program folder of one's own (./run.sh's
// install, the build tree) has no marker.
inline constexpr char kPerUserDataMarker[] = "per-user-data";

// Where `config` and `Data` live. Normally the program folder; when that
// folder carries the marker above or cannot be written (a system-wide
// install), the platform's per-user data folder instead, so that the device
// table and the data files still have a home. The factory copies are still
// read from programFolder().
[[nodiscard]] QString workingFolder();

// The decision behind workingFolder(), for explicit folders: the program
// folder when it is an existing, writable folder without the marker, else
// the per-user folder. Neither folder is created.
[[nodiscard]] QString workingFolderFor(const QString &programFolder, const QString &perUserFolder);

// Sets strDataPath and strDevIniPath below workingFolder().
void setupWorkingPaths();

} // namespace velorix
