// velorix-sim: Velorix-5 devices on a pseudo-terminal, for the program, its
// tests and demos. Options: see simcommandline.h or --help.

#include "simulator/simcommandline.h"
#include "simulator/simulatorhost.h"
#include "simulator/terminationwatcher.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const velorix::sim::CommandLine commandLine = velorix::sim::parseCommandLine(app.arguments());
    if (commandLine.helpRequested) {
        out << commandLine.helpText;
        return 0;
    }
    if (!commandLine.config) {
        err << "velorix-sim: " << commandLine.error << "\nTry velorix-sim --help.\n";
        return 2;
    }

    velorix::sim::TerminationWatcher termination;
    QObject::connect(&termination, &velorix::sim::TerminationWatcher::terminationRequested, &app,
                     &QCoreApplication::quit);
    velorix::sim::SimulatorHost sim(*commandLine.config);
    if (commandLine.printFrames) {
        QObject::connect(
                &sim, &velorix::sim::SimulatorHost::frameLogged, &app,
                [&out](const velorix::sim::FrameLogEntry &entry) { out << entry.toText() << Qt::endl; });
    }
    QString error;
    if (!sim.start(&error)) {
        err << "velorix-sim: " << error << Qt::endl;
        return 1;
    }

    out << "pty: " << sim.slavePath() << "\n";
    if (!commandLine.config->linkPath.isEmpty())
        out << "link: " << commandLine.config->linkPath << " -> " << sim.slavePath() << "\n";
    for (const velorix::sim::DeviceStatus &device : sim.devices()) {
        out << "device " << device.address << " firmware "
            << velorix::sim::formatFirmwareVersion(device.firmwareVersion) << "\n";
    }
    out.flush();

    const int code = app.exec();
    sim.stop();
    return code;
}
