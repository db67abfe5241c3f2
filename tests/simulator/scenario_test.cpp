// Where the falls come from (scripts, the random generator) and how
// velorix-sim reads its command line.

#include "simulator/scenario.h"
#include "simulator/simcommandline.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

using namespace velorix::sim;

TEST(ScenarioScript, RunsFollowInOrderPerChannelAndBadLinesAreRefusedWithTheirNumber)
{
    QString error;
    const auto scenario = Scenario::fromScript(
            QStringLiteral("# falls\n128 1 12.5\n\n128 1 30 4   # then rotates\n129 4 7\n"), &error);
    ASSERT_TRUE(scenario) << error.toStdString();
    EXPECT_DOUBLE_EQ(scenario->run(128, 1, 0)->fallSeconds, 12.5);
    EXPECT_DOUBLE_EQ(scenario->run(128, 1, 1)->rotationSeconds, 4);
    EXPECT_DOUBLE_EQ(scenario->run(129, 4, 0)->fallSeconds, 7);
    EXPECT_FALSE(scenario->run(128, 1, 2)); // past the script: stays on
    EXPECT_FALSE(scenario->run(128, 2, 0));

    for (const char *text :
         {"128 5 10", "300 1 10", "128 1 -2", "128 1 abc", "128 1", "128 1 5 -1", "128 1 5 1 9"}) {
        EXPECT_FALSE(Scenario::fromScript(QStringLiteral("128 1 5\n") + QLatin1String(text), &error)) << text;
        EXPECT_TRUE(error.startsWith(QStringLiteral("line 2:"))) << error.toStdString();
    }
}

TEST(ScenarioRandom, RunsAreReproducibleAndInRange)
{
    const Scenario scenario = Scenario::random(7);
    int rotating = 0;
    for (int i = 0; i < 300; ++i) {
        const auto run = scenario.run(130, 1 + i % 4, i / 4);
        ASSERT_TRUE(run);
        EXPECT_TRUE(run->fallSeconds >= 5.0 && run->fallSeconds <= 120.0) << run->fallSeconds;
        rotating += run->rotationSeconds > 0 ? 1 : 0;
        EXPECT_TRUE(run->rotationSeconds == 0
                    || (run->rotationSeconds >= 2.0 && run->rotationSeconds <= 10.0));
    }
    EXPECT_GT(rotating, 70);
    EXPECT_LT(rotating, 130);
    EXPECT_DOUBLE_EQ(Scenario::random(7).run(130, 2, 5)->fallSeconds, scenario.run(130, 2, 5)->fallSeconds);
    EXPECT_NE(scenario.run(130, 2, 5)->fallSeconds, scenario.run(130, 3, 5)->fallSeconds);
}

namespace {

CommandLine parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("velorix-sim"));
    return parseCommandLine(arguments);
}

} // namespace

// The configuration a command line gives, as one line.
QString summary(const CommandLine &line)
{
    const SimConfig &c = *line.config;
    QStringList devices;
    for (const auto &device : c.devices)
        devices << QStringLiteral("%1:%2").arg(device.address).arg(device.firmwareVersion);
    return QStringLiteral("'%1' [%2] scale %3 wire %4 latency %5 nak %6 stray %7 new %8 log %9")
            .arg(c.linkPath, devices.join(' '))
            .arg(c.timeScale)
            .arg(int(c.wireTiming))
            .arg(c.latencyMs)
            .arg(c.faultRates.nak)
            .arg(c.faultRates.stray)
            .arg(c.newFirmwareVersion.value_or(-1))
            .arg(int(line.printFrames));
}

TEST(SimCommandLine, DefaultsAndEveryOptionReachTheConfiguration)
{
    const CommandLine defaults = parse({});
    ASSERT_TRUE(defaults.config) << defaults.error.toStdString();
    EXPECT_EQ(summary(defaults),
              "'' [128:220 129:220 130:220 131:220] scale 1 wire 1 latency 2 nak 0 stray 0 new -1 log 0");
    EXPECT_TRUE(defaults.config->scenario.run(128, 1, 0)); // random falls

    QTemporaryFile script;
    ASSERT_TRUE(script.open());
    script.write("140 2 9.5 3\n");
    script.close();
    const CommandLine line = parse({"--link",        "/tmp/x", "--device",       "140:2.05",
                                    "--device",      "141",    "--script",       script.fileName(),
                                    "--time-scale",  "20",     "--wire-timing",  "off",
                                    "--latency",     "0",      "--fault-nak",    "0.25",
                                    "--fault-stray", "1",      "--new-firmware", "2.3",
                                    "--log"});
    ASSERT_TRUE(line.config) << line.error.toStdString();
    EXPECT_EQ(summary(line),
              "'/tmp/x' [140:205 141:220] scale 20 wire 0 latency 0 nak 0.25 stray 1 new 230 log 1");
    EXPECT_DOUBLE_EQ(line.config->scenario.run(140, 2, 0)->rotationSeconds, 3);
    EXPECT_FALSE(line.config->scenario.run(140, 2, 1)); // script without --seed: no random runs
}

TEST(SimCommandLine, BadOptionsGiveAMessageAndNoConfiguration)
{
    const QList<QStringList> bad = {
            {"--time-scale", "0"},
            {"--time-scale", "fast"},
            {"--device", "300"},
            {"--device", "128:x"},
            {"--device", "128", "--device", "128"},
            {"--wire-timing", "yes"},
            {"--latency", "-1"},
            {"--fault-late", "1.5"},
            {"--seed", "-3"},
            {"--script", "/nonexistent/falls.txt"},
            {"--new-firmware", "two"},
            {"--bogus"},
            {"stray-argument"},
    };
    for (const QStringList &arguments : bad) {
        const CommandLine line = parse(arguments);
        EXPECT_FALSE(line.config) << arguments.join(' ').toStdString();
        EXPECT_FALSE(line.error.isEmpty()) << arguments.join(' ').toStdString();
    }
}
