#pragma once

// Ground for the window tests: four Velorix-5 (devices 1 to 4 at 128 to
// 131), the main window with "Experiment" > "Run" wired to frmexp::create,
// the device simulator on a pseudo-terminal as the port, and the clean
// state, working folder and recording prompter of SharedStateTest.

#include "simkit.h"
#include "statekit.h"
#include "widgetkit.h"

#include "experiment/windows/frmexp.h"
#include "experiment/windows/resultsgrid.h"
#include "model/globals.h"
#include "protocol/multivelorix.h"
#include "shell/frmmain.h"

#include <QApplication>
#include <QPushButton>

#include <memory>
#include <vector>

namespace velorix::testing {

class WindowTest : public SharedStateTest
{
public:
    void SetUp() override
    {
        SharedStateTest::SetUp();
        for (int n = 1; n <= 4; ++n)
            configure(n, std::uint8_t(127 + n), kDevTypeVelorix5, 2.2f);
        main = std::make_unique<frmMain>();
        main->setWindowFactory(frmMain::MenuItem::ExperimentRun, [] { return frmexp::create(); });
        main->show();
    }
    void TearDown() override
    {
        main.reset();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(intExpWindows, 0);
        sim.reset();
        SharedStateTest::TearDown();
    }

    void startSimulator(const sim::SimConfig &config = {})
    {
        sim = std::make_unique<PtySimulator>(config);
        ASSERT_TRUE(sim->started);
        strCommPort = sim->port();
    }
    [[nodiscard]] sim::SimulatorHost &host() const { return *sim->host; }
    // Writes set-up memory behind the window's back, through the link.
    static void writeDeviceMemory(std::uint8_t address, const std::vector<std::pair<int, int>> &values)
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
    static bool uploaded(const frmexp *window)
    {
        return window->controller()->phase() != RunPhase::Uploading
                && part<QPushButton>(window, "cmdstartexp")->isEnabled();
    }
    static bool finished(const frmexp *window) { return window->controller()->phase() == RunPhase::Idle; }
    // Start 5.0, end 20.0, interval 10, step 1.0, rotation delay 1.0.
    static void typeSetup(const frmexp *window, const QString &duration)
    {
        for (const auto &[box, value] : {std::pair{"txts_speed", "5.0"},
                                         {"txte_speed", "20.0"},
                                         {"txtacc_time", "10"},
                                         {"txtacc_step", "1.0"},
                                         {"txtrot_delay", "1.0"}})
            type(window, box, QLatin1String(value));
        type(window, "txtduration", duration);
    }
    // A window on the simulator, set up as above and started into a new file.
    frmexp *startSession(const QString &duration, const QString &csv)
    {
        frmexp *window = openWindow();
        if (!window)
            return nullptr;
        quicken(window);
        EXPECT_TRUE(waitFor([&] { return uploaded(window); }, 15000));
        typeSetup(window, duration);
        prompts->fileNames = {csv};
        click(window, "cmdstartexp");
        EXPECT_TRUE(waitFor([&] { return window->controller()->isRunning(); }, 15000));
        return window;
    }
    [[nodiscard]] int requestsTo(std::uint8_t address, int code) const
    {
        return sim->requestsTo(address, code);
    }
    [[nodiscard]] QString dataFile(const char *name) const
    {
        return QDir(strDataPath).filePath(QLatin1String(name));
    }

    std::unique_ptr<PtySimulator> sim;
    std::unique_ptr<frmMain> main;
};

} // namespace velorix::testing
