#include "model/deviceconfig.h"

#include "base/leadingnumber.h"
#include "base/safefile.h"

#include "model/fieldtext.h"
#include "model/programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringView>

#include <array>
#include <cfloat>
#include <cmath>
#include <optional>
#include <utility>

namespace velorix {

namespace {

enum class Key {
    ScanSpeed,
    Device,
    Type,
    Version,
    Label,
    Units,
    BusAddr,
    ProdID
};

// Every label is its key padded to 24 characters; the value starts at the
// 25th.
constexpr qsizetype kLabelWidth = 24;

struct LabelKey
{
    Key key;
    QLatin1String text;
    const char *name; // what the value is called in the notes on a file
};

const LabelKey kLabels[] = {
        {Key::ScanSpeed, QLatin1String("Scan Speed:             "), "scan speed"},
        {Key::Device, QLatin1String("Device                  "), "device number"},
        {Key::Type, QLatin1String("Device Type:            "), "device type"},
        {Key::Version, QLatin1String("Device Version:         "), "device version"},
        {Key::Label, QLatin1String("Device Label:           "), "device label"},
        {Key::Units, QLatin1String("Device Units:           "), "device units"},
        {Key::BusAddr, QLatin1String("Device ID:              "), "bus address"},
        {Key::ProdID, QLatin1String("Device ProdID:          "), "product ID"},
};

const LabelKey &entryOf(Key key)
{
    for (const LabelKey &entry : kLabels) {
        if (entry.key == key)
            return entry;
    }
    return kLabels[0]; // every key has its entry
}

QLatin1String labelOf(Key key)
{
    return entryOf(key).text;
}

QString nameOf(Key key)
{
    return QLatin1String(entryOf(key).name);
}

std::optional<Key> matchLabel(QStringView field)
{
    if (field.size() < kLabelWidth)
        return std::nullopt;
    for (const LabelKey &entry : kLabels) {
        if (field.left(kLabelWidth) == entry.text)
            return entry.key;
    }
    return std::nullopt;
}

// The shortest decimal text that reads back as the same float, never in
// exponent form and always with a point: 2.05, 2.2, 254. QString::number
// ignores the locale, so a comma-decimal system writes the same text.
QString shortestNumber(float value)
{
    if (!std::isfinite(value) || value == 0.0f)
        return QStringLiteral("0");
    for (int decimals = 0; decimals <= 60; ++decimals) {
        QString text = QString::number(double(value), 'f', decimals);
        bool ok = false;
        if (text.toFloat(&ok) == value && ok)
            return text;
    }
    return QString::number(double(value), 'g', 9);
}

// Whole numbers are rounded to the nearest integer, halves to even, and must
// fit their field.
std::optional<long> wholeNumber(double value, long lowest, long highest)
{
    const double rounded = std::nearbyint(value);
    if (!(rounded >= double(lowest) && rounded <= double(highest)))
        return std::nullopt;
    return long(rounded);
}

class ConfigReader
{
public:
    ConfigReader(DeviceTable &table, QStringList *problems) : m_table(table), m_problems(problems) {}

    void field(int lineNumber, QStringView text)
    {
        const std::optional<Key> key = matchLabel(text);
        if (!key || *key == Key::ScanSpeed)
            return;
        m_line = lineNumber;
        const QStringView value = text.mid(kLabelWidth);
        if (*key == Key::Device) {
            selectDevice(value);
            return;
        }
        if (m_device < 0)
            return; // the lines of a device with an impossible number
        DeviceInfo &record = m_table[std::size_t(m_device)];
        switch (*key) {
        case Key::Type:
            if (const auto type = wholeNumber(leadingNumber(value.toString()), -32768, 32767))
                record.intDevType = std::int16_t(*type);
            else
                note(nameOf(Key::Type), value, QStringLiteral("is out of range; value ignored"));
            break;
        case Key::Version: {
            bool ok = false;
            const float version = value.trimmed().toString().toFloat(&ok);
            if (ok && std::isfinite(version))
                record.sngVersion = version;
            else
                note(nameOf(Key::Version), value, QStringLiteral("is not a number; value ignored"));
            break;
        }
        case Key::ProdID: {
            const double prodId = leadingNumber(value.toString());
            if (std::fabs(prodId) <= double(FLT_MAX))
                record.sngProdID = float(prodId);
            else
                note(nameOf(Key::ProdID), value, QStringLiteral("is out of range; value ignored"));
            break;
        }
        case Key::Label: record.strLabel = value.toString(); break;
        case Key::Units: record.strUnits = value.toString(); break;
        case Key::BusAddr:
            if (const auto address = wholeNumber(leadingNumber(value.toString()), 0, 255))
                record.bytBusAddr = std::uint8_t(*address);
            else
                note(nameOf(Key::BusAddr), value, QStringLiteral("is out of range; value ignored"));
            break;
        case Key::Device:
        case Key::ScanSpeed: break;
        }
    }

    // A comma ended the field `first` of a line, whose `rest` is read as a
    // line of its own: a value written with a comma (a label "Maus, links",
    // a version "2,05" of a comma-decimal system) came back cut.
    void commaAfter(int lineNumber, QStringView first, QStringView rest)
    {
        const std::optional<Key> key = matchLabel(first);
        if (!key || *key == Key::ScanSpeed || (m_device < 0 && *key != Key::Device))
            return;
        m_line = lineNumber;
        note(nameOf(*key), first.mid(kLabelWidth),
             QStringLiteral("ends at a comma; the rest of the line (\"%1\") is not part of it").arg(rest));
    }

private:
    void selectDevice(QStringView value)
    {
        if (const auto number = wholeNumber(leadingNumber(value.toString()), 0, kDeviceRecords - 1)) {
            m_device = int(*number);
        } else {
            m_device = -1;
            note(nameOf(Key::Device), value,
                 QStringLiteral("is outside 0 to %1; the lines of this device are ignored")
                         .arg(kDeviceRecords - 1));
        }
    }

    void note(const QString &what, QStringView value, const QString &outcome)
    {
        if (m_problems)
            m_problems->append(QStringLiteral("Line %1: %2 \"%3\" %4.")
                                       .arg(m_line)
                                       .arg(what, value.toString(), outcome));
    }

    DeviceTable &m_table;
    QStringList *m_problems = nullptr;
    int m_device = 0; // a block before any "Device" line belongs to device 0
    int m_line = 0;
};

// The first text value of the table that device.ini cannot hold, named by
// its device; empty when every one can be written.
QString tableTextProblem(const DeviceTable &table)
{
    for (int i = 0; i < kUsableDevices; ++i) {
        const DeviceInfo &record = table[std::size_t(i)];
        if (!record.inUse())
            continue;
        const std::pair<const QString &, FieldKind> texts[]
                = {{record.strLabel, FieldKind::DeviceLabel}, {record.strUnits, FieldKind::DeviceUnits}};
        for (const auto &[text, kind] : texts) {
            const QString problem = fieldTextProblem(text);
            if (!problem.isEmpty()) {
                return QStringLiteral("the %1 of device %2 (address %3) holds %4. %5")
                        .arg(kind == FieldKind::DeviceLabel ? QStringLiteral("label")
                                                            : QStringLiteral("units text"))
                        .arg(i)
                        .arg(record.bytBusAddr)
                        .arg(problem, fieldTextRule(kind));
            }
        }
    }
    return {};
}

} // namespace

QByteArray formatDeviceConfig(const DeviceTable &table, const QDateTime &printedOn)
{
    QString text;
    auto line = [&text](QLatin1String label, const QString &value = QString()) {
        text += label;
        text += value;
        text += QLatin1String("\r\n");
    };
    line(QLatin1String("Tarvenor Device Interface"));
    line(QLatin1String("Printed On:   "), printedOn.toString(QStringLiteral("MM/dd/yy HH:mm:ss")));
    line(QLatin1String());
    line(QLatin1String("[Device Info]"));
    line(labelOf(Key::ScanSpeed));
    for (int i = 0; i < kUsableDevices; ++i) {
        const DeviceInfo &record = table[std::size_t(i)];
        if (!record.inUse())
            continue;
        line(labelOf(Key::Device), QString::number(i));
        line(labelOf(Key::Type), QString::number(record.intDevType));
        line(labelOf(Key::Version), shortestNumber(record.sngVersion));
        line(labelOf(Key::ProdID), shortestNumber(record.sngProdID));
        line(labelOf(Key::Label), record.strLabel);
        line(labelOf(Key::Units), record.strUnits);
        line(labelOf(Key::BusAddr), QString::number(record.bytBusAddr));
        line(QLatin1String());
    }
    line(QLatin1String("[End]"));
    return text.toLatin1();
}

void parseDeviceConfig(const QByteArray &text, DeviceTable &table, QStringList *problems)
{
    ConfigReader reader(table, problems);
    const QString content = QString::fromLatin1(text);
    const QStringView all(content);
    int lineNumber = 0;
    qsizetype pos = 0;
    while (pos < all.size()) {
        // Lines end in CR LF, LF or a lone CR; a comma ends a field too.
        qsizetype end = pos;
        while (end < all.size() && all[end] != QLatin1Char('\r') && all[end] != QLatin1Char('\n'))
            ++end;
        ++lineNumber;
        const QStringView line = all.mid(pos, end - pos);
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma >= 0)
            reader.commaAfter(lineNumber, line.left(comma), line.mid(comma + 1));
        for (QStringView field : line.split(QLatin1Char(',')))
            reader.field(lineNumber, field);
        pos = end;
        if (pos < all.size() && all[pos] == QLatin1Char('\r'))
            ++pos;
        if (pos < all.size() && all[pos] == QLatin1Char('\n'))
            ++pos;
    }
}

bool loaddeviceconfig(QStringList *problems)
{
    QFile file(strDevIniPath);
    QByteArray content;
    bool ok = !strDevIniPath.isEmpty() && file.open(QIODevice::ReadOnly);
    if (ok) {
        content = file.readAll();
        ok = file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        if (problems) {
            problems->append(QStringLiteral("Device configuration could not be read: %1 (%2)")
                                     .arg(file.errorString(), QDir::toNativeSeparators(strDevIniPath)));
        }
        return false;
    }
    parseDeviceConfig(content, Devices, problems);
    return true;
}

bool storedeviceconfig(QString *errorText)
{
    const QString path = strDevIniPath;
    auto fail = [&](const QString &reason) {
        if (errorText) {
            *errorText = QStringLiteral("Device configuration could not be saved: ") + reason;
            if (!path.isEmpty())
                *errorText += QStringLiteral(" (%1)").arg(QDir::toNativeSeparators(path));
        }
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no file name is set"));

    // A value the file cannot hold would come back cut or shifted: the
    // file is not written at all rather than written wrong.
    const QString problem = tableTextProblem(Devices);
    if (!problem.isEmpty())
        return fail(problem);

    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("its folder could not be created"));

    QString why;
    if (!replaceFile(path, formatDeviceConfig(Devices, QDateTime::currentDateTime()), &why))
        return fail(why);
    return true;
}

void checkfactoryconfig(const QString &factoryFolder, const std::function<void()> &announceCopy)
{
    if (strDevIniPath.isEmpty() || QFileInfo(strDevIniPath).isFile())
        return;

    // The config folder is created too: in a per-user working folder it does
    // not exist on the first run, and without it nothing could be copied.
    QDir().mkpath(strDataPath);
    const QString configFolder = QFileInfo(strDevIniPath).absolutePath();
    QDir().mkpath(configFolder);

    if (announceCopy)
        announceCopy();

    const QDir factory(factoryFolder);
    copyReplacing(factory.filePath(QStringLiteral("device.ini")), strDevIniPath);
    copyReplacing(factory.filePath(QStringLiteral("hardware.ini")),
                  QDir(configFolder).filePath(QStringLiteral("hardware.ini")));
}

void checkfactoryconfig(const std::function<void()> &announceCopy)
{
    checkfactoryconfig(programFolder(), announceCopy);
}

MessageRequest deviceConfigProblemsNotice(const QStringList &problems)
{
    return MessageRequest{QStringLiteral("These lines of %1 were not read as they stand:\n")
                                          .arg(QDir::toNativeSeparators(strDevIniPath))
                                  + problems.join(QLatin1Char('\n')),
                          QStringLiteral("Device Configuration"), MessageRequest::Buttons::Ok,
                          MessageRequest::Icon::Exclamation};
}

MessageRequest factoryCopyNotice()
{
    return MessageRequest{QStringLiteral("Update Factory Configuration File?"),
                          QStringLiteral("The KX MultiDevice System Setup"), MessageRequest::Buttons::Ok,
                          MessageRequest::Icon::Critical};
}

} // namespace velorix
