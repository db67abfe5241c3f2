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

    for (const char *text : {"128 5 10", "300 1 10", "128 1 -2", "128 1 abc", "128 1", "128 1 5 -1",
                             "128 1 5 1 9"}) {
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
        EXPECT_GE(run->fallSeconds, 5.0);
        EXPECT_LE(run->fallSeconds, 120.0);
        if (run->rotationSeconds > 0) {
            ++rotating;
            EXPECT_GE(run->rotationSeconds, 2.0);
            EXPECT_LE(run->rotationSeconds, 10.0);
        }
    }
    EXPECT_GT(rotating, 70);
    EXPECT_LT(rotating, 130);
    EXPECT_DOUBLE_EQ(Scenario::random(7).run(130, 2, 5)->fallSeconds,
                     scenario.run(130, 2, 5)->fallSeconds);
    EXPECT_NE(scenario.run(130, 2, 5)->fallSeconds, scenario.run(130, 3, 5)->fallSeconds);
}

namespace {

CommandLine parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("velorix-sim"));
    return parseCommandLine(arguments);
}

} // namespace

TEST(SimCommandLine, DefaultsAndEveryOptionReachTheConfiguration)
{
    const CommandLine defaults = parse({});
    ASSERT_TRUE(defaults.config) << defaults.error.toStdString();
    ASSERT_EQ(defaults.config->devices.size(), 4u); // 128 to 131 at 2.20
    EXPECT_EQ(defaults.config->devices[3].address, 131);
    EXPECT_EQ(defaults.config->devices[3].firmwareVersion, 220);
    EXPECT_TRUE(defaults.config->scenario.run(128, 1, 0)); // random falls
    EXPECT_TRUE(defaults.config->wireTiming);
    EXPECT_DOUBLE_EQ(defaults.config->latencyMs, 2.0);
    EXPECT_FALSE(defaults.printFrames);

    QTemporaryFile script;
    ASSERT_TRUE(script.open());
    script.write("140 2 9.5 3\n");
    script.close();
    const CommandLine line =
        parse({"--link", "/tmp/x", "--device", "140:2.05", "--device", "141", "--script",
               script.fileName(), "--time-scale", "20", "--wire-timing", "off", "--latency", "0",
               "--fault-nak", "0.25", "--fault-stray", "1", "--new-firmware", "2.3", "--log"});
    ASSERT_TRUE(line.config) << line.error.toStdString();
    const SimConfig &config = *line.config;
    EXPECT_EQ(config.linkPath, QStringLiteral("/tmp/x"));
    ASSERT_EQ(config.devices.size(), 2u);
    EXPECT_EQ(config.devices[0].firmwareVersion, 205);
    EXPECT_EQ(config.devices[1].address, 141);
    EXPECT_DOUBLE_EQ(config.scenario.run(140, 2, 0)->rotationSeconds, 3);
    EXPECT_FALSE(config.scenario.run(140, 2, 1)); // script without --seed: no random runs
    EXPECT_DOUBLE_EQ(config.timeScale, 20);
    EXPECT_FALSE(config.wireTiming);
    EXPECT_DOUBLE_EQ(config.latencyMs, 0);
    EXPECT_DOUBLE_EQ(config.faultRates.nak, 0.25);
    EXPECT_DOUBLE_EQ(config.faultRates.stray, 1);
    EXPECT_EQ(config.newFirmwareVersion, 230);
    EXPECT_TRUE(line.printFrames);
}

TEST(SimCommandLine, BadOptionsGiveAMessageAndNoConfiguration)
{
    const QList<QStringList> bad = {
        {"--time-scale", "0"},     {"--time-scale", "fast"}, {"--device", "300"},
        {"--device", "128:x"},     {"--device", "128", "--device", "128"},
        {"--wire-timing", "yes"},  {"--latency", "-1"},      {"--fault-late", "1.5"},
        {"--seed", "-3"},          {"--script", "/nonexistent/falls.txt"},
        {"--new-firmware", "two"}, {"--bogus"},              {"stray-argument"},
    };
    for (const QStringList &arguments : bad) {
        const CommandLine line = parse(arguments);
        EXPECT_FALSE(line.config) << arguments.join(' ').toStdString();
        EXPECT_FALSE(line.error.isEmpty()) << arguments.join(' ').toStdString();
    }
}
