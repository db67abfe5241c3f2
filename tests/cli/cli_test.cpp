// velorix-cli as a script would use it: against velorix-sim over a real
// pseudo-terminal, judged by its output and exit status alone.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
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
                   {"--link", link, "--device", "130:2.20", "--device", "131:2.05",
                    "--wire-timing", "off", "--seed", "3"});
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

    static CliRun cli(QStringList arguments)
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

TEST_F(CliTest, DataCommandsPrintTheirBody)
{
    const CliRun id = device({"ReturnID", "130"});
    EXPECT_EQ(id.exitCode, 0);
    EXPECT_EQ(id.lines, QStringList({"0", "02540220"}));

    EXPECT_EQ(device({"ReturnID", "131"}).lines, QStringList({"0", "02540205"}));

    const CliRun sensors = device({"Read_Sensor", "130"});
    ASSERT_EQ(sensors.lines.size(), 2);
    EXPECT_EQ(sensors.lines[1].split(' ').size(), 4);
    EXPECT_EQ(device({"Read_Times", "130"}).lines.value(1).split(' ').size(), 11);
    EXPECT_EQ(device({"GetCalConstants", "130"}).lines.value(1).split(' ').size(), 8);
}

TEST_F(CliTest, MemoryWriteReadsBack)
{
    EXPECT_EQ(device({"WriteMem", "130", "34", "50"}).lines, QStringList({"0"}));
    EXPECT_EQ(device({"ReadMem", "130", "34"}).lines, QStringList({"0", "50"}));
    EXPECT_EQ(device({"WriteMem", "130", "34", "77"}).exitCode, 0);
    EXPECT_EQ(device({"ReadMem", "130", "34"}).lines, QStringList({"0", "77"}));
}

TEST_F(CliTest, FailuresGiveTheResultCodeAndStatusOne)
{
    const CliRun absent = device({"ReturnID", "200"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_EQ(absent.lines, QStringList({"1005"}));

    const CliRun group = device({"SetGroupID", "130", "239"});
    EXPECT_EQ(group.exitCode, 1);
    EXPECT_EQ(group.lines, QStringList({"2008"}));

    EXPECT_EQ(device({"ProgramData", "130", ":00000001FF"}).exitCode, 1); // not in program mode
}

TEST_F(CliTest, CommandsWithoutReplyReturnAtOnce)
{
    EXPECT_EQ(device({"BusRESET"}).lines, QStringList({"0"}));
    EXPECT_EQ(device({"Reset", "130"}).lines, QStringList({"0"}));
    EXPECT_EQ(device({"IDString"}).lines, QStringList({"0", "02540200"}));
    // The devices are still there after the resets.
    EXPECT_EQ(device({"ReturnID", "130"}).exitCode, 0);
}

TEST_F(CliTest, UsageErrorsExitTwoWithAMessage)
{
    for (const QStringList &args : {QStringList{}, QStringList{"--port"}, QStringList{"--port", link},
                                    QStringList{"--port", link, "Frobnicate", "130"},
                                    QStringList{"--port", link, "WriteMem", "130", "34"},
                                    QStringList{"--port", link, "WriteMem", "130", "34", "256"},
                                    QStringList{"--port", link, "ReadMem", "130", "x"},
                                    QStringList{"--port", link, "Start_Exp", "130", "1"},
                                    QStringList{"--port", link, "PumpSelect", "130", "1", "300"},
                                    QStringList{"--port", link, "Program", "130"},
                                    QStringList{"ReturnID", "130"}}) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_FALSE(run.errors.isEmpty()) << args.join(' ').toStdString();
        EXPECT_TRUE(run.lines.isEmpty()) << args.join(' ').toStdString();
    }
    const CliRun missing = cli({"--port", folder->filePath("nothing-here"), "ReturnID", "130"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.errors.contains("cannot open port")) << missing.errors.toStdString();
}

TEST_F(CliTest, PortsListsAGivenPath)
{
    const CliRun ports = cli({"--port", link, "ports"});
    EXPECT_EQ(ports.exitCode, 0);
    EXPECT_TRUE(ports.lines.contains(link));
}

} // namespace
