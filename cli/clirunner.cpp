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

const QMap<QString, Command> &commandTable()
{
    using D = multiVelorix;
    static const QMap<QString, Command> table = {
            {"clear", acknowledged(&D::clear)},
            {"Start_Diag", acknowledged(&D::Start_Diag)},
            {"Stop_Diag", acknowledged(&D::Stop_Diag)},
            {"Start_Exp", acknowledged(&D::Start_Exp)},
            {"Stop_Exp", acknowledged(&D::Stop_Exp)},
            {"Start_ALL", acknowledged(&D::Start_ALL)},
            {"Start_CH1", acknowledged(&D::Start_CH1)},
            {"Start_CH2", acknowledged(&D::Start_CH2)},
            {"Start_CH3", acknowledged(&D::Start_CH3)},
            {"Start_CH4", acknowledged(&D::Start_CH4)},
            {"Inc_Speed", acknowledged(&D::Inc_Speed)},
            {"Dec_Speed", acknowledged(&D::Dec_Speed)},
            {"PurgeON", acknowledged(&D::PurgeON)},
            {"PurgeOFF", acknowledged(&D::PurgeOFF)},
            {"CalModeON", acknowledged(&D::CalModeON)},
            {"CalModeOFF", acknowledged(&D::CalModeOFF)},
            {"Reset", acknowledged(&D::Reset)},
            {"Read_Sensor", dataCommand(&D::Read_Sensor)},
            {"Read_Times", dataCommand(&D::Read_Times)},
            {"Read_ROT_Times", dataCommand(&D::Read_ROT_Times)},
            {"Read_ROT_Speed", dataCommand(&D::Read_ROT_Speed)},
            {"Read_Speed", dataCommand(&D::Read_Speed)},
            {"ReadClear", dataCommand(&D::ReadClear)},
            {"Read", dataCommand(&D::Read)},
            {"ReSend", dataCommand(&D::ReSend)},
            {"GetCalConstants", dataCommand(&D::GetCalConstants)},
            {"IDString",
             [](D &device, Arguments &args) {
                 args.finish();
                 return Outcome{rc::Ok, device.IDString()};
             }},
            {"PumpSelect",
             [](D &device, Arguments &args) {
                 const std::uint8_t address = args.byte("address");
                 const std::uint8_t pumps = args.byte("pump bit map");
                 const int cycles = args.number("cycle count", 0, 255);
                 args.finish();
                 return Outcome{device.PumpSelect(address, pumps, cycles), {}};
             }},
            {"ProgramAddr",
             [](D &device, Arguments &args) {
                 const std::uint8_t address = args.byte("address");
                 const std::uint8_t newAddress = args.byte("new address");
                 args.finish();
                 return Outcome{device.ProgramAddr(address, newAddress), {}};
             }},
            {"ProgramMemLoc",
             [](D &device, Arguments &args) {
                 const std::uint8_t address = args.byte("address");
                 const std::uint8_t location = args.byte("location");
                 const std::uint8_t value = args.byte("value");
                 args.finish();
                 return Outcome{device.ProgramMemLoc(address, location, value), {}};
             }},
            {"WriteMem",
             [](D &device, Arguments &args) {
                 const std::uint8_t address = args.byte("address");
                 const std::uint8_t location = args.byte("location");
                 const std::uint8_t value = args.byte("value");
                 args.finish();
                 return Outcome{device.WriteMem(address, location, value), {}};
             }},
            {"ReadMem",
             [](D &device, Arguments &args) {
                 const std::uint8_t address = args.byte("address");
                 const std::uint8_t location = args.byte("location");
                 args.finish();
                 std::uint8_t value = 0;
                 const std::int16_t result = device.ReadMem(address, location, value);
                 return Outcome{result, QString::number(value)};
             }},
            {"ProgramData",
             [](D &device, Arguments &args) {
                 const std::uint8_t address = args.byte("address");
                 const QString record = args.text("record");
                 args.finish();
                 return Outcome{device.ProgramData(record, address), {}};
             }},
            {"BusRESET",
             [](D &device, Arguments &args) {
                 args.finish();
                 return Outcome{device.BusRESET(), {}};
             }},
            {"ReturnID",
             [](D &device, Arguments &args) {
                 const std::uint8_t address = args.byte("address");
                 args.finish();
                 QString id;
                 const std::int16_t result = device.ReturnID(address, id);
                 return Outcome{result, id};
             }},
            {"SetGroupID",
             [](D &device, Arguments &args) {
                 const std::uint8_t address = args.byte("address");
                 const std::uint8_t group = args.byte("group ID");
                 args.finish();
                 return Outcome{device.SetGroupID(address, group), {}};
             }},
    };
    return table;
}

int usage(QTextStream &err, const QString &problem)
{
    if (!problem.isEmpty())
        err << "velorix-cli: " << problem << '\n';
    err << kUsage;
    err.flush();
    return kCliUsageError;
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
    if (rest.isEmpty() || rest.first() == QLatin1String("--help") || rest.first() == QLatin1String("-h"))
        return usage(err, rest.isEmpty() ? QStringLiteral("no command given") : QString());

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
        outcome = command.value()(device, args);
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
