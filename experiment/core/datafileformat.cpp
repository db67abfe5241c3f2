// The data file's format: the names beside it, its header and its run lines.

#include "experiment/core/expdatafile.h"

#include "experiment/core/expnumbers.h"
#include "experiment/core/setupvalues.h"
#include "model/fieldtext.h"

namespace velorix {

namespace datafile {

namespace {

QString replacedExtension(const QString &name, const char *extension)
{
    return name.left(qMax<qsizetype>(0, name.size() - 3)) + QLatin1String(extension);
}

} // namespace

QString formatStamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("MM/dd/yy HH:mm:ss"));
}

QString rawNameFor(const QString &dataFile)
{
    return replacedExtension(dataFile, "raw");
}

QString bakNameFor(const QString &dataFile)
{
    return replacedExtension(dataFile, "bak");
}

QString logNameFor(const QString &dataFile)
{
    return replacedExtension(dataFile, "log");
}

QString withCsvSuffix(const QString &name)
{
    if (name.isEmpty() || name.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive))
        return name;
    return name + QStringLiteral(".csv");
}

QStringList gridHeadings(const QString &units)
{
    return {QStringLiteral("Subject ID"),
            QStringLiteral("CH #"),
            QStringLiteral("Start Time"),
            QStringLiteral("Run Time (sec)"),
            QStringLiteral("Speed (") + units + QLatin1Char(')'),
            QStringLiteral("P_R Time (sec)"),
            QStringLiteral("P_R Speed (") + units + QLatin1Char(')'),
            QStringLiteral("Total Run Time (sec)")};
}

QStringList headerLines(const DeviceInfo &record, const HeaderFacts &facts)
{
    const QString units = unitsText(record.bytExpOptions);
    return {
            QStringLiteral("Tarvenor Velorix-5 %1.%2").arg(facts.versionMajor).arg(facts.versionMinor),
            QStringLiteral("Velorix-5 number %1 at address %2")
                    .arg(facts.deviceNumber)
                    .arg(record.bytBusAddr),
            QStringLiteral("Started On:,") + formatStamp(record.dtExpStart),
            QStringLiteral("Experiment Filename:,") + record.strRawFile,
            QString(),
            QStringLiteral("[Experiment Setup Info]"),
            QStringLiteral("Duration:,%1").arg(record.intDuration),
            QStringLiteral("Start Speed:,") + format1(record.intStartSpeed / 10.0),
            QStringLiteral("End Speed:,") + format1(record.intEndSpeed / 10.0),
            QStringLiteral("Acceleration Interval:,") + format1(record.intAccInterval / 10.0),
            QStringLiteral("Acceleration Step Speed:,") + format1(record.intAccStep / 10.0),
            QStringLiteral("Session Duration:,") + format1(record.intDuration),
            QStringLiteral("Passive Rotation Delay:,") + format1(record.intRotDelay / 10.0),
            QStringLiteral("Speed Units:,") + units,
            QStringLiteral("Wheel Type:,")
                    + ((record.bytExpOptions & kOptionMouseWheel) ? QStringLiteral("Mouse Wheel")
                                                                  : QStringLiteral("Rat Wheel")),
            QStringLiteral("Wheel Rotation:,")
                    + ((record.bytDirection & 1) ? QStringLiteral("CCW") : QStringLiteral("CW")),
            QStringLiteral(" 3 "),
            QStringLiteral("[Experiment Data]"),
            csvLine(gridHeadings(units)),
    };
}

QStringList runCells(const DeviceInfo &record, int channel, float lastColumn, QString *note)
{
    const int c = channel;
    const float rotSpeed = record.sngRotTime[c] > 0 ? record.sngRotSpeed[c] : record.sngChanSpeed[c];
    // The boxes never take such an ID; should one come some other way, the
    // run is still recorded, in its eight cells, and the note says how.
    QString id = record.strSubID[c];
    const QString problem = fieldTextProblem(id);
    if (!problem.isEmpty()) {
        id = fieldTextReplaced(id);
        if (note) {
            *note = QStringLiteral("The subject ID of Ch %1 holds %2, which the data file cannot hold; "
                                   "the run is recorded under \"%3\".")
                            .arg(c + 1)
                            .arg(problem, id);
        }
    } else if (note) {
        note->clear();
    }
    return {id,
            QString::number(c + 1),
            formatStamp(record.dtChanStart[c]),
            format1(record.sngRunTime[c]),
            format1(record.sngChanSpeed[c]),
            format1(record.sngRotTime[c]),
            format1(rotSpeed),
            format1(lastColumn)};
}

QString csvLine(const QStringList &cells)
{
    QString line;
    for (const QString &cell : cells)
        line += cell + QLatin1Char(',');
    return line;
}

} // namespace datafile

} // namespace velorix
