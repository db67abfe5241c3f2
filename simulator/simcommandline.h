#pragma once

// The command line of velorix-sim, read into a SimConfig.
//
//   --link PATH             symlink to the pseudo-terminal (removed on exit)
//   --device ADDR[:VERSION] a device, repeatable (default 128..131 at 2.20)
//   --seed N                random falls from seed N (default 1 without --script)
//   --script FILE           scripted falls, lines "ADDR CHANNEL FALL_SECONDS [ROT_SECONDS]";
//                           with --seed, random falls follow the script
//   --time-scale X          device seconds per real second (default 1)
//   --wire-timing on|off    19200-baud byte times on the line (default on)
//   --latency MS            processing time before a reply (default 2)
//   --fault-noreply R ... --fault-stray R   fault rates per reply, 0 to 1
//   --new-firmware VERSION  version run after a firmware transfer
//   --log                   print every frame

#include "simulator/simconfig.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace velorix::sim {

struct CommandLine
{
    std::optional<SimConfig> config; // empty on an error or for --help
    bool printFrames = false;
    bool helpRequested = false;
    QString error;
    QString helpText;
};

// `arguments` as QCoreApplication::arguments() gives them, program name first.
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments);

} // namespace velorix::sim
