// velorix-cli as a script would use it: against velorix-sim over a real
// pseudo-terminal, judged by its output and exit status alone.

#include "cli/clirunner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

struct CliRun
{
    int exitCode = -1;
    QStringList lines;
    QString errors;
};

class CliTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = new QTemporaryDir;
        link = folder->filePath(QStringLiteral("ttyVELORIX"));
        sim = new QProcess;
        sim->start(QStringLiteral(VELORIX_SIM),
                   {"--link", link, "--device", "130:2.20", "--device", "131:2.05", "--wire-timing", "off",
                    "--seed", "3"});
        ASSERT_TRUE(sim->waitForStarted(5000));
        for (int i = 0; i < 100 && !QFileInfo::exists(link); ++i)
            QThread::msleep(50);
        ASSERT_TRUE(QFileInfo::exists(link)) << sim->readAllStandardError().toStdString();
    }
    static void TearDownTestSuite()
    {
        sim->terminate();
        sim->waitForFinished(5000);
        delete sim;
        delete folder;
    }

    static CliRun cli(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral(VELORIX_CLI), arguments);
        process.waitForFinished(10000);
        CliRun run;
        run.exitCode = process.exitCode();
        run.lines = QString::fromLatin1(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        run.errors = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }
    static CliRun device(QStringList arguments)
    {
        arguments.prepend(link);
        arguments.prepend(QStringLiteral("--port"));
        return cli(arguments);
    }

    static inline QTemporaryDir *folder = nullptr;
    static inline QProcess *sim = nullptr;
    static inline QString link;
};

TEST_F(CliTest, CommandsPrintTheirResultCodeAndBodyFailuresExitOneAndUsageErrorsTwo)
{
    // Lines joined by '|', "#n" for a data line of n numbers. In order: a
    // write is read back, the devices are still there after the resets.
    const std::pair<const char *, const char *> cases[] = {{"ReturnID 130", "0|02540220"},
                                                           {"ReturnID 131", "0|02540205"},
                                                           {"Read_Sensor 130", "0|#4"},
                                                           {"Read_Times 130", "0|#11"},
                                                           {"GetCalConstants 130", "0|#8"},
                                                           {"WriteMem 130 34 77", "0"},
                                                           {"ReadMem 130 34", "0|77"},
                                                           {"ReturnID 200", "1005"},
                                                           {"SetGroupID 130 239", "2008"},
                                                           {"BusRESET", "0"},
                                                           {"Reset 130", "0"},
                                                           {"IDString", "0|02540200"},
                                                           {"ReturnID 130", "0|02540220"}};
    for (const auto &[command, expected] : cases) {
        const CliRun run = device(QString::fromLatin1(command).split(' '));
        QStringList lines = run.lines;
        if (QByteArray(expected).contains('#') && lines.size() > 1)
            lines[1] = '#' + QString::number(lines[1].split(' ').size());
        EXPECT_EQ(lines.join('|'), QLatin1String(expected)) << command;
        EXPECT_EQ(run.exitCode, expected[0] == '0' ? 0 : 1) << command;
    }
    // Standard output is the bare code for scripts; the meaning goes to standard error.
    const std::pair<QStringList, const char *> meanings[]
            = {{{"ReturnID", "130"}, ""},
               {{"ReturnID", "200"}, "velorix-cli: 1005: no reply"},
               {{"SetGroupID", "130", "239"}, "velorix-cli: 2008: a group ID outside 240 to 254"},
               {{"ProgramData", "130", ":00000001FF"}, "needs the device in program mode"}}; // in normal mode
    for (const auto &[args, meaning] : meanings) {
        const CliRun run = device(args);
        EXPECT_EQ(run.lines.size(), *meaning ? 1 : 2) << args.join(' ').toStdString();
        EXPECT_EQ(run.errors.isEmpty(), !*meaning) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(QLatin1String(meaning))) << run.errors.toStdString();
    }
    const CliRun ports = cli({"--port", link, "ports"});
    EXPECT_EQ(ports.exitCode, 0);
    EXPECT_TRUE(ports.lines.contains(link));

    // Usage errors exit with 2 and a message; "%L" is the port.
    for (const char *line :
         {"", "--port", "--port %L", "--port %L Frobnicate 130", "--port %L WriteMem 130 34",
          "--port %L WriteMem 130 34 256", "--port %L ReadMem 130 x", "--port %L Start_Exp 130 1",
          "--port %L PumpSelect 130 1 300", "--port %L Program 130", "ReturnID 130"}) {
        const QStringList args = QString::fromLatin1(line).replace("%L", link).split(' ', Qt::SkipEmptyParts);
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(run.errors.isEmpty()) << args.join(' ').toStdString();
        EXPECT_TRUE(run.lines.isEmpty()) << args.join(' ').toStdString();
    }
    const CliRun missing = cli({"--port", folder->filePath("nothing-here"), "ReturnID", "130"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.errors.contains("cannot open port")) << missing.errors.toStdString();
}

// The study's results from the command line: the summary to standard
// output unless a file is named, the files' faults to standard error.
TEST(CliResults, WritesTheRunsAndTheSummaryAndListsTheFilesFaults)
{
    QTemporaryDir study;
    QFile data(study.filePath("day1.csv"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write("Tarvenor Velorix-5 1.0\r\nVelorix-5 number 1 at address 128\r\n[Experiment Data]\r\n"
               "Subject ID,CH #,Start Time,Run Time (sec),Speed (RPM),P_R Time (sec),P_R Speed (RPM),"
               "Total Run Time (sec),\r\nM1,1,12/07/26 10:00:00,12.5,20.0,0.0,20.0,12.5,\r\nM1,2,12/07");
    data.close();
    QProcess cli;
    const auto run = [&cli](const QStringList &arguments) {
        cli.start(QStringLiteral(VELORIX_CLI), arguments);
        cli.waitForFinished(10000);
        return cli.exitCode();
    };
    const QString runs = study.filePath("out/runs.csv");
    ASSERT_TRUE(QDir().mkpath(study.filePath("out")));
    EXPECT_EQ(run({"results", study.path(), "--runs", runs}), 0);
    EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(cli.readAllStandardError().contains("day1.csv:6: a broken line"));
    QFile written(runs);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = written.readAll().split('\n');
    EXPECT_TRUE(lines[0].startsWith("subject,group,date,study_day,days_since_first,trial,"));
    EXPECT_TRUE(lines[1].startsWith("M1,(none),2026-12-07,1,0,1,1,128,1,2026-12-07T10:00:00,12.5,"))
            << lines[1].data();

    EXPECT_EQ(run({"results", study.path()}), 0);
    EXPECT_TRUE(cli.readAllStandardOutput().contains("\ngroup_day,(none),,1,,,1,,,12.5,"));
    EXPECT_EQ(run({"results", study.path(), "--runs", study.filePath("no/such/folder/runs.csv")}), 1);
    EXPECT_EQ(run({"results"}), 2);
    EXPECT_EQ(run({"results", study.filePath("nothing")}), 2);
}

// The help names every command of the table with its arguments, and
// explains each one on its own.
TEST(CliHelp, ListsEveryCommandAndExplainsEachOne)
{
    QProcess cli;
    cli.start(QStringLiteral(VELORIX_CLI), {"--help"});
    ASSERT_TRUE(cli.waitForFinished(10000));
    EXPECT_EQ(cli.exitCode(), 0);
    const QString listed = QString::fromUtf8(cli.readAllStandardOutput());
    const QStringList names = velorix::cliCommandNames();
    EXPECT_GE(names.size(), 35);
    for (const QString &name : names) {
        EXPECT_TRUE(listed.contains(QRegularExpression("\\n  " + name + "( [A-Z_]+)* +[a-z]")))
                << name.toStdString();
        cli.start(QStringLiteral(VELORIX_CLI), {"help", name});
        ASSERT_TRUE(cli.waitForFinished(10000));
        EXPECT_EQ(cli.exitCode(), 0) << name.toStdString();
        EXPECT_TRUE(
                cli.readAllStandardOutput().startsWith("usage: velorix-cli --port PORT " + name.toLatin1()))
                << name.toStdString();
    }
    EXPECT_TRUE(listed.contains("\n  ReadMem ADDRESS LOCATION "));
    cli.start(QStringLiteral(VELORIX_CLI), {"help", "Frobnicate"});
    ASSERT_TRUE(cli.waitForFinished(10000));
    EXPECT_EQ(cli.exitCode(), 2);
}

} // namespace
