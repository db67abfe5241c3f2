#include "maintenance/core/hexfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>
#include <utility>

namespace velorix {

namespace {

constexpr int kDataRecord = 0x00;
constexpr int kEndRecord = 0x01;
constexpr QChar kEndOfText(26); // Ctrl-Z, which DOS tools put at the end of a text file

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

// Byte `index` of a line that recordProblem() has passed (0 is the byte count).
int byteAt(const QString &line, int index)
{
    return hexValue(line[1 + 2 * index]) * 16 + hexValue(line[2 + 2 * index]);
}

QString hexDigits(int value, int width)
{
    return QString::number(value, 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

int recordType(const QString &line)
{
    return byteAt(line, 3);
}

// Splits at CR LF, CR or LF; a last line end makes no extra line.
QStringList splitLines(const QString &text)
{
    QStringList lines;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << current;
            current.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

// The text without the blank lines and Ctrl-Z marks at its end. Only after
// the end-of-file record are they harmless; anywhere else the file is refused
// (a file cut there has no end record at its end).
QString withoutTail(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0
           && (text[end - 1] == QLatin1Char('\r') || text[end - 1] == QLatin1Char('\n')
               || text[end - 1] == kEndOfText))
        --end;
    return text.left(end);
}

// A record the device could take, judged by its type: the device stores
// what it does not understand as firmware or stops at it, half-flashed.
QString typeProblem(const QString &line)
{
    const int count = byteAt(line, 0);
    const int type = recordType(line);
    const auto length = [count](const char *record, int expected) {
        return count == expected ? QString()
                                 : QStringLiteral("%1 record with %2 data byte%3 (it takes %4)")
                                           .arg(QLatin1String(record))
                                           .arg(count)
                                           .arg(QLatin1String(count == 1 ? "" : "s"))
                                           .arg(expected);
    };
    switch (type) {
    case kDataRecord: return {};
    case kEndRecord: {
        if (count != 0)
            return QStringLiteral("end-of-file record with data (it takes none)");
        const int address = byteAt(line, 1) * 256 + byteAt(line, 2);
        if (address != 0)
            return QStringLiteral("end-of-file record with address %1 (it takes 0000)")
                    .arg(hexDigits(address, 4));
        return {};
    }
    case 0x02: return length("extended segment address", 2);
    case 0x03: return length("start segment address", 4);
    case 0x04: return length("extended linear address", 2);
    case 0x05: return length("start linear address", 4);
    default: return QStringLiteral("unknown record type %1").arg(hexDigits(type, 2));
    }
}

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

} // namespace

QString recordProblem(const QString &line)
{
    if (line.isEmpty())
        return QStringLiteral("empty line");
    if (line[0] != QLatin1Char(':'))
        return QStringLiteral("does not begin with \":\"");
    const qsizetype digits = line.size() - 1;
    if (digits % 2 != 0 || digits < 10)
        return QStringLiteral("too short or odd number of digits");
    int sum = 0;
    for (qsizetype i = 1; i < line.size(); i += 2) {
        const int high = hexValue(line[i]);
        const int low = hexValue(line[i + 1]);
        if (high < 0 || low < 0)
            return QStringLiteral("not hexadecimal");
        sum += high * 16 + low;
    }
    // Byte count, two address bytes, the type, the data and the checksum.
    if (digits / 2 != byteAt(line, 0) + 5)
        return QStringLiteral("byte count does not match the length");
    if (sum % 256 != 0)
        return QStringLiteral("checksum wrong");
    return typeProblem(line);
}

namespace {

// The first record that breaks the file's form: its line (0 for the file as
// a whole) and why; nothing for a sound file.
std::optional<std::pair<int, QString>> formProblem(const QStringList &records)
{
    bool data = false;
    for (int i = 0; i < records.size(); ++i) {
        const QString &line = records[i];
        const QString problem = recordProblem(line);
        if (!problem.isEmpty())
            return std::pair(i + 1, problem);
        const int type = recordType(line);
        data = data || (type == kDataRecord && byteAt(line, 0) > 0);
        const bool last = i + 1 == records.size();
        if (type == kEndRecord && !last)
            return std::pair(i + 2, QStringLiteral("a line after the end-of-file record"));
        if (type != kEndRecord && last)
            return std::pair(i + 1, QStringLiteral("no end-of-file record at the end"));
        // What an objcopy of a section that is not there writes.
        if (type == kEndRecord && !data)
            return std::pair(i + 1, QStringLiteral("end-of-file record with no data record before it"));
    }
    if (records.isEmpty()) // nothing but line ends and Ctrl-Z
        return std::pair(0, QStringLiteral("blank, without any record"));
    return std::nullopt;
}

} // namespace

HexImage readHexFile(const QString &path)
{
    HexImage image;
    image.path = path;
    const auto unreadable = [&image](HexImage::Fault fault, const QString &reason) {
        image.fault = fault;
        image.reason = reason;
        return image;
    };
    const QFileInfo info(path);
    if (!info.exists())
        return unreadable(HexImage::Fault::NotFound, {});
    if (info.isDir())
        return unreadable(HexImage::Fault::Unreadable, QStringLiteral("it is a folder"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(HexImage::Fault::Unreadable, lowerFirst(file.errorString()));
    if (file.size() < 1) {
        image.fault = HexImage::Fault::Empty;
        return image;
    }
    const auto refuse = [&image](int line, const QString &reason) {
        image.fault = HexImage::Fault::BadRecord;
        image.badLine = line;
        image.reason = reason;
        image.records.clear();
        return image;
    };
    if (file.size() > kLargestHexFile)
        return refuse(0, QStringLiteral("larger than any firmware (%1 bytes)").arg(kLargestHexFile));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return unreadable(HexImage::Fault::Unreadable, lowerFirst(file.errorString()));
    image.records = splitLines(withoutTail(QString::fromLatin1(bytes)));
    if (const auto problem = formProblem(image.records))
        return refuse(problem->first, problem->second);
    return image;
}

QString fileNotFoundText(const QString &path)
{
    return QStringLiteral("File not found: %1").arg(QDir::toNativeSeparators(path));
}

QString unreadableText(const HexImage &image)
{
    if (image.fault == HexImage::Fault::NotFound)
        return fileNotFoundText(image.path);
    return QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(image.path), image.reason);
}

} // namespace velorix
