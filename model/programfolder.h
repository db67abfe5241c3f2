#pragma once

#include <QString>

namespace velorix {

// The folder that holds the executable and the factory copies of the
// configuration files, without a trailing separator, whatever the working
// folder the program was started from.
[[nodiscard]] QString programFolder();

// Where `config` and `Data` live. Normally the program folder; when that
// folder cannot be written (a system-wide install), the platform's per-user
// data folder instead, so that the device table and the data files still
// have a home. The factory copies are still read from programFolder().
[[nodiscard]] QString workingFolder();

// The decision behind workingFolder(), for explicit folders: the program
// folder when it is an existing, writable folder, else the per-user folder.
// Neither folder is created.
[[nodiscard]] QString workingFolderFor(const QString &programFolder, const QString &perUserFolder);

// Sets strDataPath and strDevIniPath below workingFolder().
void setupWorkingPaths();

} // namespace velorix
