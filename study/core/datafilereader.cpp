#include "study/core/datafilereader.h"

#include "experiment/core/expdatafile.h"

#include <QRegularExpression>

#include <cmath>

namespace velorix {

namespace {

constexpr int kCells = 8;

// A cell that must be a number; empty when it is not one.
std::optional<double> numberIn(QStringView cell)
{
    bool ok = false;
    const double value = cell.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// The digits of `text` from `at`, `count` of them, or -1.
int digitsAt(QStringView text, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        if (!text[i].isDigit())
            return -1;
        value = value * 10 + text[i].digitValue();
    }
    return value;
}

// The header's "Label:,value" lines into the set-up and the device.
void takeHeaderLine(const QString &line, DataFileHeader &header)
{
    static const QRegularExpression device(QStringLiteral("^Velorix-5 number (\\d+) at address (\\d+)$"));
    if (const QRegularExpressionMatch match = device.match(line); match.hasMatch()) {
        header.deviceNumber = match.captured(1).toInt();
        header.address = match.captured(2).toInt();
        return;
    }
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    if (comma < 0)
        return;
    const QStringView label = QStringView(line).left(comma);
    const QString value = line.mid(comma + 1).trimmed();
    RunSetup &setup = header.setup;
    const double number = numberIn(value).value_or(0);
    if (label == QLatin1String("Start Speed:"))
        setup.startSpeed = number;
    else if (label == QLatin1String("End Speed:"))
        setup.endSpeed = number;
    else if (label == QLatin1String("Acceleration Interval:"))
        setup.accInterval = number;
    else if (label == QLatin1String("Acceleration Step Speed:"))
        setup.accStep = number;
    else if (label == QLatin1String("Duration:"))
        setup.duration = static_cast<int>(std::lround(number));
    else if (label == QLatin1String("Wheel Type:"))
        setup.wheel = value;
    else if (label == QLatin1String("Wheel Rotation:"))
        setup.direction = value;
}

// The units whose headings the line is, or empty.
QString unitsOfHeadings(const QString &line)
{
    for (const char *units : {"RPM", "cm/s"}) {
        if (line == datafile::csvLine(datafile::gridHeadings(QLatin1String(units))))
            return QLatin1String(units);
    }
    return {};
}

// One run row; the fault in words when its cells do not fit the headings.
std::optional<DataFileRow> rowOf(const QString &line, int number, const QStringList &headings, QString &fault)
{
    QStringList cells = line.split(QLatin1Char(','));
    if (cells.last().isEmpty())
        cells.removeLast(); // every cell is followed by a comma
    if (cells.size() != kCells) {
        fault = QStringLiteral("%1 cells where the headings name %2").arg(cells.size()).arg(kCells);
        return std::nullopt;
    }
    DataFileRow row;
    row.line = number;
    row.subject = cells[0];
    if (row.subject.trimmed().isEmpty()) {
        fault = QStringLiteral("no subject ID");
        return std::nullopt;
    }
    bool ok = false;
    row.channel = cells[1].toInt(&ok);
    if (!ok || row.channel < 1 || row.channel > 4) {
        fault = QStringLiteral("the channel \"%1\" is not 1 to 4").arg(cells[1]);
        return std::nullopt;
    }
    row.startText = cells[2];
    row.start = dataFileStamp(cells[2]);
    if (!row.start.isValid()) {
        fault = QStringLiteral("the start time \"%1\" is not a date and time like 03/07/05 14:09:30")
                        .arg(cells[2]);
        return std::nullopt;
    }
    double *const numbers[] = {&row.runTime, &row.speed, &row.rotationTime, &row.rotationSpeed};
    for (int i = 3; i < kCells; ++i) {
        const std::optional<double> value = numberIn(cells[i]);
        if (!value || *value < 0) {
            fault = QStringLiteral("\"%1\" under \"%2\" is not a number").arg(cells[i], headings.value(i));
            return std::nullopt;
        }
        if (i - 3 < 4)
            *numbers[i - 3] = *value;
    }
    return row;
}

} // namespace

bool isDataFileTitle(QStringView firstLine)
{
    return firstLine.startsWith(QLatin1String("Tarvenor Velorix-5 "));
}

QDateTime dataFileStamp(QStringView text)
{
    // MM/dd/yy HH:mm:ss
    if (text.size() != 17 || text[2] != QLatin1Char('/') || text[5] != QLatin1Char('/')
        || text[8] != QLatin1Char(' ') || text[11] != QLatin1Char(':') || text[14] != QLatin1Char(':'))
        return {};
    const int parts[] = {digitsAt(text, 0, 2), digitsAt(text, 3, 2),  digitsAt(text, 6, 2),
                         digitsAt(text, 9, 2), digitsAt(text, 12, 2), digitsAt(text, 15, 2)};
    for (const int part : parts) {
        if (part < 0)
            return {};
    }
    const QDate date(2000 + parts[2], parts[0], parts[1]);
    const QTime time(parts[3], parts[4], parts[5]);
    if (!date.isValid() || !time.isValid())
        return {};
    // As the wall clock showed it: kept apart from the time zone, so that
    // no hour of a change to or from summer time shifts or vanishes.
    return QDateTime(date, time, Qt::UTC);
}

DataFileReading readDataFileBytes(const QByteArray &bytes)
{
    DataFileReading reading;
    const QString text = QString::fromLatin1(bytes);
    QStringList lines = text.split(QLatin1Char('\n'));
    const bool lastEnded = lines.last().isEmpty();
    if (lastEnded)
        lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    const auto fault = [&reading](int line, const QString &words) {
        reading.faults.push_back(FileFault{QString(), line, words});
    };
    if (lines.isEmpty() || !isDataFileTitle(lines.first())) {
        fault(1,
              QStringLiteral("not a Velorix data file: its first line is \"%1\"")
                      .arg(lines.isEmpty() ? QString() : lines.first().left(60)));
        return reading;
    }
    const qsizetype dataLine = lines.indexOf(QStringLiteral("[Experiment Data]"));
    if (dataLine < 0) {
        fault(0, QStringLiteral("no \"[Experiment Data]\" line: the header is not whole"));
        return reading;
    }
    for (qsizetype i = 1; i < dataLine; ++i)
        takeHeaderLine(lines[i], reading.header);
    const qsizetype headings = dataLine + 1;
    reading.header.units = headings < lines.size() ? unitsOfHeadings(lines[headings]) : QString();
    if (reading.header.units.isEmpty()) {
        fault(int(headings + 1), QStringLiteral("the column headings are not a data file's"));
        return reading;
    }
    reading.isDataFile = true;
    const QStringList headingNames = datafile::gridHeadings(reading.header.units);
    reading.rows.reserve(lines.size() - headings);
    for (qsizetype i = headings + 1; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.isEmpty())
            continue;
        const int number = int(i + 1);
        QString why;
        if (std::optional<DataFileRow> row = rowOf(line, number, headingNames, why)) {
            reading.rows.push_back(std::move(*row));
        } else if (i + 1 == lines.size() && !lastEnded) {
            fault(number, QStringLiteral("a broken line, cut short: \"%1\"").arg(line.left(60)));
        } else {
            fault(number, why + QStringLiteral(": \"%1\"").arg(line.left(60)));
        }
    }
    return reading;
}

} // namespace velorix
