#include "cli/clirunner.h"
#include "study/windows/learningcurvechart.h"

#include <QApplication>

#include <memory>

int main(int argc, char **argv)
{
    // Only a plot needs the widgets' application (the chart is drawn by Qt
    // Charts); without a display it is drawn offscreen.
    bool plots = false;
    for (int i = 1; i < argc; ++i)
        plots = plots || QByteArray(argv[i]) == "--plot";
    if (plots && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app = plots ? std::make_unique<QApplication>(argc, argv)
                                                        : std::make_unique<QCoreApplication>(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return velorix::runCli(
            arguments,
            [](const std::vector<velorix::Curve> &curves, const QString &axisTitle, const QString &path,
               QString *why) { return velorix::saveLearningCurve(curves, axisTitle, path, why); });
}
