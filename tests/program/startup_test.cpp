// The whole start-up against the simulated devices on a pseudo-terminal:
// port search, configured scan and the idle main window.

#include "simkit.h"
#include "statekit.h"

#include "discovery/windows/frmcomsetup.h"
#include "discovery/windows/frmdevicescan.h"
#include "model/deviceconfig.h"
#include "base/textlines.h"
#include "program/startup.h"
#include "shell/frmmain.h"

#include <QProcess>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace velorix;
using namespace velorix::testing;

namespace {

QByteArray deviceIni(const std::vector<std::pair<int, int>> &numberAndAddress)
{
    DeviceTable table;
    for (const auto &[number, address] : numberAndAddress) {
        table[number].intDevType = kDevTypeVelorix5;
        table[number].bytBusAddr = static_cast<std::uint8_t>(address);
        table[number].sngVersion = 2.05f;
        table[number].sngProdID = 254;
        table[number].strLabel = QStringLiteral("rack %1").arg(number);
    }
    return formatDeviceConfig(table, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
}

// Watches the windows while the start-up runs in its nested waits.
struct WindowWatch
{
    bool manualControlsSeen = false;
    bool scanWindowSeen = false;
    std::function<void(frmcomsetup *)> onPortSetup;
    QTimer timer;

    explicit WindowWatch(Startup &startup)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, &startup] {
            frmMain *main = startup.mainWindow();
            if (auto *setup = main ? main->childWindow<frmcomsetup>() : nullptr) {
                if (auto *option = setup->findChild<QRadioButton *>(QStringLiteral("optcom")))
                    manualControlsSeen |= option->isVisible();
                if (onPortSetup)
                    onPortSetup(setup);
            }
            scanWindowSeen |= main && main->childWindow<frmdevicescan>() != nullptr;
        });
        timer.start(10);
    }
};

class StartupTest : public SharedStateTest
{
protected:
    void TearDown() override
    {
        startup.reset();
        SharedStateTest::TearDown();
    }

    void startSimulator() { host = std::make_unique<PtySimulator>(); } // 128..131 at 2.20
    void writeConfig(const QByteArray &text)
    {
        QDir(working.path()).mkpath(QStringLiteral("config"));
        ASSERT_TRUE(writeFile(working.filePath(QStringLiteral("config/device.ini")), text));
    }
    Startup &makeStartup(StartupOptions options = {})
    {
        options.workingFolder = working.path();
        options.portPauseMs = 20; // not a second per port
        if (options.factoryFolder.isEmpty())
            options.factoryFolder = QStringLiteral(VELORIX_FACTORY_DIR);
        startup = std::make_unique<Startup>(options);
        return *startup;
    }

    QTemporaryDir working; // the start-up makes its folders itself
    std::unique_ptr<PtySimulator> host;
    std::unique_ptr<Startup> startup;
};

TEST_F(StartupTest, FirstRunFindsTheFactoryDeviceAndScansIt)
{
    startSimulator();
    Startup &s = makeStartup();
    WindowWatch watch(s);
    s.Main();

    // The factory copies were installed, with the notice first.
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, factoryCopyNotice().text);

    EXPECT_TRUE(bolCommFound);
    EXPECT_EQ(strCommPort, host->port()); // (the port set-up's title: the discovery windows' tests)
    EXPECT_TRUE(watch.scanWindowSeen);

    // Idle: no working window left, the status text set, the record refreshed.
    ASSERT_NE(s.mainWindow(), nullptr);
    EXPECT_TRUE(s.mainWindow()->childWindows().isEmpty());
    EXPECT_EQ(s.mainWindow()->statusText(), QStringLiteral("No Experiment Running"));
    EXPECT_TRUE(Devices[1].bolPresent);
    EXPECT_EQ(Devices[1].bytBusAddr, 128);
    EXPECT_FLOAT_EQ(Devices[1].sngVersion, 2.2f);
    EXPECT_EQ(objComm, nullptr); // no window holds the port any more
}

TEST_F(StartupTest, ConfiguredScanAsksEachDeviceInNumberOrderWithItsPauses)
{
    writeConfig(deviceIni({{1, 130}, {2, 128}, {4, 131}}));
    startSimulator();
    Startup &s = makeStartup();
    s.Main();
    EXPECT_TRUE(prompts->messages.empty()); // the configuration was there

    // What the bus saw: the port search asks for device 1 (address 130), then
    // the scan resets the bus and asks each device in number order, paced.
    QList<QByteArray> seen;
    std::vector<qint64> at;
    for (const auto &entry : (*host)->frameLog()) {
        if (entry.direction == sim::FrameLogEntry::Direction::ToDevice) {
            seen << entry.bytes;
            at.push_back(entry.timeUs);
        }
    }
    EXPECT_EQ(seen,
              QList<QByteArray>(
                      {"\x82\x11\x93", "\xFF\x10\x0F", "\x82\x11\x93", "\x80\x11\x91", "\x83\x11\x94"}));
    ASSERT_EQ(at.size(), 5u);
    EXPECT_LT(at[2] - at[1], 1300000);
    for (std::size_t i = 2; i < at.size(); ++i)
        EXPECT_GE(at[i] - at[i - 1], 100000) << i;

    for (int number : {1, 2, 4}) {
        EXPECT_FLOAT_EQ(Devices[number].sngVersion, 2.2f) << number;
        EXPECT_EQ(Devices[number].strLabel, QStringLiteral("rack %1").arg(number)); // kept
    }
}

TEST_F(StartupTest, WithNothingConfiguredOrNoDeviceAnsweringTheManualSearchIsOfferedAndNothingScanned)
{
    QTemporaryDir noFactoryCopies;
    for (const bool configured : {false, true}) {
        StartupOptions options;
        if (configured) {
            writeConfig(deviceIni({{1, 200}}));
            startSimulator();
        } else {
            options.factoryFolder = noFactoryCopies.path();
        }
        Startup &s = makeStartup(options);
        WindowWatch watch(s);
        // The operator gives up on the search once the manual controls show.
        watch.onPortSetup = [&watch, configured](frmcomsetup *setup) {
            if ((watch.manualControlsSeen || !configured) && !setup->isSearching())
                setup->close();
        };
        s.Main();
        EXPECT_EQ(watch.manualControlsSeen, configured);
        EXPECT_FALSE(watch.scanWindowSeen) << configured;
        EXPECT_FALSE(bolCommFound || bolPortSetup) << configured;
        EXPECT_EQ(
                std::count_if(Devices.begin(), Devices.end(), [](const DeviceInfo &d) { return d.inUse(); }),
                configured ? 1 : 0);
        ASSERT_NE(s.mainWindow(), nullptr);
        EXPECT_EQ(s.mainWindow()->statusText(), QStringLiteral("No Experiment Running"));
    }
}

TEST_F(StartupTest, ClosingTheMainWindowDuringAnyWaitOfTheStartUpEndsTheProgram)
{
    // Closed during the search, once the search has failed and the port
    // set-up waits for the user, and under the factory-copy message box.
    enum class When {
        Searching,
        NothingFound,
        UnderTheMessage
    };
    for (const When when : {When::Searching, When::NothingFound, When::UnderTheMessage}) {
        if (when == When::UnderTheMessage) {
            QDir(working.path()).removeRecursively();
            QDir().mkpath(working.path());
        } else {
            writeConfig(deviceIni({{1, 200}}));
        }
        if (!host)
            startSimulator();
        Startup &s = makeStartup();
        WindowWatch watch(s);
        if (when == When::Searching)
            QTimer::singleShot(30, [&s] { s.mainWindow()->close(); });
        if (when == When::NothingFound) {
            watch.onPortSetup = [&watch, &s](frmcomsetup *setup) {
                if (watch.manualControlsSeen && !setup->isSearching())
                    s.mainWindow()->close();
            };
        }
        if (when == When::UnderTheMessage)
            prompts->whileShown = [&s](const MessageRequest &) { s.mainWindow()->close(); };
        s.Main(); // must return, not wait for ever
        prompts->whileShown = nullptr;
        EXPECT_TRUE(s.isOver()) << int(when); // main() then ends instead of running on without a window
        EXPECT_FALSE(s.mainWindow()->isVisible()) << int(when);
        EXPECT_FALSE(bolCommFound || bolPortSetup) << int(when);
        EXPECT_FALSE(watch.scanWindowSeen) << int(when);
    }
}

// Session logs as a kill leaves them, and as a stop or a close does: the
// start-up tells the sessions that never ended, in one message, once.
TEST_F(StartupTest, SessionsThatNeverEndedAreToldOnceWithTheRunsTheyCut)
{
    const auto log = [](const QStringList &events) {
        QByteArray text;
        for (const QString &event : events)
            text += "2024-05-06T09:00:00 " + event.toLatin1() + "\r\n";
        return text;
    };
    const QString start = QStringLiteral("Experiment started: Start_Exp to 128");
    const QString channels
            = QStringLiteral("Channels running: Ch 1 (M1), Ch 2 (M3), Ch 3 (Channel 3), Ch 4 (Channel 4)");
    const auto run = [](int channel) {
        return QStringLiteral(
                       "Run recorded: channel %1, subject M1, started 05/06/24 09:00:00, run time 2.0 s, "
                       "speed 5.0 RPM, passive rotation 0.0 s at 5.0 RPM, total 2.0 s")
                .arg(channel);
    };
    const QString stopped = QStringLiteral("Experiment stopped (\"Stop Experiment\"), 0 run(s) recorded");
    const auto session
            = [](const char *file) { return QStringLiteral("New session, new data file /d/%1").arg(file); };
    const QString data = working.filePath(QStringLiteral("Data/"));
    QDir().mkpath(data);
    const std::map<QString, QStringList> logs = {
            // The run of channel 2 came before the restart; channel 4's subject changed since.
            {"cut.log",
             {session("cut.csv"), start, channels, run(2), QStringLiteral("Master Start: Start_ALL to 128"),
              channels, run(1), run(3), QStringLiteral("Subject ID of Ch 4: M7")}},
            {"old.log", {session("old.csv"), start, run(1)}},
            {"done.log", {session("done.csv"), start, channels, run(1), run(2), run(3), run(4)}},
            {"download.log", {session("download.csv")}},
            {"stopped.log", {session("stopped.csv"), start, stopped}},
            {"closed.log",
             {session("a.csv"),
              QStringLiteral("Session ended: the window was closed before the "
                             "experiment started")}},
            {"again.log",
             {session("again.csv"), start, channels, session("again.csv"), start, channels, stopped}},
    };
    for (const auto &[name, events] : logs)
        ASSERT_TRUE(writeFile(data + name, log(events)));

    QTemporaryDir noFactoryCopies;
    for (int round = 0; round < 2; ++round) {
        StartupOptions options;
        options.factoryFolder = noFactoryCopies.path(); // no device: the port set-up is given up
        Startup &s = makeStartup(options);
        WindowWatch watch(s);
        watch.onPortSetup = [](frmcomsetup *setup) {
            if (!setup->isSearching())
                setup->close();
        };
        prompts->messages.clear();
        s.Main();
        std::vector<MessageRequest> messages;
        std::copy_if(
                prompts->messages.begin(), prompts->messages.end(), std::back_inserter(messages),
                [](const MessageRequest &m) { return m.title == QLatin1String("Interrupted Sessions"); });
        if (round == 1) {
            EXPECT_TRUE(messages.empty()); // told once
            break;
        }
        ASSERT_EQ(messages.size(), 1u);
        const QStringList told = messages[0].text.split(QLatin1Char('\n'));
        EXPECT_EQ(
                told.mid(1),
                QStringList({
                        "cut.csv, session begun 2024-05-06 09:00:00: not recorded: Ch 2 (M3), Ch 4 (M7)",
                        "done.csv, session begun 2024-05-06 09:00:00: every run was recorded",
                        "download.csv, session begun 2024-05-06 09:00:00: the experiment had not started yet",
                        "old.csv, session begun 2024-05-06 09:00:00: the channels that ran are not known (its log does not "
                        "name them)",
                }));
    }
    const QString ended
            = QStringLiteral("Session ended without a stop (the program or the computer stopped); "
                             "not recorded: ");
    for (const auto &[name, last] : std::map<QString, QString>{
                 {"cut.log", ended + "Ch 2 (M3), Ch 4 (M7)"},
                 {"done.log", ended + "none"},
                 {"old.log", ended + "unknown (this log does not name the channels that ran)"},
                 {"stopped.log", stopped}}) {
        QStringList lines;
        ASSERT_TRUE(readTextLines(data + name, lines));
        EXPECT_TRUE(lines.constLast().endsWith(QLatin1Char(' ') + last)) << lines.constLast().toStdString();
    }
}

// Help and version are text on a terminal: they need no display.
TEST(ProgramCommandLine, HelpAndVersionPrintWithoutADisplay)
{
    for (const char *option : {"--help", "--version"}) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(VELORIX_PROGRAM), {QLatin1String(option)});
        ASSERT_TRUE(program.waitForFinished(10000)) << option;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << option;
        EXPECT_EQ(program.exitCode(), 0) << option << program.readAllStandardError().toStdString();
        EXPECT_TRUE(program.readAllStandardOutput().contains(option[2] == 'h' ? "--simulate" : "Velorix "))
                << option;
    }
}

} // namespace
