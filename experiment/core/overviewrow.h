#pragma once

// One experiment window at a glance, for the overview of all of them: what
// its view shows of the run and what its recorder knows of the data file,
// read only. Nothing here talks to the device.

#include "model/deviceinfo.h"

#include <QString>

#include <array>

namespace velorix {

class ExpController;

struct OverviewRow
{
    int device = 0;
    int address = 0;
    QString dataFile; // the whole name; empty before a file is chosen
    QString session;  // "running 1:02:05", "idle", "uploading", ...
    QString trial;    // the status bar's trial text
    // "Running  M12  12.3": the channel's state, subject and time shown.
    std::array<QString, kChannels> channels;
    int errors = 0;     // commands that failed since the window opened
    bool onDisk = true; // every recorded row is in the data file
};

[[nodiscard]] OverviewRow overviewRowOf(ExpController &controller);

} // namespace velorix
