#include "experiment/expdatafile.h"

#include "experiment/expnumbers.h"
#include "experiment/setupvalues.h"

#include <QFile>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace velorix {

namespace datafile {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

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
        QStringLiteral("Velorix-5 number %1 at address %2").arg(facts.deviceNumber).arg(record.bytBusAddr),
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

QStringList runCells(const DeviceInfo &record, int channel, float lastColumn)
{
    const int c = channel;
    const float rotSpeed = record.sngRotTime[c] > 0 ? record.sngRotSpeed[c] : record.sngChanSpeed[c];
    return {record.strSubID[c],
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

namespace {

// The file's bytes are on the disk, not only in the system's cache, so a
// power cut after this keeps them.
void syncToDisk(QFile &file)
{
    file.flush();
#ifdef Q_OS_UNIX
    ::fsync(file.handle());
#endif
}

} // namespace

void ExpDataFile::setFiles(const QString &dataFile, const QString &rawFile)
{
    m_dataFile = dataFile;
    m_rawFile = rawFile;
    m_pending.clear();
    m_copyDue = false;
}

bool ExpDataFile::writeHeader(const QStringList &lines)
{
    QFile file(m_rawFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray text;
    for (const QString &line : lines)
        text += line.toLatin1() + datafile::kLineEnd;
    const bool written = file.write(text) == text.size();
    syncToDisk(file);
    return written && file.error() == QFileDevice::NoError;
}

bool ExpDataFile::prepareAppend()
{
    if (QFile::exists(m_rawFile) || !QFile::exists(m_dataFile))
        return true;
    return QFile::copy(m_dataFile, m_rawFile);
}

bool ExpDataFile::backup() const
{
    const QString bak = datafile::bakNameFor(m_dataFile);
    if (QFile::exists(bak) && !QFile::remove(bak))
        return false;
    return QFile::copy(m_dataFile, bak);
}

bool ExpDataFile::append(const QString &line)
{
    m_pending << line;
    return retry();
}

bool ExpDataFile::retry()
{
    if (!m_pending.isEmpty() && !writePending())
        return false;
    if (m_copyDue && !refreshDataFile())
        return false;
    return true;
}

bool ExpDataFile::writePending()
{
    QFile file(m_rawFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const qint64 before = file.size();
    QByteArray text;
    for (const QString &line : std::as_const(m_pending))
        text += line.toLatin1() + datafile::kLineEnd;
    if (file.write(text) != text.size()) {
        // Part of it may be on the disk; writing all of it again later
        // would double those lines, so cut the file back to where it was.
        file.resize(before);
        return false;
    }
    syncToDisk(file);
    if (file.error() != QFileDevice::NoError)
        return false;
    m_pending.clear();
    m_copyDue = true;
    return true;
}

bool ExpDataFile::refreshDataFile()
{
    QFile raw(m_rawFile);
    if (!raw.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = raw.readAll();
    if (raw.error() != QFileDevice::NoError)
        return false;
    QSaveFile csv(m_dataFile);
    if (!csv.open(QIODevice::WriteOnly))
        return false;
    if (csv.write(content) != content.size()) {
        csv.cancelWriting();
        return false;
    }
    if (!csv.commit())
        return false;
    m_copyDue = false;
    return true;
}

} // namespace velorix
