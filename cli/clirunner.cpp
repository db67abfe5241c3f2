#include "cli/clirunner.h"

#include "cli/resultscommand.h"

#include "protocol/errordisplay.h"

#include "link/portlist.h"
#include "protocol/resultcodes.h"
#include "protocol/multivelorix.h"

#include <QMap>

#include <functional>
#include <optional>
#include <stdexcept>

namespace velorix {

namespace {

const char kUsage[]
        = "usage: velorix-cli --port PORT COMMAND [ARGS...]\n"
          "       velorix-cli ports\n"
          "       velorix-cli help [COMMAND]\n"
          "       velorix-cli results FOLDER [--groups FILE] [--runs OUT.csv] [--summary OUT.csv]\n"
          "                           [--plot OUT.png|OUT.svg] [--each-subject] [--count-stopped]\n"
          "PORT is a name of the port list or a path. ARGS are decimal numbers in the\n"
          "command's order; ProgramData takes the address, then the record text.\n";

// What a command printed: its result code and, on success, what it read.
struct Outcome
{
    std::int16_t result = rc::Ok;
    QString data;
};

class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The command's arguments, read one at a time as their kind requires.
class Arguments
{
public:
    explicit Arguments(QStringList values) : m_values(std::move(values)) {}

    std::uint8_t byte(const char *what) { return static_cast<std::uint8_t>(number(what, 0, 255)); }
    int number(const char *what, int min, int max)
    {
        const QString text = next(what);
        bool ok = false;
        const int value = text.toInt(&ok, 10);
        if (!ok || value < min || value > max)
            throw UsageError(QStringLiteral("%1 must be a decimal number from %2 to %3, not \"%4\"")
                                     .arg(QString::fromLatin1(what))
                                     .arg(min)
                                     .arg(max)
                                     .arg(text)
                                     .toStdString());
        return value;
    }
    QString text(const char *what) { return next(what); }
    void finish() const
    {
        if (m_at < m_values.size())
            throw UsageError("too many arguments: " + m_values.mid(m_at).join(' ').toStdString());
    }

private:
    QString next(const char *what)
    {
        if (m_at >= m_values.size())
            throw UsageError(std::string("missing argument: ") + what);
        return m_values[m_at++];
    }
    QStringList m_values;
    qsizetype m_at = 0;
};

QString bytesText(const ByteBuffer &bytes)
{
    QStringList numbers;
    for (const std::uint8_t b : bytes)
        numbers << QString::number(b);
    return numbers.join(QLatin1Char(' '));
}

using Command = std::function<Outcome(multiVelorix &, Arguments &)>;

// A command as the help shows it, and what it does.
struct CliCommand
{
    const char *arguments; // in their order
    const char *what;      // and what a success prints beyond the result code
    Command run;
};

Command acknowledged(std::int16_t (multiVelorix::*command)(std::uint8_t))
{
    return [command](multiVelorix &device, Arguments &args) {
        const std::uint8_t address = args.byte("address");
        args.finish();
        return Outcome{(device.*command)(address), {}};
    };
}

Command dataCommand(std::int16_t (multiVelorix::*command)(std::uint8_t, ByteBuffer &))
{
    return [command](multiVelorix &device, Arguments &args) {
        const std::uint8_t address = args.byte("address");
        args.finish();
        ByteBuffer body;
        const std::int16_t result = (device.*command)(address, body);
        return Outcome{result, bytesText(body)};
    };
}

const QMap<QString, CliCommand> &commandTable()
{
    using D = multiVelorix;
    static const QMap<QString, CliCommand> table = {
            {"clear", {"ADDRESS", "clears the device's results.", acknowledged(&D::clear)}},
            {"Start_Diag",
             {"ADDRESS", "puts the device into diagnostics mode.", acknowledged(&D::Start_Diag)}},
            {"Stop_Diag", {"ADDRESS", "ends diagnostics mode.", acknowledged(&D::Stop_Diag)}},
            {"Start_Exp",
             {"ADDRESS", "starts the experiment held in the device's memory.", acknowledged(&D::Start_Exp)}},
            {"Stop_Exp", {"ADDRESS", "stops the experiment.", acknowledged(&D::Stop_Exp)}},
            {"Start_ALL",
             {"ADDRESS", "starts every armed channel at once (Master Start).", acknowledged(&D::Start_ALL)}},
            {"Start_CH1", {"ADDRESS", "starts channel 1.", acknowledged(&D::Start_CH1)}},
            {"Start_CH2", {"ADDRESS", "starts channel 2.", acknowledged(&D::Start_CH2)}},
            {"Start_CH3", {"ADDRESS", "starts channel 3.", acknowledged(&D::Start_CH3)}},
            {"Start_CH4", {"ADDRESS", "starts channel 4.", acknowledged(&D::Start_CH4)}},
            {"Inc_Speed",
             {"ADDRESS", "raises the wheel speed one step (diagnostics mode).", acknowledged(&D::Inc_Speed)}},
            {"Dec_Speed",
             {"ADDRESS", "lowers the wheel speed one step (diagnostics mode).", acknowledged(&D::Dec_Speed)}},
            {"PurgeON", {"ADDRESS", "sends PurgeON.", acknowledged(&D::PurgeON)}},
            {"PurgeOFF",
             {"ADDRESS", "sends PurgeOFF, the rocking request of a running experiment (firmware above 2.1).",
              acknowledged(&D::PurgeOFF)}},
            {"CalModeON", {"ADDRESS", "switches the calibration mode on.", acknowledged(&D::CalModeON)}},
            {"CalModeOFF", {"ADDRESS", "switches the calibration mode off.", acknowledged(&D::CalModeOFF)}},
            {"Reset", {"ADDRESS", "resets the device (no reply is read).", acknowledged(&D::Reset)}},
            {"Read_Sensor",
             {"ADDRESS",
              "reads the beam sensors (4 bytes); on success the second line holds them, in decimal.",
              dataCommand(&D::Read_Sensor)}},
            {"Read_Times",
             {"ADDRESS",
              "reads the run times of the four channels and the running bits (11 bytes); on success the second line holds them, in decimal.",
              dataCommand(&D::Read_Times)}},
            {"Read_ROT_Times",
             {"ADDRESS",
              "reads the passive-rotation times (9 bytes); on success the second line holds them, in decimal.",
              dataCommand(&D::Read_ROT_Times)}},
            {"Read_ROT_Speed",
             {"ADDRESS",
              "reads the passive-rotation speeds (8 bytes); on success the second line holds them, in decimal.",
              dataCommand(&D::Read_ROT_Speed)}},
            {"Read_Speed",
             {"ADDRESS",
              "reads the wheel speed (2 bytes); on success the second line holds them, in decimal.",
              dataCommand(&D::Read_Speed)}},
            {"ReadClear",
             {"ADDRESS",
              "reads 16 bytes of results, then clears them; on success the second line holds them, in decimal.",
              dataCommand(&D::ReadClear)}},
            {"Read",
             {"ADDRESS", "reads 16 bytes of results; on success the second line holds them, in decimal.",
              dataCommand(&D::Read)}},
            {"ReSend",
             {"ADDRESS",
              "reads the last 16 bytes of results again; on success the second line holds them, in decimal.",
              dataCommand(&D::ReSend)}},
            {"GetCalConstants",
             {"ADDRESS",
              "reads the calibration constants, memory locations 48 to 55 (8 bytes); on success the second line holds them, in decimal.",
              dataCommand(&D::GetCalConstants)}},
            {"IDString",
             {"", "prints the identity the program expects of a Velorix-5 (02540200); nothing is sent.",
              [](D &device, Arguments &args) {
                  args.finish();
                  return Outcome{rc::Ok, device.IDString()};
              }}},
            {"PumpSelect",
             {"ADDRESS PUMPS CYCLES", "selects the pumps (a bit map) for a number of cycles (0 to 255).",
              [](D &device, Arguments &args) {
                  const std::uint8_t address = args.byte("address");
                  const std::uint8_t pumps = args.byte("pump bit map");
                  const int cycles = args.number("cycle count", 0, 255);
                  args.finish();
                  return Outcome{device.PumpSelect(address, pumps, cycles), {}};
              }}},
            {"ProgramAddr",
             {"ADDRESS NEW_ADDRESS", "gives the device a new bus address (memory location 16).",
              [](D &device, Arguments &args) {
                  const std::uint8_t address = args.byte("address");
                  const std::uint8_t newAddress = args.byte("new address");
                  args.finish();
                  return Outcome{device.ProgramAddr(address, newAddress), {}};
              }}},
            {"ProgramMemLoc",
             {"ADDRESS LOCATION VALUE", "writes one byte of the device's memory, as WriteMem.",
              [](D &device, Arguments &args) {
                  const std::uint8_t address = args.byte("address");
                  const std::uint8_t location = args.byte("location");
                  const std::uint8_t value = args.byte("value");
                  args.finish();
                  return Outcome{device.ProgramMemLoc(address, location, value), {}};
              }}},
            {"WriteMem",
             {"ADDRESS LOCATION VALUE", "writes one byte of the device's memory.",
              [](D &device, Arguments &args) {
                  const std::uint8_t address = args.byte("address");
                  const std::uint8_t location = args.byte("location");
                  const std::uint8_t value = args.byte("value");
                  args.finish();
                  return Outcome{device.WriteMem(address, location, value), {}};
              }}},
            {"ReadMem",
             {"ADDRESS LOCATION",
              "reads one byte of the device's memory; on success the second line holds it.",
              [](D &device, Arguments &args) {
                  const std::uint8_t address = args.byte("address");
                  const std::uint8_t location = args.byte("location");
                  args.finish();
                  std::uint8_t value = 0;
                  const std::int16_t result = device.ReadMem(address, location, value);
                  return Outcome{result, QString::number(value)};
              }}},
            {"ProgramData",
             {"ADDRESS RECORD", "sends one Intel HEX record of a firmware file (the device in program mode).",
              [](D &device, Arguments &args) {
                  const std::uint8_t address = args.byte("address");
                  const QString record = args.text("record");
                  args.finish();
                  return Outcome{device.ProgramData(record, address), {}};
              }}},
            {"BusRESET",
             {"", "resets every device on the bus.",
              [](D &device, Arguments &args) {
                  args.finish();
                  return Outcome{device.BusRESET(), {}};
              }}},
            {"ReturnID",
             {"ADDRESS",
              "reads the device's identity; on success the second line holds it (product and version, 02540220).",
              [](D &device, Arguments &args) {
                  const std::uint8_t address = args.byte("address");
                  args.finish();
                  QString id;
                  const std::int16_t result = device.ReturnID(address, id);
                  return Outcome{result, id};
              }}},
            {"SetGroupID",
             {"ADDRESS GROUP", "gives the device a group ID (240 to 254).",
              [](D &device, Arguments &args) {
                  const std::uint8_t address = args.byte("address");
                  const std::uint8_t group = args.byte("group ID");
                  args.finish();
                  return Outcome{device.SetGroupID(address, group), {}};
              }}},
    };
    return table;
}

} // namespace

QStringList cliCommandNames()
{
    return commandTable().keys();
}

namespace {

// "ReadMem ADDRESS LOCATION", as the help names a command.
QString calling(const QString &name, const CliCommand &command)
{
    return *command.arguments ? name + QLatin1Char(' ') + QLatin1String(command.arguments) : name;
}

void listCommands(QTextStream &to)
{
    to << "\nDevice commands (with --port; each prints its result code first, 0 for success):\n";
    const auto &table = commandTable();
    for (auto it = table.constBegin(); it != table.constEnd(); ++it)
        to << "  " << calling(it.key(), it.value()).leftJustified(38) << ' ' << it.value().what << '\n';
    to << "Other commands:\n"
       << "  " << QStringLiteral("ports").leftJustified(38) << " lists the serial ports, one a line.\n"
       << "  " << QStringLiteral("results FOLDER ...").leftJustified(38)
       << " a study's runs, summary and learning curve (velorix-cli help results).\n"
       << "  " << QStringLiteral("help [COMMAND]").leftJustified(38) << " this list, or one command.\n";
}

int usage(QTextStream &err, const QString &problem)
{
    if (!problem.isEmpty())
        err << "velorix-cli: " << problem << '\n';
    err << kUsage;
    err.flush();
    return kCliUsageError;
}

// The help, to standard output: all of it, or one command's.
int help(const QStringList &topic, QTextStream &out, QTextStream &err)
{
    if (topic.isEmpty()) {
        out << kUsage;
        listCommands(out);
        out.flush();
        return kCliSuccess;
    }
    const QString &name = topic.first();
    if (name == QLatin1String("results"))
        return runResults({QStringLiteral("--help")}, out, err);
    const auto command = commandTable().constFind(name);
    if (topic.size() > 1 || command == commandTable().constEnd())
        return usage(err, QStringLiteral("no command \"%1\" to explain").arg(topic.join(' ')));
    out << "usage: velorix-cli --port PORT " << calling(name, command.value()) << '\n'
        << name
        << (QByteArray(command.value().arguments).contains("ADDRESS")
                    ? ": to the device at bus address ADDRESS; "
                    : ": ")
        << command.value().what << '\n'
        << "Standard output: the result code (0 for success) on the first line. Exit status: 0 for result 0, "
           "1 for another result (its meaning on standard error), 2 for a usage error.\n";
    out.flush();
    return kCliSuccess;
}

} // namespace

int runCli(const QStringList &arguments, const CurvePlotter &plotter)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    return runCli(arguments, out, err, plotter);
}

int runCli(const QStringList &arguments, QTextStream &out, QTextStream &err, const CurvePlotter &plotter)
{
    QStringList rest = arguments;
    QString port;
    const qsizetype portAt = rest.indexOf(QStringLiteral("--port"));
    if (portAt >= 0) {
        if (portAt + 1 >= rest.size())
            return usage(err, QStringLiteral("--port needs a port name or path"));
        port = rest[portAt + 1];
        rest.remove(portAt, 2);
    }
    if (rest.isEmpty()) {
        usage(err, QStringLiteral("no command given"));
        listCommands(err);
        err.flush();
        return kCliUsageError;
    }
    if (rest.first() == QLatin1String("--help") || rest.first() == QLatin1String("-h")
        || rest.first() == QLatin1String("help"))
        return help(rest.mid(1), out, err);

    if (rest.first() == QLatin1String("results"))
        return runResults(rest.mid(1), out, err, plotter);

    if (!port.isEmpty() && port.contains(QLatin1Char('/')))
        registerExtraPort(port);

    if (rest.first() == QLatin1String("ports")) {
        if (rest.size() > 1)
            return usage(err, QStringLiteral("ports takes no arguments"));
        for (const QString &name : portList())
            out << name << '\n';
        out.flush();
        return kCliSuccess;
    }

    const QString name = rest.takeFirst();
    const auto command = commandTable().constFind(name);
    if (command == commandTable().constEnd())
        return usage(err, QStringLiteral("unknown command \"%1\"").arg(name));
    if (port.isEmpty())
        return usage(err, QStringLiteral("--port is required"));

    multiVelorix device;
    PortError refused;
    if (!device.CommPort(port, &refused)) {
        err << "velorix-cli: cannot open port " << port << ": "
            << (refused.text.isEmpty() ? QStringLiteral("not in the port list") : refused.text) << '\n';
        err.flush();
        return kCliUsageError;
    }

    Arguments args(rest);
    Outcome outcome;
    try {
        outcome = command.value().run(device, args);
    } catch (const UsageError &e) {
        return usage(err, QString::fromStdString(e.what()));
    } catch (const std::overflow_error &e) {
        return usage(err, QString::fromStdString(e.what()));
    }
    out << outcome.result << '\n';
    if (outcome.result == rc::Ok && !outcome.data.isEmpty())
        out << outcome.data << '\n';
    out.flush();
    if (outcome.result != rc::Ok) {
        // Standard output keeps the bare code, which scripts read.
        const QString meaning = resultCodeMeaning(outcome.result);
        err << "velorix-cli: " << outcome.result << ": "
            << (meaning.isEmpty() ? QStringLiteral("unknown result code") : meaning) << '\n';
        // In normal mode the device takes code 22 for a memory write, so a
        // firmware record goes unanswered.
        if (name == QLatin1String("ProgramData") && outcome.result == rc::NoReply)
            err << "velorix-cli: ProgramData needs the device in program mode: WriteMem ADDRESS 18 19, "
                   "then Reset ADDRESS\n";
        err.flush();
    }
    return outcome.result == rc::Ok ? kCliSuccess : kCliCommandFailed;
}

} // namespace velorix
