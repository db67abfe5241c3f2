// velorix: the program. `velorix --simulate` runs it on a bus of simulated
// devices inside the program, for a look without hardware; `--port PATH`
// tries that port first (a simulator started by hand, an adapter the
// system does not list).

#include "link/portlist.h"
#include "program/simulateddemo.h"
#include "program/startup.h"
#include "shell/frmmain.h"
#include "model/prompter.h"
#include "model/version.h"
#include "shell/dialogprompter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <memory>

namespace {

void nameTheProgram()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velorix"));
    QCoreApplication::setApplicationName(QStringLiteral("Velorix"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3")
                                                    .arg(velorix::kVersionMajor)
                                                    .arg(velorix::kVersionMinor)
                                                    .arg(velorix::kVersionRevision));
}

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral("Control and data collection for Velorix-5 devices."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("simulate"),
                      QStringLiteral("Run on four simulated devices (128 to 131) instead of hardware.")});
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Search PATH first for the devices, before the system's serial ports."),
                      QStringLiteral("PATH")});
}

// --help and --version are answered without a window system, so that they
// work where no display is (a terminal, a package check).
bool asksOnlyForText(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (word == "--help" || word == "-h" || word == "-?" || word == "--help-all" || word == "--version"
            || word == "-v")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (asksOnlyForText(argc, argv)) {
        QCoreApplication text(argc, argv);
        nameTheProgram();
        QCommandLineParser parser;
        describeOptions(parser);
        parser.process(text); // prints the help or the version and exits with 0
        return 0;
    }
    QApplication app(argc, argv);
    nameTheProgram();
    // Lets a Wayland desktop match the windows to the installed desktop entry
    // (and so to its name and wheel icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velorix.velorix"));
    velorix::setPrompter(velorix::makeDialogPrompter());

    QCommandLineParser parser;
    describeOptions(parser);
    parser.process(app);

    std::unique_ptr<velorix::SimulatedDemo> demo;
    if (parser.isSet(QStringLiteral("simulate"))) {
        demo = std::make_unique<velorix::SimulatedDemo>();
        QString error;
        if (!demo->start(&error)) {
            std::fprintf(stderr, "velorix: the simulated devices could not start: %s\n", qPrintable(error));
            return 1;
        }
    }

    // Registered after the simulator's, so that it comes before it.
    if (parser.isSet(QStringLiteral("port"))) {
        const QString port = parser.value(QStringLiteral("port")).trimmed();
        if (port.isEmpty()) {
            std::fprintf(stderr, "velorix: --port needs the path or name of a serial port\n");
            return 2;
        }
        if (port.contains(QLatin1Char('/')) && !QFileInfo::exists(port))
            std::fprintf(stderr, "velorix: %s does not exist (yet); it is searched once it does\n",
                         qPrintable(port));
        velorix::registerExtraPort(port, velorix::PortPlacement::First);
    }

    velorix::Startup startup;
    startup.Main();
    // Closed during the start-up's waits: nothing is left to run.
    if (startup.isOver())
        return 0;
    // From now on the main window's close ends the program, whatever other
    // top-level window (help, a message box) is still around.
    QObject::connect(startup.mainWindow(), &velorix::frmMain::closed, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
