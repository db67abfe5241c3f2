#pragma once

// Ground for the window tests: the main window with "Experiment" > "Run"
// wired to frmexp::create, the in-process device simulator on a pseudo-
// terminal as the port, a working folder of its own, and a prompter that
// answers and records.

#include "recordingprompter.h"
#include "testsupport.h"

#include "base/ccrptimer.h"
#include "model/prompter.h"
#include "shell/frmmain.h"
#include "model/globals.h"
#include "experiment/windows/frmexp.h"
#include "experiment/windows/resultsgrid.h"
#include "link/portlist.h"
#include "protocol/multidevmod.h"
#include "protocol/multivelorix.h"
#include "simulator/simulatorhost.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace velorix::testing {

// Waits, with the windows running, until `done` or the time is up.
inline bool waitFor(const std::function<bool()> &done, int milliseconds = 10000)
{
    QElapsedTimer clock;
    clock.start();
    // A nested loop that sleeps between events: processEvents with a time
    // limit never waits, and would spin a core (and spoil CPU figures).
    while (!done() && clock.elapsed() < milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

class WindowTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        Devices = DeviceTable{};
        intExpWindows = 0;
        for (int n = 1; n <= 4; ++n) {
            Devices[n].intDevType = kDevTypeVelorix5;
            Devices[n].bytBusAddr = std::uint8_t(127 + n);
            Devices[n].sngVersion = 2.2f;
        }
        QDir(folder.path()).mkpath(QStringLiteral("Data"));
        QDir(folder.path()).mkpath(QStringLiteral("config"));
        strDataPath = folder.filePath(QStringLiteral("Data"));
        strDevIniPath = folder.filePath(QStringLiteral("config/device.ini"));
        prompts = RecordingPrompter::install();
        setSerialBackendFactory({});
        main = std::make_unique<frmMain>();
        main->setWindowFactory(frmMain::MenuItem::ExperimentRun, [] { return frmexp::create(); });
        main->show();
    }
    void TearDown() override
    {
        main.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(intDevObjCount, 0);
        EXPECT_EQ(intExpWindows, 0);
        sim.reset();
        clearExtraPorts();
        setPrompter(nullptr);
    }

    void startSimulator(sim::SimConfig config = {})
    {
        config.frameLog = true;
        sim = std::make_unique<sim::SimulatorHost>(config);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
        registerExtraPort(sim->portPath(), PortPlacement::First);
        strCommPort = sim->portPath();
    }
    // Writes set-up memory behind the window's back, through the link.
    void writeDeviceMemory(std::uint8_t address, const std::vector<std::pair<int, int>> &values)
    {
        multiVelorix device;
        ASSERT_TRUE(device.CommPort(strCommPort));
        for (const auto &[location, value] : values)
            ASSERT_EQ(device.WriteMem(address, std::uint8_t(location), std::uint8_t(value)), 0);
    }

    frmexp *openWindow()
    {
        return qobject_cast<frmexp *>(main->openWindow(frmMain::MenuItem::ExperimentRun));
    }
    // Shorter waits in the download's last step, for tests about other things.
    static void quicken(frmexp *window)
    {
        ExpPacing pacing;
        pacing.downloadWaitMs = 100;
        window->controller()->setPacing(pacing);
    }
    template <class T = QWidget>
    static T *part(const QWidget *window, const char *name)
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    static void type(const QWidget *window, const char *box, const QString &text)
    {
        part<QLineEdit>(window, box)->setText(text);
    }
    static void click(const QWidget *window, const char *button)
    {
        part<QPushButton>(window, button)->click();
    }
    static bool uploaded(const frmexp *window)
    {
        return !window->controller()->bolupload && part<QPushButton>(window, "cmdstartexp")->isEnabled();
    }
    static bool finished(const frmexp *window)
    {
        return !window->controller()->bolrunning && !window->controller()->boldownload
               && !window->controller()->bolstart;
    }
    static void closeFrame(QWidget *window)
    {
        if (auto *frame = qobject_cast<QMdiSubWindow *>(window->parentWidget()))
            frame->close();
    }
    // Requests sent to `address` with this code since the log began.
    int requestsTo(std::uint8_t address, int code) const
    {
        int count = 0;
        for (const sim::FrameLogEntry &entry : sim->frameLog()) {
            if (entry.direction == sim::FrameLogEntry::Direction::ToDevice && entry.bytes.size() >= 2
                && quint8(entry.bytes[0]) == address && quint8(entry.bytes[1]) == code)
                ++count;
        }
        return count;
    }
    QString dataFile(const char *name) const { return QDir(strDataPath).filePath(QLatin1String(name)); }

    QTemporaryDir folder;
    std::unique_ptr<sim::SimulatorHost> sim;
    std::unique_ptr<frmMain> main;
    RecordingPrompter *prompts = nullptr;
};

} // namespace velorix::testing
