#include "maintenance/core/hexfile.h"

#include <QFile>

#include <cerrno>

namespace velorix {

namespace {

constexpr int kRecordTypeEnd = 1;

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

bool isEndRecord(const QString &line)
{
    return line.size() >= 9 && hexValue(line[7]) * 16 + hexValue(line[8]) == kRecordTypeEnd;
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
    int count = -1;
    for (qsizetype i = 1; i < line.size(); i += 2) {
        const int high = hexValue(line[i]);
        const int low = hexValue(line[i + 1]);
        if (high < 0 || low < 0)
            return QStringLiteral("not hexadecimal");
        const int byte = high * 16 + low;
        if (count < 0)
            count = byte;
        sum += byte;
    }
    // Byte count, two address bytes, the type, the data and the checksum.
    if (digits / 2 != count + 5)
        return QStringLiteral("byte count does not match the length");
    if (sum % 256 != 0)
        return QStringLiteral("checksum wrong");
    return {};
}

HexImage readHexFile(const QString &path)
{
    HexImage image;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        image.code = static_cast<std::int16_t>(errno != 0 ? errno : ENOENT);
        return image;
    }
    if (file.size() < 1) {
        image.code = 1;
        return image;
    }
    const auto refuse = [&image](int line, const QString &reason) {
        image.code = 2;
        image.badLine = line;
        image.reason = reason;
        image.records.clear();
        return image;
    };
    if (file.size() > kLargestHexFile)
        return refuse(0, QStringLiteral("larger than any firmware (%1 bytes)").arg(kLargestHexFile));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        image.code = static_cast<std::int16_t>(errno != 0 ? errno : EIO);
        return image;
    }
    image.records = splitLines(QString::fromLatin1(bytes));
    for (int i = 0; i < image.records.size(); ++i) {
        const QString &line = image.records[i];
        const QString problem = recordProblem(line);
        if (!problem.isEmpty())
            return refuse(i + 1, problem);
        const bool last = i + 1 == image.records.size();
        if (isEndRecord(line) != last)
            return refuse(i + 1, last ? QStringLiteral("no end-of-file record at the end")
                                      : QStringLiteral("lines after the end-of-file record"));
    }
    return image;
}

} // namespace velorix
