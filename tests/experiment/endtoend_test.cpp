// The experiment window end to end on the device simulator, through the
// real serial port component and a pseudo-terminal, with the simulator's
// clock running ten times as fast so that a session takes seconds.

#include "windowtestkit.h"
#include "cputime.h"

#include "simulator/groundtruth.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QProgressBar>
#include <QRadioButton>

#include <map>

namespace velorix::testing {
namespace {

// The set-ups of these tests turn the wheel at 5.0, rising 1.0 every 10 s,
// with falls away from the steps, so the speed at each run's end is known.
// Each channel's runs in order against the file's lines of that channel. A
// run cut short by Master Start was never seen to end and is no result.
void expectRunsMatch(const QStringList &runLines, const std::vector<sim::RunRecord> &truth, quint8 address)
{
    std::map<int, std::vector<sim::RunRecord>> runs;
    qsizetype results = 0;
    for (const sim::RunRecord &run : truth) {
        if (run.address == address && run.end != sim::RunEnd::Restarted) {
            runs[run.channel].push_back(run);
            ++results;
        }
    }
    EXPECT_EQ(runLines.size(), results);
    std::map<int, std::size_t> seen;
    const auto f = [](double v) { return QString::number(v, 'f', 1); };
    for (const QString &line : runLines) {
        const QStringList cells = line.split(QLatin1Char(','));
        ASSERT_EQ(cells.size(), 9) << line.toStdString();
        const int channel = cells[1].toInt();
        ASSERT_LT(seen[channel], runs[channel].size()) << line.toStdString();
        const sim::RunRecord &run = runs[channel][seen[channel]++];
        // The speed rises in whole steps of 1.0 every 100 tenths: the division is whole on purpose.
        const double speed = 5.0 + run.endTenths / 100; // NOLINT(bugprone-integer-division)
        const double rot = run.rotationAfterDelaySeconds();
        const QStringList expected
                = {f(run.runSeconds()), f(speed), f(rot), f(rot > 0 ? run.rotationSpeedUnits() : speed),
                   f(rot + run.runSeconds())};
        EXPECT_EQ(cells.mid(3, 5), expected) << line.toStdString();
    }
}

// The window's part of a session: the upload fills the boxes, the channel
// buttons show the runs, Master Start reaches the device, the runs go into
// the grid and (appended) into the chosen file as the device saw them, and
// closing asks before it stops the run.
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
    writeDeviceMemory(128,
                      {{34, 125},
                       {35, 0},
                       {36, 0xB8},
                       {37, 0x0B},
                       {38, 150},
                       {39, 0},
                       {40, 3},
                       {41, 0x10},
                       {46, 1},
                       {47, 25}});
    frmexp *window = openWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitFor([&] { return part<QGroupBox>(window, "frmstatus")->isVisible(); }, 2000));
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 5000));
    EXPECT_EQ(texts(window, {"txts_speed", "txte_speed", "txtacc_time", "txtrot_delay", "Label2(4)"}),
              QStringList({"12.5", "300.0", "15", "2.5", "cm/s"}));
    EXPECT_TRUE(part<QCheckBox>(window, "optdir")->isChecked());
    EXPECT_FALSE(part<QGroupBox>(window, "frmstatus")->isVisible());

    typeSetup(window, QStringLiteral("0"));
    click(window, "cmdch1enable");
    type(window, "txtchanid", QStringLiteral("M1"));
    click(window, "cmdok");
    part<QRadioButton>(window, "optrpmspeed(0)")->setChecked(true);
    const QString csv = dataFile("session1.csv");
    writeFile(csv, "old header\r\nold run,\r\n");
    prompts->fileNames = {csv};
    prompts->answers = {MessageAnswer::Yes};
    click(window, "cmdstartexp");
    EXPECT_EQ(window->statusPanelText(0), csv);
    ASSERT_TRUE(waitFor([&] { return part<QProgressBar>(window, "prbstatus")->value() >= 5; }, 3000));
    ASSERT_TRUE(waitFor([&] { return window->controller()->isRunning(); }, 6000));
    ASSERT_TRUE(waitFor([&] { return text(window, "cmdch2enable") == "Pas. Rotation"; }, 6000));
    // All four first runs recorded, then Master Start: channel 1 runs again.
    ASSERT_TRUE(waitFor([&] { return window->resultsGrid()->rowCount() == 4; }, 8000));
    click(window, "cmdStartall");
    ASSERT_TRUE(waitFor([&] { return window->resultsGrid()->rowCount() == 5; }, 8000));
    QStringList lines = fileLines(csv);
    ASSERT_EQ(lines.size(), 2 + 5);
    EXPECT_EQ(lines.mid(0, 2), QStringList({"old header", "old run,"}));
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(window->resultsGrid()->rowTexts(row).join(QLatin1Char(',')) + ',', lines[2 + row]);
        const int channel = lines[2 + row].section(QLatin1Char(','), 1, 1).toInt();
        EXPECT_EQ(lines[2 + row].section(QLatin1Char(','), 0, 0),
                  channel == 1 ? QStringLiteral("M1") : QStringLiteral("Channel %1").arg(channel));
    }

    // Closing the running window asks first; No keeps it running.
    QPointer<frmexp> guard(window);
    prompts->answers = {MessageAnswer::No};
    closeFrame(window);
    EXPECT_EQ(prompts->messages.back().text, QStringLiteral("Stop Experiment"));
    const int polls = window->controller()->counters().polls;
    waitFor([] { return false; }, 300);
    ASSERT_FALSE(guard.isNull());
    EXPECT_GT(window->controller()->counters().polls, polls);
    // Closing the program: the same question, then the stop and the reset.
    const int resets = host().counters(128).resets;
    const int stops = requestsTo(128, 0x71);
    prompts->answers = {MessageAnswer::Yes};
    EXPECT_TRUE(main->close());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(requestsTo(128, 0x71), stops + 1);
    EXPECT_EQ(host().counters(128).resets, resets + 1);
    EXPECT_EQ(prompts->messages.size(), 3u); // the append question, the two closes
    lines = fileLines(csv);                  // channel 1's second fall, three runs the stop cut short
    ASSERT_EQ(lines.size(), 2 + 8);
    expectRunsMatch(lines.mid(2), host().groundTruth(), 128);
}

TEST_F(WindowTest, APulledCableCostsPollsNeverARun)
{
    sim::SimConfig config;
    config.timeScale = 10;
    config.linkPath = folder.filePath(QStringLiteral("ttyVELORIX"));
    config.scenario.addRun(128, 1, {8.0, 0});  // falls while the cable is out
    config.scenario.addRun(128, 2, {30.0, 0}); // and after it is back
    startSimulator(config);
    frmexp *window = startSession(QStringLiteral("40"), dataFile("cable.csv"));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(waitFor([&] { return window->controller()->record().sngElapsed >= 4.0; }, 3000));

    host().unplug();
    ASSERT_TRUE(waitFor([&] { return window->statusPanelText(1) == QStringLiteral("Error #1003"); }, 2000));
    const int ticksBefore = window->controller()->counters().ticks;
    const double cpuBefore = processCpuMilliseconds() / 1000;
    QElapsedTimer outage;
    outage.start();
    waitFor([] { return false; }, 1000); // channel 1 falls meanwhile
    const double cpu = processCpuMilliseconds() / 1000 - cpuBefore;
    const double ticksPerSecond
            = (window->controller()->counters().ticks - ticksBefore) * 1000.0 / outage.elapsed();
    EXPECT_LT(cpu, 0.1) << "CPU seconds in one second of outage";
    EXPECT_LE(ticksPerSecond, 11.0);
    EXPECT_GE(ticksPerSecond, 8.0);
    EXPECT_EQ(window->resultsGrid()->rowCount(), 0);

    ASSERT_TRUE(host().replug());
    ASSERT_TRUE(waitFor([&] { return window->resultsGrid()->rowCount() >= 1; }, 2000));

    // "Stop Experiment" while the cable is out: carried out once it is back.
    host().unplug();
    ASSERT_TRUE(waitFor([&] { return window->statusPanelText(1) == QStringLiteral("Error #1003"); }, 2000));
    click(window, "cmdstop_exp");
    waitFor([] { return false; }, 500);
    EXPECT_TRUE(window->controller()->isRunning());
    ASSERT_TRUE(host().replug());
    ASSERT_TRUE(waitFor([&] { return finished(window); }, 2000));
    const QStringList lines = fileLines(dataFile("cable.csv"));
    ASSERT_EQ(lines.size(), 19 + 4); // channel 1's fall, three runs the stop cut short
    expectRunsMatch(lines.mid(19), host().groundTruth(), 128);
}

} // namespace
} // namespace velorix::testing
