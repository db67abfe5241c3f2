#pragma once

// Ground for the run tests: four Velorix-5 (devices 1 to 4 at 128 to 131)
// on a hand-driven simulated bus behind a memory port named "SIM", a fake
// wall clock, and a controller whose timer never fires by itself: the test
// ticks it.

#include "simkit.h"
#include "statekit.h"

#include "base/ccrptimer.h"
#include "experiment/core/expcontroller.h"
#include "model/globals.h"

#include <functional>

namespace velorix::testing {

// Start 5.0, end 20.0, interval 10, step 1.0, 60 s, rotation delay 1.0.
inline SetupTexts runSetup()
{
    return SetupTexts{"5.0", "20.0", "10", "1.0", "60", "1.0"};
}

class RunTest : public SharedStateTest
{
protected:
    void SetUp() override
    {
        SharedStateTest::SetUp();
        for (int n = 1; n <= 4; ++n)
            configure(n, std::uint8_t(127 + n), kDevTypeVelorix5, 2.2f);
        strCommPort = QStringLiteral("SIM");
        pacing.firstIntervalMs = pacing.pollIntervalMs = 3'600'000;
        pacing.downloadWaitMs = pacing.unloadWaitMs = 0;
    }
    void TearDown() override
    {
        if (ctrl)
            ctrl->unload(false);
        ctrl.reset();
        SharedStateTest::TearDown();
    }

    // The bus as configured in rig->config, behind the port (rig->port).
    void buildBus() { setSerialBackendFactory(memoryPorts(rig->attach())); }
    void prepare(ExpController &controller)
    {
        controller.setPacing(pacing);
        controller.setClock([this] { return clock; });
    }
    ExpController &open()
    {
        ctrl = std::make_unique<ExpController>(1);
        prepare(*ctrl);
        EXPECT_TRUE(ctrl->load(nullptr));
        return *ctrl;
    }
    // Real (and, at scale 1, device) time passes, then the tick runs.
    void tick(double seconds = 0.1, ExpController *controller = nullptr)
    {
        rig->advance(seconds);
        clock = clock.addMSecs(qint64(seconds * 1000));
        (controller ? controller : ctrl.get())->objTimer_Timer(0);
    }
    bool tickUntil(const std::function<bool()> &done, int most = 2000, double seconds = 0.1)
    {
        for (int i = 0; i < most && !done(); ++i)
            tick(seconds);
        return done();
    }
    void upload()
    {
        ASSERT_TRUE(tickUntil([this] { return ctrl->phase() != RunPhase::Uploading; }, 20));
    }
    // The bus built, the controller open and the set-up uploaded.
    ExpController &ready()
    {
        buildBus();
        open();
        upload();
        return *ctrl;
    }
    QString csvPath(const char *name = "run.csv") const { return path(name); }
    // A controller that owns itself (closed inside a wait, it deletes itself
    // later), loaded and uploaded, with the start sequence asked for into `csv`.
    ExpController *selfOwned(const QString &csv)
    {
        auto *controller = new ExpController(1);
        prepare(*controller);
        EXPECT_TRUE(controller->load(nullptr));
        for (int i = 0; i < 12; ++i)
            tick(0.1, controller);
        EXPECT_TRUE(begin(*controller, csv));
        return controller;
    }
    // Starts with this data file (its working copy beside it).
    static bool begin(ExpController &controller, const QString &csv, const SetupTexts &setup = runSetup(),
                      bool append = false)
    {
        controller.record().strDataFile = csv;
        controller.record().strRawFile = datafile::rawNameFor(csv);
        return controller.startExperiment(setup, append);
    }
    // Column `column` of each of these data file lines.
    static QStringList column(const QStringList &lines, int column)
    {
        QStringList cells;
        for (const QString &line : lines)
            cells << line.section(QLatin1Char(','), column, column);
        return cells;
    }
    // The start sequence, up to the running state.
    void startRun(const SetupTexts &setup = runSetup(), const QString &csv = {}, bool append = false)
    {
        ASSERT_TRUE(begin(*ctrl, csv.isEmpty() ? csvPath() : csv, setup, append));
        ASSERT_TRUE(tickUntil([this] { return ctrl->isRunning(); }, 40));
    }

    std::shared_ptr<SimRig> rig = std::make_shared<SimRig>();
    std::unique_ptr<ExpController> ctrl;
    ExpPacing pacing;
    QDateTime clock = QDateTime(QDate(2024, 5, 6), QTime(9, 0, 0));
};

} // namespace velorix::testing
