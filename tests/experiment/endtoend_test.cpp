// The experiment window end to end on the device simulator, through the
// real serial port component and a pseudo-terminal, with the simulator's
// clock running ten times as fast so that a session takes seconds.

#include "truthcheck.h"
#include "windowtestkit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QProgressBar>

#include <ctime>


namespace velorix::testing {
namespace {

void setUpBoxes(const frmexp *window, const QString &duration)
{
    WindowTest::part<QLineEdit>(window, "txts_speed")->setText(QStringLiteral("5.0"));
    WindowTest::part<QLineEdit>(window, "txte_speed")->setText(QStringLiteral("20.0"));
    WindowTest::part<QLineEdit>(window, "txtacc_time")->setText(QStringLiteral("10"));
    WindowTest::part<QLineEdit>(window, "txtacc_step")->setText(QStringLiteral("1.0"));
    WindowTest::part<QLineEdit>(window, "txtduration")->setText(duration);
    WindowTest::part<QLineEdit>(window, "txtrot_delay")->setText(QStringLiteral("1.0"));
}

TEST_F(WindowTest, ASessionOnTheSimulatorIsRecordedAsTheDeviceSawIt)
{
    sim::SimConfig config;
    config.timeScale = 10;
    config.scenario.addRun(128, 1, {12.5, 0});
    config.scenario.addRun(128, 1, {6.0, 0}); // after Master Start
    config.scenario.addRun(128, 2, {23.0, 4.0});
    config.scenario.addRun(128, 3, {31.5, 0});
    config.scenario.addRun(128, 4, {35.5, 0});
    startSimulator(config);
    writeDeviceMemory(128, {{34, 125}, {35, 0}, {36, 0xB8}, {37, 0x0B}, {38, 150}, {39, 0}, {40, 3}, {41, 0x10},
                            {46, 1}, {47, 25}});

    frmexp *window = openWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Experiment for Device 1 at address 128"));
    EXPECT_EQ(window->statusPanelText(0), QStringLiteral("Experiment Setup"));
    EXPECT_FALSE(part<QPushButton>(window, "cmdstartexp")->isEnabled());
    ASSERT_TRUE(waitFor([&] { return part<QGroupBox>(window, "frmstatus")->isVisible(); }, 2000));
    EXPECT_EQ(part<QLabel>(window, "lblstatus")->text(), QStringLiteral("Please Wait!!!  Uploading Data"));
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 5000));
    // The upload filled the boxes from the device.
    EXPECT_EQ(part<QLineEdit>(window, "txts_speed")->text(), QStringLiteral("12.5"));
    EXPECT_EQ(part<QLineEdit>(window, "txte_speed")->text(), QStringLiteral("300.0"));
    EXPECT_EQ(part<QLineEdit>(window, "txtacc_time")->text(), QStringLiteral("15"));
    EXPECT_EQ(part<QLineEdit>(window, "txtrot_delay")->text(), QStringLiteral("2.5"));
    EXPECT_TRUE(part<QCheckBox>(window, "optdir")->isChecked());
    EXPECT_EQ(part<QLabel>(window, "Label2(4)")->text(), QStringLiteral("cm/s"));
    EXPECT_FALSE(part<QGroupBox>(window, "frmstatus")->isVisible());

    setUpBoxes(window, QStringLiteral("55"));
    click(window, "cmdch1enable");
    type(window, "txtchanid", QStringLiteral("M1"));
    click(window, "cmdok");
    part<QRadioButton>(window, "optrpmspeed(0)")->setChecked(true);
    part<QCheckBox>(window, "optdir")->setChecked(false);
    const QString csv = dataFile("session1.csv");
    prompts->fileNames = {csv};
    click(window, "cmdstartexp");
    ASSERT_EQ(prompts->fileRequests.size(), 1u);
    const FileRequest &asked = prompts->fileRequests[0];
    EXPECT_EQ(asked.kind, FileRequest::Kind::Save);
    EXPECT_EQ(asked.title, QStringLiteral("Save Experiment Data File"));
    EXPECT_EQ(asked.filter, QStringLiteral("Experiment Data (*.csv)|*.csv"));
    EXPECT_EQ(asked.initialFolder, strDataPath);
    EXPECT_EQ(asked.defaultSuffix, QStringLiteral("csv"));
    EXPECT_EQ(window->statusPanelText(0), csv);
    EXPECT_TRUE(part<QPushButton>(window, "cmdstop_exp")->isEnabled());

    // The download shows its progress, then the run starts.
    ASSERT_TRUE(waitFor([&] { return part<QProgressBar>(window, "prbstatus")->value() >= 5; }, 3000));
    EXPECT_EQ(part<QLabel>(window, "lblstatus")->text(), QStringLiteral("Please Wait!!!  Downloading Data"));
    ASSERT_TRUE(waitFor([&] { return window->controller()->bolrunning; }, 6000));
    EXPECT_TRUE(part<QPushButton>(window, "cmdStartall")->isEnabled());
    ASSERT_TRUE(waitFor([&] { return part<QPushButton>(window, "cmdch1enable")->text() == "Ch1 Running"; }, 2000));
    EXPECT_EQ(part<QPushButton>(window, "cmdch2enable")->text(), QStringLiteral("CH2 Running"));

    // Channel 2 falls into passive rotation.
    ASSERT_TRUE(waitFor([&] { return part<QPushButton>(window, "cmdch2enable")->text() == "Pas. Rotation"; },
                        6000));
    // All four first runs recorded, then Master Start: channel 1 runs again,
    // the others stay on until the session ends.
    ASSERT_TRUE(waitFor([&] { return window->resultsGrid()->rowCount() == 4; }, 8000));
    click(window, "cmdStartall");
    ASSERT_TRUE(waitFor([&] { return finished(window); }, 15000));
    EXPECT_EQ(window->statusPanelText(1), QStringLiteral("successful"));
    EXPECT_TRUE(part<QPushButton>(window, "cmdstartexp")->isEnabled());

    const QStringList lines = fileLines(csv);
    ASSERT_EQ(lines.size(), 19 + 8);
    const QDateTime started = Devices[1].dtExpStart;
    const QStringList header = {
        "Tarvenor Velorix-5 1.0",
        "Velorix-5 number 1 at address 128",
        "Started On:," + started.toString(QStringLiteral("MM/dd/yy HH:mm:ss")),
        "Experiment Filename:," + dataFile("session1.raw"),
        "",
        "[Experiment Setup Info]",
        "Duration:,55",
        "Start Speed:,5.0",
        "End Speed:,20.0",
        "Acceleration Interval:,10.0",
        "Acceleration Step Speed:,1.0",
        "Session Duration:,55.0",
        "Passive Rotation Delay:,1.0",
        "Speed Units:,RPM",
        "Wheel Type:,Mouse Wheel",
        "Wheel Rotation:,CW",
        " 3 ",
        "[Experiment Data]",
        "Subject ID,CH #,Start Time,Run Time (sec),Speed (RPM),P_R Time (sec),P_R Speed (RPM),Total Run Time (sec),",
    };
    for (int i = 0; i < header.size(); ++i)
        EXPECT_EQ(lines[i], header[i]) << "header line " << i + 1;
    expectRunsMatch(lines.mid(19), sim->groundTruth(), 128);
    for (const QString &line : lines.mid(19)) {
        const int channel = line.section(QLatin1Char(','), 1, 1).toInt();
        EXPECT_EQ(line.section(QLatin1Char(','), 0, 0),
                  channel == 1 ? QStringLiteral("M1") : QStringLiteral("Channel %1").arg(channel));
    }
    // The grid holds the same rows as the file.
    ASSERT_EQ(window->resultsGrid()->rowCount(), 8);
    for (int row = 0; row < 8; ++row)
        EXPECT_EQ(window->resultsGrid()->rowTexts(row).join(QLatin1Char(',')) + ',', lines[19 + row]);
    EXPECT_EQ(fileLines(dataFile("session1.raw")), lines);
    EXPECT_TRUE(prompts->messages.empty());
}

TEST_F(WindowTest, TwoWindowsOnTwoDevicesRecordBothDevicesRuns)
{
    sim::SimConfig config;
    config.timeScale = 10;
    config.scenario.addRun(128, 1, {4.5, 0});
    config.scenario.addRun(128, 3, {12.5, 3.0});
    config.scenario.addRun(129, 2, {7.5, 0});
    config.scenario.addRun(129, 4, {15.5, 2.0});
    startSimulator(config);
    frmexp *first = openWindow();
    frmexp *second = openWindow();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(second->windowTitle(), QStringLiteral("Experiment for Device 2 at address 129"));
    quicken(first);
    quicken(second);
    ASSERT_TRUE(waitFor([&] { return uploaded(first) && uploaded(second); }, 5000));
    setUpBoxes(first, QStringLiteral("25"));
    setUpBoxes(second, QStringLiteral("25"));
    prompts->fileNames = {dataFile("dev1.csv"), dataFile("dev2.csv")};
    click(first, "cmdstartexp");
    click(second, "cmdstartexp");
    ASSERT_TRUE(waitFor([&] { return first->controller()->bolrunning && second->controller()->bolrunning; }, 6000));
    ASSERT_TRUE(waitFor([&] { return finished(first) && finished(second); }, 15000));

    const auto truth = sim->groundTruth();
    const QStringList one = fileLines(dataFile("dev1.csv"));
    const QStringList two = fileLines(dataFile("dev2.csv"));
    ASSERT_GE(one.size(), 19);
    ASSERT_GE(two.size(), 19);
    EXPECT_EQ(one[1], QStringLiteral("Velorix-5 number 1 at address 128"));
    EXPECT_EQ(two[1], QStringLiteral("Velorix-5 number 2 at address 129"));
    expectRunsMatch(one.mid(19), truth, 128);
    expectRunsMatch(two.mid(19), truth, 129);
    // Two falls each plus the two channels per device the stop cut short.
    EXPECT_EQ(one.size(), 19 + 4);
    EXPECT_EQ(two.size(), 19 + 4);
}

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

TEST_F(WindowTest, APulledCableCostsPollsNeverARun)
{
    sim::SimConfig config;
    config.timeScale = 10;
    config.linkPath = folder.filePath(QStringLiteral("ttyVELORIX"));
    config.scenario.addRun(128, 1, {8.0, 0});  // falls while the cable is out
    config.scenario.addRun(128, 2, {30.0, 0}); // and after it is back
    startSimulator(config);
    frmexp *window = openWindow();
    ASSERT_NE(window, nullptr);
    quicken(window);
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 5000));
    setUpBoxes(window, QStringLiteral("40"));
    prompts->fileNames = {dataFile("cable.csv")};
    click(window, "cmdstartexp");
    ASSERT_TRUE(waitFor([&] { return window->controller()->bolrunning; }, 6000));
    ASSERT_TRUE(waitFor([&] { return window->controller()->record().sngElapsed >= 4.0; }, 3000));

    sim->unplug();
    ASSERT_TRUE(waitFor([&] { return window->statusPanelText(1) == QStringLiteral("Error #1003"); }, 2000));
    const int ticksBefore = window->controller()->counters().ticks;
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer outage;
    outage.start();
    waitFor([] { return false; }, 1000); // channel 1 falls meanwhile
    const double cpu = processCpuSeconds() - cpuBefore;
    const double ticksPerSecond = (window->controller()->counters().ticks - ticksBefore) * 1000.0 / outage.elapsed();
    RecordProperty("outageCpuSeconds", QString::number(cpu, 'f', 3).toStdString());
    RecordProperty("outageTicksPerSecond", QString::number(ticksPerSecond, 'f', 1).toStdString());
    EXPECT_LT(cpu, 0.1) << "CPU seconds in one second of outage";
    EXPECT_LE(ticksPerSecond, 11.0);
    EXPECT_GE(ticksPerSecond, 8.0);
    EXPECT_EQ(window->resultsGrid()->rowCount(), 0);

    ASSERT_TRUE(sim->replug());
    const int polls = window->controller()->counters().polls;
    EXPECT_TRUE(waitFor([&] { return window->controller()->counters().polls > polls; }, 1000));
    // Channel 1's run, with the time the device reports for it.
    ASSERT_TRUE(waitFor([&] { return window->resultsGrid()->rowCount() >= 1; }, 2000));

    // "Stop Experiment" while the cable is out: carried out once it is back.
    sim->unplug();
    ASSERT_TRUE(waitFor([&] { return window->statusPanelText(1) == QStringLiteral("Error #1003"); }, 2000));
    click(window, "cmdstop_exp");
    waitFor([] { return false; }, 500);
    EXPECT_TRUE(window->controller()->bolrunning);
    ASSERT_TRUE(sim->replug());
    ASSERT_TRUE(waitFor([&] { return finished(window); }, 2000));
    const QStringList lines = fileLines(dataFile("cable.csv"));
    ASSERT_EQ(lines.size(), 19 + 4); // channel 1's fall, three runs the stop cut short
    expectRunsMatch(lines.mid(19), sim->groundTruth(), 128);
}

TEST_F(WindowTest, LateRepliesCostTheirOwnExchangeOnly)
{
    sim::SimConfig config;
    config.timeScale = 10;
    config.faultRates.late = 0.10;
    config.scenario.addRun(128, 1, {12.5, 0});
    config.scenario.addRun(128, 2, {23.0, 4.0});
    config.scenario.addRun(128, 3, {31.5, 0});
    startSimulator(config);
    frmexp *window = openWindow();
    ASSERT_NE(window, nullptr);
    quicken(window);
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 15000));
    setUpBoxes(window, QStringLiteral("45"));
    prompts->fileNames = {dataFile("late.csv")};
    click(window, "cmdstartexp");
    ASSERT_TRUE(waitFor([&] { return window->controller()->bolrunning; }, 15000));
    const ExpCounters before = window->controller()->counters();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitFor([&] { return finished(window); }, 15000));
    const double seconds = clock.elapsed() / 1000.0;
    const ExpCounters &after = window->controller()->counters();
    const double pollRate = (after.ticks - before.ticks) / seconds;
    RecordProperty("pollsPerSecond", QString::number(pollRate, 'f', 2).toStdString());
    EXPECT_GE(pollRate, 8.0);
    const QStringList lines = fileLines(dataFile("late.csv"));
    ASSERT_EQ(lines.size(), 19 + 4);
    expectRunsMatch(lines.mid(19), sim->groundTruth(), 128);
}

} // namespace
} // namespace velorix::testing
