// The run of one window tick by tick on a simulated bus driven by hand: the
// timed transfers, the tick's order and its failure rules under faults,
// rocking, and closing mid-tick.

#include "runtestkit.h"

#include "experiment/core/sessionlogreader.h"
#include "model/runningexperiments.h"

#include "protocol/resultcodes.h"
#include "protocol/multivelorix.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

namespace velorix::testing {
namespace {

using sim::FaultKind;
using Codes = std::vector<int>;

constexpr quint8 kReadMem = 23, kWriteMem = 22, kReset = 16, kStartExp = 112, kStopExp = 113;
constexpr quint8 kReadTimes = 96, kReadSpeed = 85, kPurgeOff = 121, kStartAll = 105;

Codes locationsOf(const std::vector<QByteArray> &frames)
{
    Codes locations;
    for (const QByteArray &frame : frames)
        locations.push_back(quint8(frame[2]));
    return locations;
}

TEST_F(RunTest, TheUploadReadsTheSetupStepByStepAndRepeatsAFailedRead)
{
    buildBus();
    for (const auto &[location, value] : std::vector<std::pair<int, int>>{{34, 125},
                                                                          {35, 0},
                                                                          {36, 0xB8},
                                                                          {37, 0x0B},
                                                                          {38, 100},
                                                                          {39, 0},
                                                                          {40, 3},
                                                                          {41, 0x10},
                                                                          {46, 1},
                                                                          {47, 25}})
        rig->poke(128, quint8(location), quint8(value));
    ExpController &c = open();
    int arrived = 0;
    QObject::connect(&c, &ExpController::setupArrived, [&] { ++arrived; });
    for (int i = 0; i < 3; ++i)
        tick();
    EXPECT_TRUE(c.display().statusVisible);
    EXPECT_EQ(c.display().lblstatus, QStringLiteral("Please Wait!!!  Uploading Data"));
    EXPECT_EQ(c.display().prbstatus, 2);
    rig->bus->injectFault({128, kReadMem, FaultKind::BadChecksum, 1});
    tick();
    EXPECT_EQ(c.transfer().intSetupStep, 3);
    EXPECT_EQ(c.display().txtDisplay, QStringLiteral("Error #2007"));
    upload();
    EXPECT_EQ(arrived, 1);
    EXPECT_FALSE(c.display().statusVisible);
    // (What the values read become: the experiment window's session end to end.)
    EXPECT_EQ(locationsOf(rig->requestsTo(128, kReadMem)),
              Codes({34, 35, 36, 37, 37, 38, 39, 40, 41, 46, 47}));
    EXPECT_EQ(rig->codesSent(128).size(), 12u); // the load's reset, then the reads
}

TEST_F(RunTest, TheShortFirstPeriodEndsAlsoWhenTheFirstTicksTransferStepFails)
{
    buildBus();
    pacing.pollIntervalMs = pacing.firstIntervalMs - 1;
    ExpController &c = open();
    rig->bus->injectFault({128, kReadMem, FaultKind::BadChecksum, 1});
    tick();
    EXPECT_EQ(c.display().txtDisplay, QStringLiteral("Error #2007"));
    EXPECT_EQ(c.timer()->Interval(), pacing.pollIntervalMs);
}

TEST_F(RunTest, TheDownloadWritesResetsAndStartsAtTheNextTickAndRepeatsAFailedWrite)
{
    ExpController &c = ready();
    ASSERT_TRUE(begin(c, csvPath()));
    EXPECT_FALSE(c.controls().enabled(ExpControls::StartExp) || c.controls().enabled(ExpControls::Setup));
    for (int i = 0; i < 5; ++i)
        tick();
    rig->bus->injectFault({128, kWriteMem, FaultKind::Nak, 1});
    tick();
    EXPECT_EQ(QList<int>({c.transfer().intSetupStep, c.display().prbstatus}), QList<int>({5, 5}));
    EXPECT_EQ(c.display().txtDisplay, QStringLiteral("Error #1005")); // a NAK is a short reply
    for (int i = 0; i < 8; ++i)
        tick();
    EXPECT_EQ(locationsOf(rig->requestsTo(128, kWriteMem)),
              Codes({34, 35, 36, 37, 38, 39, 39, 40, 41, 42, 43, 44, 46, 47}));
    const int resets = rig->bus->device(128)->counters().resets;
    tick();
    EXPECT_EQ(rig->bus->device(128)->counters().resets, resets + 1);
    EXPECT_EQ(c.phase(), RunPhase::Starting);
    EXPECT_TRUE(rig->requestsTo(128, kStartExp).empty());
    tick();
    EXPECT_EQ(rig->requestsTo(128, kStartExp).size(), 1u);
    EXPECT_TRUE(c.isRunning() && c.controls().enabled(ExpControls::StartAll));
    for (const auto &[location, value] : std::vector<std::pair<int, int>>{{34, 50},
                                                                          {36, 200},
                                                                          {38, 100},
                                                                          {40, 10},
                                                                          {41, 0x11},
                                                                          {42, 144},
                                                                          {43, 76},
                                                                          {44, 96},
                                                                          {47, 10}})
        EXPECT_EQ(rig->peek(128, quint8(location)), value) << location;
}

// "Stop Experiment" pressed while the start's set-up goes down: the device
// is stopped and never started, and the window is ready for a new start.
// The transfers and the start buttons take nothing while a run is on.
TEST_F(RunTest, AStopDuringTheStartsDownloadStartsNothingAndARunRefusesTransfers)
{
    ExpController &c = ready();
    ASSERT_TRUE(begin(c, csvPath()));
    for (int i = 0; i < 4; ++i)
        tick();
    c.requestStop();
    ASSERT_TRUE(tickUntil([&] { return c.phase() == RunPhase::Idle && !c.requests().stopWanted(); }, 20));
    EXPECT_TRUE(rig->requestsTo(128, kStartExp).empty());
    EXPECT_EQ(rig->requestsTo(128, kStopExp).size(), 1u);
    EXPECT_TRUE(c.controls().enabled(ExpControls::StartExp) && c.controls().enabled(ExpControls::Transfers));
    EXPECT_FALSE(c.timer()->Enabled());

    startRun();
    const std::size_t reads = rig->requestsTo(128, kReadMem).size();
    EXPECT_FALSE(c.requestUpload() || c.requestDownload(runSetup()) || begin(c, csvPath("second.csv")));
    tick();
    EXPECT_EQ(rig->requestsTo(128, kReadMem).size(), reads);
    EXPECT_EQ(c.phase(), RunPhase::Running);
}

TEST_F(RunTest, TheTickSendsStartStopMasterStartThenThePollInThisOrder)
{
    ExpController &c = ready();
    startRun();
    const auto sentDuring = [&] {
        const std::size_t before = rig->codesSent(128).size();
        tick();
        const Codes codes = rig->codesSent(128);
        return Codes(codes.begin() + long(before), codes.end());
    };
    EXPECT_EQ(sentDuring(), Codes({118, 119, 82, 85, 96}));
    // A Master Start that comes with the stop is dropped: after Stop_Exp the
    // device ignores it, and its channels would pass for started ones.
    c.requestRestart();
    c.requestStartAll();
    c.requestStop(); // (which takes the restart back)
    EXPECT_EQ(sentDuring(), Codes({113, 118, 119, 82, 85, 96}));
    EXPECT_TRUE(c.requests().masterStart == RunRequests::MasterStart::None && !c.isRunning()
                && !c.timer()->Enabled());
    EXPECT_EQ(c.display().statusPanel, QStringLiteral("successful"));
    EXPECT_TRUE(c.controls().enabled(ExpControls::StartExp) && !c.controls().enabled(ExpControls::StartAll));
}

TEST_F(RunTest, AStartOrStopWhoseAnswerIsLostIsNotTakenForAFailure)
{
    rig->config.scenario.addRun(128, 1, {25.0, 0});
    rig->config.scenario.addRun(128, 1, {0.1, 0});
    ExpController &c = ready();
    // The device starts, its acknowledgement is lost: it is asked whether it
    // runs, rather than started over (which would lose what ended meanwhile).
    rig->bus->injectFault({128, kStartExp, FaultKind::NoReply, 1});
    startRun();
    EXPECT_EQ(rig->requestsTo(128, kStartExp).size(), 1u);
    for (int i = 0; i < 300; ++i)
        tick();
    ASSERT_EQ(c.counters().recordedRuns, 1); // channel 1 fell at 25 s
    EXPECT_GT(c.record().sngSpeed, 5.0f);
    // So is a Master Start: the poll after it shows channel 1 running again,
    // and its run of 0.1 s is recorded, not cut by a second Start_ALL.
    rig->bus->injectFault({128, kStartAll, FaultKind::NoReply, 1});
    c.requestStartAll();
    for (int i = 0; i < 3; ++i)
        tick(0.2);
    EXPECT_EQ(rig->requestsTo(128, kStartAll).size(), 1u);
    ASSERT_EQ(c.counters().recordedRuns, 2);

    // The stop is carried out, its answer lost; the wheel stands still
    // when it is sent again. The runs it cut short keep the speed it went
    // out at, not 0.0.
    const float speedAtStop = c.record().sngSpeed;
    rig->bus->injectFault({128, kStopExp, FaultKind::NoReply, 1});
    c.requestStop();
    ASSERT_TRUE(tickUntil([&] { return !c.isRunning(); }, 5));
    const QStringList lines = fileLines(csvPath());
    ASSERT_EQ(lines.size(), 19 + 5);
    EXPECT_EQ(column(lines.mid(21), 4), QStringList(3, QString::number(speedAtStop, 'f', 1)));
}

// Asked after a lost acknowledgement, a device whose subjects have all
// fallen already still shows its session running by its session time.
TEST_F(RunTest, ALostStartIsTakenAsStartedByTheSessionTimeWhenNoChannelRunsAnyMore)
{
    for (int channel = 1; channel <= 4; ++channel)
        rig->config.scenario.addRun(128, channel, {0.3, 0});
    ready();
    rig->bus->injectFault({128, kStartExp, FaultKind::NoReply, 1});
    rig->bus->injectFault({128, 96 /* Read_Times */, FaultKind::NoReply, 8});
    startRun();
    EXPECT_EQ(rig->requestsTo(128, kStartExp).size(), 1u);
}

// Rows the disk will not take (the stick pulled) are said ("not written")
// and go with the next row, or, left over at the run's end, as it ends;
// "Upload" afterwards sets the stopped timer going.
TEST_F(RunTest, RowsThatCannotBeWrittenAreSaidAndWrittenWithTheNextRowOrAtTheEnd)
{
    for (const auto &[channel, fall] : {std::pair{1, 2.0}, {2, 4.0}, {3, 6.0}, {4, 6.0}})
        rig->config.scenario.addRun(128, channel, {fall, 0});
    ExpController &c = ready();
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("stick")));
    startRun(runSetup(), path("stick/run.csv"));
    std::vector<bool> states;
    QObject::connect(&c, &ExpController::dataFileState, [&](bool written) { states.push_back(written); });
    const auto stickIn = [&](bool in) {
        return in ? QDir(folder.path()).mkdir(QStringLiteral("stick"))
                  : QDir(path("stick")).removeRecursively();
    };
    ASSERT_TRUE(stickIn(false));
    ASSERT_TRUE(tickUntil([&] { return c.counters().recordedRuns == 1; }, 100));
    EXPECT_EQ(states, std::vector<bool>({false}));
    ASSERT_TRUE(stickIn(true));
    ASSERT_TRUE(tickUntil([&] { return c.counters().recordedRuns == 2; }, 100));
    EXPECT_EQ(states, std::vector<bool>({false, true}));
    EXPECT_EQ(column(fileLines(path("stick/run.csv")), 0), QStringList({"Channel 1", "Channel 2"}));

    ASSERT_TRUE(stickIn(false));
    ASSERT_TRUE(tickUntil([&] { return c.counters().recordedRuns == 4; }, 100));
    ASSERT_TRUE(stickIn(true));
    c.requestStop();
    ASSERT_TRUE(tickUntil([&] { return !c.isRunning(); }, 10));
    EXPECT_EQ(states, std::vector<bool>({false, true, false, true}));
    EXPECT_EQ(column(fileLines(path("stick/run.csv")), 0), QStringList({"Channel 3", "Channel 4"}));
    ASSERT_FALSE(c.timer()->Enabled());
    c.requestUpload();
    EXPECT_TRUE(c.timer()->Enabled());
}

TEST_F(RunTest, FailedReadsCostAPollNeverAResult)
{
    rig->config.scenario.addRun(128, 1, {0.2, 0});
    rig->config.scenario.addRun(128, 2, {5.0, 0});
    ExpController &c = ready();
    SetupTexts setup = runSetup();
    setup.duration = QStringLiteral("0");
    // Channel 1 falls before the first good poll: still recorded.
    rig->bus->injectFault({128, kReadTimes, FaultKind::NoReply, 3});
    startRun(setup);
    const qint64 sessionStart = rig->nowUs;
    const QDateTime startedAt = clock;
    for (int i = 0; i < 8; ++i)
        tick();
    ASSERT_EQ(c.counters().recordedRuns, 1);
    QStringList lines = fileLines(csvPath());
    ASSERT_EQ(lines.size(), 20);
    EXPECT_TRUE(lines[19].startsWith(QStringLiteral("Channel 1,1,"))) << lines[19].toStdString();
    EXPECT_EQ(lines[19].section(',', 3, 4), QStringLiteral("0.2,5.0")); // the start speed

    // The poll that first sees channel 2 stopped loses its speed read, the
    // two after it their time reads.
    ASSERT_TRUE(tickUntil([&] { return rig->nowUs - sessionStart >= 4'900'000; }));
    rig->bus->injectFault({128, kReadSpeed, FaultKind::BadChecksum, 1});
    tick();
    ASSERT_EQ(c.record().bytChanBits & 2, 0);
    EXPECT_EQ(c.display().txtspeed, QStringLiteral("05.0"));
    rig->bus->injectFault({128, kReadTimes, FaultKind::NoReply, 2});
    tick();
    EXPECT_EQ(c.display().statusPanel, QStringLiteral("Error #1005"));
    tick();
    tick();
    EXPECT_EQ(c.counters().recordedRuns, 2);
    lines = fileLines(csvPath());
    ASSERT_EQ(lines.size(), 21);
    EXPECT_TRUE(lines[20].endsWith(QStringLiteral(",5.0,5.0,0.0,5.0,5.0,"))) << lines[20].toStdString();
    // Running from the first good poll of the session, it is stamped by it.
    const QString stamp = lines[20].section(',', 2, 2);
    EXPECT_TRUE(stamp == datafile::formatStamp(startedAt)
                || stamp == datafile::formatStamp(startedAt.addSecs(1)))
            << stamp.toStdString();
}

// A fall's speed is a reading taken near it: read again at once when the
// poll that saw the fall lost its read; taken from the set-up's ramp at the
// fall (and said so in the log) when the wheel could not be read for
// longer than an acceleration interval, never the last speed from long before.
TEST_F(RunTest, AFallsSpeedIsReadAgainOrTakenFromTheRampNeverFromLongBefore)
{
    rig->config.scenario.addRun(128, 1, {25.0, 0}); // at 7.0
    rig->config.scenario.addRun(128, 2, {35.0, 0}); // at 8.0
    ExpController &c = ready();
    startRun();
    ASSERT_TRUE(tickUntil([&] { return c.record().sngElapsed >= 14.0f; }, 200)); // at 6.0
    rig->bus->injectFault({128, kReadSpeed, FaultKind::BadChecksum, 100000});
    ASSERT_TRUE(tickUntil([&] { return c.counters().recordedRuns == 1; }, 200));
    rig->bus->clearInjectedFaults();
    std::size_t reads = 0;
    while (c.record().bytChanBits & 2 && c.record().sngElapsed < 40) {
        rig->bus->injectFault({128, kReadSpeed, FaultKind::BadChecksum, 1});
        reads = rig->requestsTo(128, kReadSpeed).size();
        tick();
    }
    EXPECT_EQ(rig->requestsTo(128, kReadSpeed).size(), reads + 2); // the poll's, lost, and one more
    ASSERT_TRUE(tickUntil([&] { return c.counters().recordedRuns == 2; }, 5));
    EXPECT_EQ(column(fileLines(csvPath()).mid(19), 4), QStringList({"7.0", "8.0"}));
    const QStringList runs = fileLines(path("run.log")).filter(QStringLiteral("Run recorded: "));
    ASSERT_EQ(runs.size(), 2);
    EXPECT_TRUE(
            runs[0].endsWith(QStringLiteral(" (speed from the set-up's ramp at the fall, 25.0 s into the "
                                            "session: no reading of the wheel speed near it); end: fall")))
            << runs[0].toStdString();
    EXPECT_TRUE(runs[1].endsWith(QStringLiteral("total 35.0 s; end: fall"))) << runs[1].toStdString();
}

TEST_F(RunTest, ATickDueWhileAnotherWindowHoldsTheLinkWaitsForIt)
{
    ExpController &c = ready();
    c.timer()->setEnabled(true);
    multiVelorix other;
    const int ticks = c.counters().ticks;
    const std::size_t sent = rig->codesSent(128).size();
    // Another window asks a device that is not there and holds the link for
    // the time-out; our tick falls due meanwhile.
    QTimer::singleShot(10, [&] { c.objTimer_Timer(0); });
    ByteBuffer speed(2);
    EXPECT_EQ(other.Read_Speed(200, speed), rc::NoReply);
    EXPECT_EQ(c.counters().ticks, ticks);
    EXPECT_EQ(c.counters().putOff, 1);
    EXPECT_EQ(rig->codesSent(128).size(), sent);
    QElapsedTimer clock;
    clock.start();
    while (c.counters().ticks == ticks && clock.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_EQ(c.counters().ticks, ticks + 1);
    EXPECT_EQ(c.counters().errors.count(rc::Busy), 0u);
}

// Closed while another window's exchange waits for its reply (further down
// the stack, so the link stays taken until the close returns), a running
// window still stops its device and resets it once that exchange is over:
// when its turn comes, or at once should the program end first.
TEST_F(RunTest, AWindowClosedInsideAnotherWindowsExchangeStillStopsAndResetsItsDevice)
{
    buildBus();
    for (const bool programEnds : {false, true}) {
        SCOPED_TRACE(programEnds ? "the program ends" : "the turn comes");
        ExpController *c = selfOwned(csvPath(programEnds ? "b.csv" : "a.csv"));
        QPointer<ExpController> guard(c);
        for (int i = 0; i < 40 && !c->isRunning(); ++i)
            tick(0.1, c);
        ASSERT_TRUE(c->isRunning());
        multiVelorix other;
        QTimer::singleShot(10, [c] { c->unload(true); });
        ByteBuffer speed(2);
        EXPECT_EQ(other.Read_Speed(200, speed), rc::NoReply); // holds the link for its time-out
        if (programEnds) {
            c->finishDeferredUnload(); // as on the program's aboutToQuit
        } else {
            QElapsedTimer clock;
            clock.start();
            while (!guard.isNull() && clock.elapsed() < 2000) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
        }
        const Codes codes = rig->codesSent(128);
        EXPECT_EQ(Codes(codes.end() - 2, codes.end()),
                  Codes({96, kReset})); // the stop's final poll, the reset
        EXPECT_NE(std::find(codes.end() - 8, codes.end(), kStopExp), codes.end());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(guard.isNull());
    }
}

TEST_F(RunTest, RockingRequestsComeAtTheFirstPollThenEveryInterval)
{
    ExpController &c = ready();
    SetupTexts setup = runSetup();
    setup.rockInterval = QStringLiteral("30");
    setup.duration = QStringLiteral("0");
    startRun(setup);
    tick();
    EXPECT_EQ(rig->bus->device(128)->counters().rockingRequests, 1);
    ASSERT_TRUE(tickUntil([&] { return rig->bus->device(128)->counters().rockingRequests == 3; }, 700, 0.5));
    EXPECT_GE(c.record().sngElapsed, 60.0f);
    EXPECT_LE(c.record().sngElapsed, 61.5f);

    // Firmware 2.1 takes no rocking request: it is dropped without a command.
    c.requestStop();
    tick();
    c.record().sngVersion = 2.1f;
    c.transfer().dtNextRock = {}; // due at the first poll
    startRun(setup);
    const std::size_t purges = rig->requestsTo(128, kPurgeOff).size();
    EXPECT_TRUE(c.requests().rocking); // raised by the poll of the start's tick
    EXPECT_EQ(c.transfer().intSetupStep, 14);
    tick();
    EXPECT_EQ(rig->requestsTo(128, kPurgeOff).size(), purges);
    EXPECT_TRUE(!c.requests().rocking && c.transfer().intSetupStep == 0);
}

TEST_F(RunTest, ClosingInsideATickOrItsWaitSendsNothingMoreThenResetsAndReleases)
{
    rig->config.scenario.addRun(128, 1, {2.0, 0});
    buildBus();
    pacing.downloadWaitMs = 40;
    for (const bool inDownload : {false, true}) {
        ExpController *c = selfOwned(csvPath(inDownload ? "b.csv" : "a.csv"));
        QPointer<ExpController> guard(c);
        for (int i = 0;
             i < 100 && (inDownload ? c->transfer().intSetupStep < 13 : c->counters().recordedRuns == 0); ++i)
            tick(0.1, c);
        rig->port->replyDelayMs = 5;
        const std::size_t sent = rig->codesSent(128).size();
        QTimer::singleShot(inDownload ? 10 : 1, [c] { c->unload(true); });
        tick(0.1, c);
        rig->port->replyDelayMs = 0;
        const Codes codes = rig->codesSent(128);
        // In a poll, the exchange under way, then the stop and its final
        // poll as "Stop Experiment" sends them; in the download's wait,
        // nothing (no reset of the step, no start); then the unload's reset.
        EXPECT_EQ(Codes(codes.begin() + long(sent), codes.end()),
                  inDownload ? Codes({kReset}) : Codes({118, 113, 118, 119, 82, 85, 96, kReset}));
        EXPECT_EQ(intDevObjCount, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(guard.isNull());
    }
    // The run recorded before, and the three the close stopped.
    EXPECT_EQ(fileLines(csvPath("a.csv")).size(), 23);
}

// What the stop of a run leaves in the data file, as "channel,run,speed,
// P_R time,P_R speed,total" per channel, for comparing one stop with another.
QStringList stopRows(const QStringList &lines)
{
    QStringList rows;
    for (const QString &line : lines.mid(19)) {
        const QStringList cells = line.split(QLatin1Char(','));
        rows << (QStringList{cells[1]} + cells.mid(3, 5)).join(QLatin1Char(','));
    }
    rows.sort();
    return rows;
}

TEST_F(RunTest, ClosingARunRecordsEveryRunInProgressAsStopExperimentDoes)
{
    rig->config.scenario.addRun(128, 2, {3.0, 20.0});
    rig->config.scenario.addRun(129, 2, {3.0, 20.0});
    buildBus();
    QStringList byButton;
    for (const bool byClose : {false, true}) {
        auto c = std::make_unique<ExpController>(byClose ? 2 : 1);
        prepare(*c);
        ASSERT_TRUE(c->load(nullptr));
        for (int i = 0; i < 20 && c->phase() == RunPhase::Uploading; ++i)
            tick(0.1, c.get());
        const QString csv = csvPath(byClose ? "close.csv" : "stop.csv");
        ASSERT_TRUE(begin(*c, csv));
        for (int i = 0; i < 60; ++i)
            tick(0.1, c.get());
        // Channel 2 rotates; the other three run.
        ASSERT_TRUE(c->record().bytRotBits & 0x02);
        if (byClose) {
            c->unload(false);
        } else {
            c->requestStop();
            tick(0.0, c.get());
            EXPECT_FALSE(c->isRunning());
            c->unload(false);
        }
        const QStringList lines = fileLines(csv);
        ASSERT_EQ(lines.size(), 19 + 4);
        EXPECT_EQ(fileLines(datafile::rawNameFor(csv)), lines); // the CSV is the working file
        if (byClose)
            EXPECT_EQ(stopRows(lines), byButton);
        else
            byButton = stopRows(lines);
    }
    ASSERT_EQ(byButton.size(), 4);
    EXPECT_TRUE(byButton[1].startsWith(QStringLiteral("2,3.0,5.0,0.5,"))) << byButton[1].toStdString();
}

// Master Start and ReStart Exp start a running channel over (the simulator
// tries the cut run again from the restart): its row pairs the new run's
// length with the new start, not with the session's start.
// Every start begins a trial; once each channel has its result, the rest
// counts down in the status text and ends with one beep. Only the poll
// goes out meanwhile.
TEST_F(RunTest, TrialsAreNumberedLoggedAndRestedBetweenWithoutACommand)
{
    for (int channel = 1; channel <= 4; ++channel) {
        rig->config.scenario.addRun(128, channel, {0.5 * channel, 0});
        rig->config.scenario.addRun(128, channel, {1.0, 0});
    }
    ExpController &c = ready();
    c.setRestSeconds(65);
    int beeps = 0;
    QObject::connect(&c, &ExpController::restOver, [&] { ++beeps; });
    SetupTexts setup = runSetup();
    setup.duration = QStringLiteral("0");
    startRun(setup);
    EXPECT_EQ(c.display().trialText, QStringLiteral("Trial 1"));
    ASSERT_TRUE(tickUntil([&] { return c.counters().recordedRuns == 4; }, 40));
    EXPECT_EQ(c.display().trialText, QStringLiteral("Trial 1 done, next in 1:05"));

    const auto commands = [&] {
        int sent = 0;
        for (const int code : rig->codesSent(128))
            sent += code == kStartAll || code == kStartExp || code == kStopExp || code == kReset;
        return sent;
    };
    const int commandsBefore = commands();
    for (int i = 0; i < 6; ++i)
        tick(10.0);
    EXPECT_EQ(c.display().trialText, QStringLiteral("Trial 1 done, next in 0:05"));
    EXPECT_EQ(beeps, 0);
    tick(5.0);
    tick(5.0);
    EXPECT_EQ(c.display().trialText, QStringLiteral("Trial 1 done, rest over"));
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(commands(), commandsBefore);

    c.requestStartAll();
    tick();
    EXPECT_EQ(c.display().trialText, QStringLiteral("Trial 2"));
    ASSERT_TRUE(tickUntil([&] { return c.counters().recordedRuns == 8; }, 40));
    // Trial 3 has no falls: a Master Start cuts it short.
    c.requestStartAll();
    tick();
    c.requestStartAll();
    tick();
    EXPECT_EQ(c.display().trialText, QStringLiteral("Trial 4"));
    c.requestStop();
    ASSERT_TRUE(tickUntil([&] { return !c.isRunning(); }, 40));
    EXPECT_EQ(c.display().trialText, QStringLiteral("Trial 4 done"));
    EXPECT_EQ(beeps, 1);

    QStringList trials;
    for (const QString &line : fileLines(path("run.log"))) {
        const qsizetype at = line.indexOf(QStringLiteral("Trial "));
        if (at >= 0)
            trials << line.mid(at);
    }
    EXPECT_EQ(trials,
              QStringList({"Trial 1 started", "Trial 1 done", "Trial 1: rest over", "Trial 2 started",
                           "Trial 2 done", "Trial 3 started",
                           "Trial 3 cut short by a new start; no result from channel(s) 1, 2, 3, 4",
                           "Trial 4 started", "Trial 4 done"}));
}

TEST_F(RunTest, AChannelThatARestartCutsIsRecordedFromTheRestart)
{
    rig->config.scenario.addRun(128, 2, {30.0, 0});
    for (const bool masterStart : {true, false}) {
        SCOPED_TRACE(masterStart ? "Master Start" : "ReStart Exp");
        if (!masterStart) {
            ctrl->unload(false);
            rig = std::make_shared<SimRig>();
            rig->config.scenario.addRun(128, 2, {30.0, 0});
        }
        ExpController &c = ready();
        const QString csv = csvPath(masterStart ? "master.csv" : "restart.csv");
        startRun(runSetup(), csv);
        ASSERT_TRUE(tickUntil([&] { return c.record().sngElapsed >= 10; }, 200));
        masterStart ? c.requestStartAll() : c.requestRestart();
        tick();
        const QString restart = clock.toString(QStringLiteral("MM/dd/yy HH:mm:ss"));
        ASSERT_FALSE(c.requests().masterStart != RunRequests::MasterStart::None || c.requests().restart);
        const auto rows = [&] { return fileLines(csv).filter(QStringLiteral("Channel 2,2,")); };
        ASSERT_TRUE(tickUntil([&] { return !rows().isEmpty(); }, 400));
        EXPECT_EQ(column(rows(), 2), QStringList{restart});
        EXPECT_EQ(column(rows(), 3), QStringList{QStringLiteral("30.0")});
    }
}

TEST_F(RunTest, AStopRefusedOrFollowedByFailedReadsNeverDropsARun)
{
    rig->config.scenario.addRun(128, 1, {2.0, 0});
    ExpController &c = ready();
    startRun();
    for (int i = 0; i < 50; ++i)
        tick();
    // Listed as running, under its window's caption, until it has stopped.
    const auto listed = runningExperiments().on(std::uint8_t(128));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].caption, QStringLiteral("Experiment for Device 1 at address 128"));
    EXPECT_TRUE(runningExperiments().on(std::uint8_t(129)).empty());

    // A stop the device refuses keeps the run polling and shows the error.
    rig->bus->injectFault({128, kStopExp, FaultKind::Nak, 3});
    c.requestStop();
    for (int i = 0; i < 3; ++i) {
        const int polls = c.counters().polls;
        tick();
        EXPECT_TRUE(c.isRunning());
        EXPECT_EQ(c.display().statusPanel, QStringLiteral("Error #2006"));
        EXPECT_EQ(c.counters().polls, polls + 1);
    }
    // The first reads after the Stop_Exp it takes are lost: they are read again.
    rig->bus->injectFault({128, kReadTimes, FaultKind::NoReply, 2});
    ASSERT_TRUE(tickUntil([&] { return !c.isRunning(); }, 5));
    EXPECT_EQ(rig->requestsTo(128, kStopExp).size(), 4u);
    EXPECT_EQ(c.display().statusPanel, QStringLiteral("successful"));
    EXPECT_TRUE(runningExperiments().on(std::nullopt).empty());
    QStringList lines = fileLines(csvPath());
    ASSERT_EQ(lines.size(), 19 + 4);
    // The three runs the stop cut short: as long as the session.
    EXPECT_EQ(column(lines.mid(20), 3), QStringList(3, QString::number(c.record().sngElapsed, 'f', 1)));

    // A device that stops and then never answers: the runs are recorded
    // from the last good reply, as far as they had got.
    startRun();
    for (int i = 0; i < 30; ++i)
        tick();
    const float reached = c.record().sngElapsed;
    rig->bus->injectFault({128, kReadTimes, FaultKind::NoReply, 100});
    c.requestStop();
    ASSERT_TRUE(tickUntil([&] { return !c.isRunning(); }, pacing.stopReadTries + 1));
    lines = fileLines(csvPath()); // a new file for the second session
    EXPECT_EQ(column(lines.mid(19), 3), QStringList(4, QString::number(reached, 'f', 1)));
    std::vector<LoggedSession> sessions;
    ASSERT_TRUE(readSessionLogFile(datafile::logNameFor(csvPath()), sessions));
    ASSERT_EQ(sessions.back().runs.size(), 4u);
    for (const LoggedRun &run : sessions.back().runs)
        EXPECT_EQ(run.end, RunEnd::LastGoodReply);
}

TEST_F(RunTest, APortThatIsGoneOrRefusedGivesResultCodesNotACrash)
{
    buildBus();
    strCommPort = QStringLiteral("COM9"); // not on the list: unplugged
    ExpController &c = open();
    tick();
    tick();
    EXPECT_EQ(c.phase(), RunPhase::Uploading);
    EXPECT_EQ(c.display().txtDisplay, QStringLiteral("Error #1003"));
    c.unload(false);
    ctrl.reset();
    rig->port->refusedPorts.insert(QStringLiteral("SIM"));
    strCommPort = QStringLiteral("SIM");
    ExpController refused(1);
    prepare(refused);
    PortError error;
    EXPECT_FALSE(refused.load(&error));
    EXPECT_EQ(error.number, 5);
    EXPECT_NE(refused.phase(), RunPhase::Uploading);
    refused.unload(false);
}

} // namespace
} // namespace velorix::testing
