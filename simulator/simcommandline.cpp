#include "simulator/simcommandline.h"

#include <QCommandLineParser>
#include <QFile>

#include <array>
#include <cmath>
#include <set>

namespace velorix::sim {

namespace {

std::optional<double> parseNumber(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<DeviceSpec> parseDevice(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() > 2)
        return std::nullopt;
    bool ok = false;
    const int address = parts[0].toInt(&ok);
    if (!ok || address < 0 || address > 254)
        return std::nullopt;
    DeviceSpec device{quint8(address), 220};
    if (parts.size() == 2) {
        const auto version = parseFirmwareVersion(parts[1]);
        if (!version)
            return std::nullopt;
        device.firmwareVersion = *version;
    }
    return device;
}

// Reads the options into a SimConfig; on the first bad one `error` says why.
class OptionReader
{
public:
    explicit OptionReader(const QCommandLineParser &parser) : m_parser(parser) {}

    QString read(SimConfig &config)
    {
        readDevices(config);
        readScenario(config);
        if (const auto scale = number("time-scale", "a number above 0", 1e-9, 1e9))
            config.timeScale = *scale;
        if (isSet("wire-timing")) {
            const QString value = m_parser.value(QStringLiteral("wire-timing"));
            if (value == QLatin1String("on") || value == QLatin1String("off"))
                config.wireTiming = value == QLatin1String("on");
            else
                refuse("wire-timing", "on or off");
        }
        if (const auto latency = number("latency", "milliseconds from 0 to 10000", 0, 10'000))
            config.latencyMs = *latency;
        for (const FaultRateOption &option : kFaultRateOptions) {
            if (const auto rate = number(option.name, "a rate from 0 to 1", 0, 1))
                config.faultRates.*option.rate = *rate;
        }
        if (isSet("new-firmware")) {
            config.newFirmwareVersion = parseFirmwareVersion(m_parser.value(QStringLiteral("new-firmware")));
            if (!config.newFirmwareVersion)
                refuse("new-firmware", "a version like 2.30");
        }
        config.linkPath = m_parser.value(QStringLiteral("link"));
        return m_error;
    }

private:
    void readDevices(SimConfig &config)
    {
        if (!isSet("device"))
            return;
        config.devices.clear();
        std::set<int> seen;
        for (const QString &text : m_parser.values(QStringLiteral("device"))) {
            const auto device = parseDevice(text);
            if (!device)
                return fail(QStringLiteral("--device needs ADDR[:VERSION] with ADDR 0 to 254 "
                                           "and a version like 2.20, got '%1'")
                                    .arg(text));
            if (!seen.insert(device->address).second)
                return fail(QStringLiteral("--device %1 is given twice").arg(device->address));
            config.devices.push_back(*device);
        }
    }

    // Scripted falls first; random ones after the script with --seed, or as
    // the whole scenario (seed 1) when there is no script.
    void readScenario(SimConfig &config)
    {
        if (isSet("script")) {
            const QString path = m_parser.value(QStringLiteral("script"));
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                return fail(QStringLiteral("cannot read the script %1: %2").arg(path, file.errorString()));
            QString why;
            const auto scenario = Scenario::fromScript(QString::fromUtf8(file.readAll()), &why);
            if (!scenario)
                return fail(QStringLiteral("script %1, %2").arg(path, why));
            config.scenario = *scenario;
        }
        std::optional<quint32> seed;
        if (isSet("seed")) {
            bool ok = false;
            seed = m_parser.value(QStringLiteral("seed")).toUInt(&ok);
            if (!ok)
                return refuse("seed", "a whole number from 0 to 4294967295");
        } else if (!isSet("script")) {
            seed = 1;
        }
        config.scenario.setRandomSeed(seed);
    }

    std::optional<double> number(const char *name, const char *wanted, double lowest, double highest)
    {
        if (!isSet(name))
            return std::nullopt;
        const auto value = parseNumber(m_parser.value(QLatin1String(name)));
        if (!value || *value < lowest || *value > highest) {
            refuse(name, wanted);
            return std::nullopt;
        }
        return value;
    }

    bool isSet(const char *name) const { return m_parser.isSet(QLatin1String(name)); }

    void refuse(const char *name, const char *wanted)
    {
        fail(QStringLiteral("--%1 needs %2, got '%3'")
                     .arg(QLatin1String(name), QLatin1String(wanted), m_parser.value(QLatin1String(name))));
    }

    void fail(const QString &why)
    {
        if (m_error.isEmpty())
            m_error = why;
    }

    const QCommandLineParser &m_parser;
    QString m_error;
};

void addOptions(QCommandLineParser &parser)
{
    const auto option = [&](const char *name, const char *help, const char *value) {
        parser.addOption({QLatin1String(name), QLatin1String(help), QLatin1String(value)});
    };
    option("link", "Symlink to the pseudo-terminal, removed on exit.", "PATH");
    option("device", "A device, repeatable (default: 128 to 131 at 2.20).", "ADDR[:VERSION]");
    option("seed", "Random falls from this seed (default 1 without --script).", "N");
    option("script", "Scripted falls, lines: ADDR CHANNEL FALL_SECONDS [ROT_SECONDS].", "FILE");
    option("time-scale", "Device seconds per real second (default 1).", "X");
    option("wire-timing", "19200-baud byte times on the line (default on).", "on|off");
    option("latency", "Processing time before a reply (default 2).", "MS");
    option("new-firmware", "Version a device runs after a firmware transfer.", "VERSION");
    for (const FaultRateOption &fault : kFaultRateOptions)
        option(fault.name, "Rate of this reply fault, 0 to 1 (default 0).", "R");
    parser.addOption({QStringLiteral("log"), QStringLiteral("Print every frame.")});
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
            QStringLiteral("Simulates Velorix-5 devices on a pseudo-terminal until SIGINT or SIGTERM."));
    parser.addHelpOption();
    addOptions(parser);

    CommandLine result;
    result.helpText = parser.helpText();
    if (!parser.parse(arguments)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        result.helpRequested = true;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
        return result;
    }
    SimConfig config;
    result.error = OptionReader(parser).read(config);
    if (result.error.isEmpty())
        result.config = std::move(config);
    result.printFrames = parser.isSet(QStringLiteral("log"));
    return result;
}

} // namespace velorix::sim
