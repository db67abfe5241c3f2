#pragma once

// Ground for the run tests: four Velorix-5 (devices 1 to 4 at 128 to 131)
// on a hand-driven simulated bus, a fake wall clock, and a controller whose
// timer never fires by itself: the test ticks it.

#include "testsupport.h"
#include "simrig.h"

#include "base/ccrptimer.h"
#include "model/globals.h"
#include "experiment/core/expcontroller.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velorix::testing {

inline SetupTexts runSetup()
{
    SetupTexts texts;
    texts.startSpeed = QStringLiteral("5.0");
    texts.endSpeed = QStringLiteral("20.0");
    texts.accInterval = QStringLiteral("10");
    texts.accStep = QStringLiteral("1.0");
    texts.duration = QStringLiteral("60");
    texts.rotDelay = QStringLiteral("1.0");
    return texts;
}

class RunTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Devices = DeviceTable{};
        for (int n = 1; n <= 4; ++n) {
            Devices[n].intDevType = kDevTypeVelorix5;
            Devices[n].bytBusAddr = std::uint8_t(127 + n);
            Devices[n].sngVersion = 2.2f;
        }
        strCommPort = QStringLiteral("SIM");
        pacing.firstIntervalMs = pacing.pollIntervalMs = 3'600'000;
        pacing.downloadWaitMs = pacing.unloadWaitMs = 0;
    }
    void TearDown() override
    {
        if (ctrl)
            ctrl->unload(false);
        ctrl.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(intDevObjCount, 0);
        setSerialBackendFactory({});
    }

    void buildBus()
    {
        rig->build();
        setSerialBackendFactory([rig = rig] { return std::make_unique<SimRigBackend>(rig); });
    }
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
    void upload() { ASSERT_TRUE(tickUntil([this] { return !ctrl->bolupload; }, 20)); }
    QString csvPath(const char *name = "run.csv") const { return dir.filePath(QLatin1String(name)); }
    // The start sequence with a new data file, up to the running state.
    void startRun(const SetupTexts &setup = runSetup())
    {
        ctrl->record().strDataFile = csvPath();
        ctrl->record().strRawFile = datafile::rawNameFor(csvPath());
        ASSERT_TRUE(ctrl->startExperiment(setup, false));
        ASSERT_TRUE(tickUntil([this] { return ctrl->bolrunning; }, 40));
    }

    QTemporaryDir dir;
    std::shared_ptr<SimRig> rig = std::make_shared<SimRig>();
    std::unique_ptr<ExpController> ctrl;
    ExpPacing pacing;
    QDateTime clock = QDateTime(QDate(2024, 5, 6), QTime(9, 0, 0));
};

} // namespace velorix::testing
