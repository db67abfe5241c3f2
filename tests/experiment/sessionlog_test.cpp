// The session log beside a data file: what it tells of each session, and
// that it never costs the data file anything.

#include "runtestkit.h"

#include "experiment/core/interruptedsessions.h"

#include <QDir>
#include <QRegularExpression>

namespace velorix::testing {
namespace {

// Channel 1 falls at 2.0 s, channel 3 at 3.0 s into 2.0 s of passive
// rotation; 2 and 4 run until the stop. Sessions last 8 s.
class SessionLogTest : public RunTest
{
protected:
    void SetUp() override
    {
        RunTest::SetUp();
        plan();
    }
    void plan()
    {
        rig->config.scenario.addRun(128, 1, {2.0, 0});
        rig->config.scenario.addRun(128, 3, {3.0, 2.0});
    }
    void runOn(const QString &csv, bool append)
    {
        SetupTexts setup = runSetup();
        setup.duration = QStringLiteral("8");
        startRun(setup, csv, append);
    }
};

TEST_F(SessionLogTest, EachSessionIsToldInOrderWithItsErrorsAndHowItEnded)
{
    ExpController &c = ready();
    runOn(csvPath(), false);
    rig->bus->injectFault({128, 96 /* Read_Times */, sim::FaultKind::NoReply, 3});
    for (int i = 0; i < 4; ++i)
        tick();
    ScriptedResponse pulled; // the cable, for three ticks
    pulled.failPort = true;
    rig->port->responses.push_back(pulled);
    for (int i = 0; i < 3; ++i)
        tick();
    rig->port->refusedPorts.remove(QStringLiteral("SIM"));
    ASSERT_TRUE(tickUntil([&] { return !c.isRunning(); }, 200)); // the duration ends it
    for (const bool byClose : {false, true}) {                   // two more sessions on the same file
        runOn(csvPath(), true);
        tick();
        if (byClose) {
            c.unload(false);
        } else {
            c.requestStop();
            tick();
        }
    }

    const QStringList log = fileLines(path("run.log"));
    const QRegularExpression stamped(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d \\S"));
    for (const QString &line : log)
        EXPECT_TRUE(stamped.match(line).hasMatch()) << line.toStdString();
    const QString noReply = QStringLiteral("Read_Times to 128: 1005 (no reply, or a short one)");
    const QStringList events = {
            QStringLiteral("New session, new data file ") + csvPath(),
            QStringLiteral("Velorix Version "),
            QStringLiteral("Device 1 at address 128, firmware 2.20"),
            QStringLiteral("Set-up: Start Speed 5.0 RPM"),
            QStringLiteral("Set-up: Passive Rotation Delay 1.0 s"),
            QStringLiteral("Set-up: Session Duration 8 s"),
            QStringLiteral("Reset to 128: the set-up is downloaded"),
            QStringLiteral("Experiment started: Start_Exp to 128"),
            QStringLiteral(
                    "Channels running: Ch 1 (Channel 1), Ch 2 (Channel 2), Ch 3 (Channel 3), Ch 4 (Channel 4)"),
            noReply,
            noReply + QStringLiteral(" again 2 more time(s)"),
            QStringLiteral("Contact lost: the device at address 128 does not answer: 1003 (the port failed)"),
            QStringLiteral("Re-connected: "),
            QStringLiteral("Run recorded: channel 1, subject Channel 1, started 05/06/24 09:00:"),
            QStringLiteral("Run recorded: channel 3,"),
            QStringLiteral("Stop requested: the session duration of 8 s ended"),
            QStringLiteral("Experiment stopped (the session duration ended), 4 run(s) recorded"),
            QStringLiteral("New session, appending to the data file ") + csvPath(),
            QStringLiteral("Stop requested: \"Stop Experiment\""),
            QStringLiteral("Experiment stopped (\"Stop Experiment\"), 4 run(s) recorded"),
            QStringLiteral("New session, appending to the data file "),
            QStringLiteral("Stop requested: the window is being closed"),
            QStringLiteral("Experiment stopped (the window was closed), 4 run(s) recorded"),
            QStringLiteral("Reset to 128: the window was closed"),
    };
    qsizetype at = 0;
    for (const QString &event : events) {
        while (at < log.size() && !log[at].contains(event))
            ++at;
        ASSERT_LT(at++, log.size()) << "missing or out of order: " << event.toStdString();
    }
    // Every row of the data file, and nothing else, is a run in the log.
    EXPECT_EQ(log.filter(QStringLiteral(" Run recorded: ")).size(), fileLines(csvPath()).size() - 19);
    EXPECT_TRUE(log.filter(QStringLiteral(" Run recorded: channel 1,"))[0].endsWith(QStringLiteral(
            "run time 2.0 s, speed 5.0 RPM, passive rotation 0.0 s at 5.0 RPM, total 2.0 s; end: fall")));

    // Read back: three sessions on the file, each ended, every run in it.
    const std::vector<LoggedSession> sessions = readSessionLog(log);
    ASSERT_EQ(sessions.size(), 3u);
    for (const LoggedSession &session : sessions) {
        EXPECT_EQ(session.dataFile, csvPath());
        EXPECT_TRUE(session.ended() && session.started);
        EXPECT_EQ(session.runs.size(), 4u);
        EXPECT_EQ(session.unrecorded(), std::vector<LoggedChannelId>{}); // the stops recorded every run
    }
    EXPECT_TRUE(sessions[1].appending && !sessions[0].appending);
    // How each run ended: two falls and two cut off by the duration, then
    // the button's, then the closed window's.
    std::vector<std::vector<RunEnd>> ends;
    for (const LoggedSession &session : sessions) {
        ends.emplace_back();
        for (const LoggedRun &run : session.runs)
            ends.back().push_back(run.end);
    }
    using E = RunEnd;
    EXPECT_EQ(ends,
              std::vector<std::vector<RunEnd>>({{E::Fall, E::Fall, E::CutOff, E::CutOff},
                                                std::vector<E>(4, E::StopButton),
                                                std::vector<E>(4, E::WindowClosed)}));
    // A log written before run lines said how they ended reads as before.
    const std::vector<LoggedSession> old = readSessionLog(
            {"2024-05-06T09:00:00 New session, new data file a.csv",
             "2024-05-06T09:00:03 Run recorded: channel 2, subject M1, started 05/06/24 09:00:01, run time "
             "2.0 s, speed 5.0 RPM, passive rotation 0.0 s at 5.0 RPM, total 2.0 s"});
    ASSERT_EQ(old.size(), 1u);
    ASSERT_EQ(old[0].runs.size(), 1u);
    EXPECT_EQ(old[0].runs[0].end, RunEnd::Unknown);
    EXPECT_EQ(old[0].runs[0].total, 2.0);
    const LoggedRun &first = sessions[0].runs[0];
    EXPECT_EQ(std::tuple(first.channel, first.subject, first.runTime, first.speed, first.units, first.total),
              std::tuple(1, QStringLiteral("Channel 1"), 2.0, 5.0, QStringLiteral("RPM"), 2.0));
}

// What a kill leaves is the log as it stands mid-run: every line is on the
// disk as it happens. The next start names the runs it cut, once.
TEST_F(SessionLogTest, ASessionThatNeverStoppedIsToldOnceWithTheRunsItCut)
{
    ExpController &c = ready();
    c.setSubjectId(1, QStringLiteral("M3"));
    const QDateTime began = clock;
    runOn(csvPath(), false);
    c.setSubjectId(3, QStringLiteral("M7")); // while it runs: the row will carry it
    // Channel 1 is recorded; channel 3 has fallen but still rotates.
    ASSERT_TRUE(tickUntil([&] { return c.record().sngElapsed >= 3.5f; }, 60));
    ASSERT_EQ(c.counters().recordedRuns, 1);

    std::vector<InterruptedSession> found = findInterruptedSessions(folder.path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(SessionLog::stamp(found[0].session.began), SessionLog::stamp(began));
    closeInterruptedSessions(found, [&] { return clock; });
    EXPECT_TRUE(found[0].closed);
    EXPECT_EQ(fileLines(path("run.log")).constLast(),
              SessionLog::stamp(clock)
                      + QStringLiteral(" Session ended without a stop (the program or the computer stopped); "
                                       "not recorded: Ch 2 (M3), Ch 3 (Channel 3), Ch 4 (M7)"));
    EXPECT_TRUE(findInterruptedSessions(folder.path()).empty());
    // A log that could not take the line is told again next time, and says so.
    const QString again = QStringLiteral("so it is told again at the next start");
    EXPECT_FALSE(interruptedSessionsMessage(found).text.contains(again));
    found[0].closed = false;
    EXPECT_TRUE(interruptedSessionsMessage(found).text.contains(again));
}

// The same session twice from the same start, once with a folder where its
// log should go: the data files hold the same bytes, and the operator is
// told once.
TEST_F(SessionLogTest, ALogThatCannotBeWrittenIsToldOnceAndCostsTheDataFileNothing)
{
    QByteArray files[2];
    for (const bool blocked : {false, true}) {
        if (blocked) {
            ctrl->unload(false);
            rig = std::make_shared<SimRig>();
            plan();
            clock = QDateTime(QDate(2024, 5, 6), QTime(9, 0, 0));
        }
        const QString name = QLatin1String(blocked ? "blocked" : "free");
        ASSERT_TRUE(QDir(folder.path()).mkpath(name + QLatin1String(blocked ? "/run.log" : "")));
        ExpController &c = ready();
        int told = 0;
        QObject::connect(&c, &ExpController::sessionLogFailed, [&](const QString &logFile) {
            ++told;
            EXPECT_EQ(logFile, folder.filePath(name + QStringLiteral("/run.log")));
        });
        runOn(folder.filePath(name + QStringLiteral("/run.csv")), false);
        ASSERT_TRUE(tickUntil([&] { return !c.isRunning(); }, 200));
        c.unload(false);
        EXPECT_EQ(told, blocked ? 1 : 0);
        files[blocked]
                = contents(folder.filePath(name + QStringLiteral("/run.csv"))).replace(name.toLatin1(), "x");
    }
    EXPECT_EQ(fileLines(path("free/run.csv")).size(), 19 + 4);
    EXPECT_EQ(files[1], files[0]);
}

} // namespace
} // namespace velorix::testing
