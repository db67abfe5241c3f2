// velorix: the program. `velorix --simulate` runs it on a bus of simulated
// devices inside the program, for a look without hardware.

#include "program/simulateddemo.h"
#include "program/startup.h"
#include "model/prompter.h"
#include "model/version.h"
#include "shell/dialogprompter.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velorix"));
    QCoreApplication::setApplicationName(QStringLiteral("Velorix"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3").arg(velorix::kVersionMajor).arg(velorix::kVersionMinor).arg(velorix::kVersionRevision));

    velorix::setPrompter(velorix::makeDialogPrompter());

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Control and data collection for Velorix-5 devices."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("simulate"),
                      QStringLiteral("Run on four simulated devices (128 to 131) instead of hardware.")});
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

    velorix::Startup startup;
    startup.Main();
    if (!startup.mainWindow())
        return 0;
    return QApplication::exec();
}
