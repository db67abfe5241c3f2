#include "experiment/core/expdatafile.h"

#include "base/safefile.h"
#include "experiment/core/expnumbers.h"
#include "experiment/core/setupvalues.h"
#include "model/fieldtext.h"

#include <QFile>

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

qsizetype completeLength(const QByteArray &bytes)
{
    const qsizetype lastEnd = bytes.lastIndexOf(kLineEnd);
    const qsizetype tail = lastEnd < 0 ? 0 : lastEnd + kLineEnd.size();
    if (bytes.indexOf('\n', tail) >= 0)
        return bytes.size();
    return tail;
}

bool readWhole(const QString &path, QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    content = file.readAll();
    return file.error() == QFileDevice::NoError;
}

bool cutFile(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) && file.resize(size) && syncToDisk(file);
}

} // namespace datafile

using datafile::kLineEnd;

namespace {

QByteArray linesText(const QStringList &lines)
{
    QByteArray text;
    for (const QString &line : lines)
        text += line.toLatin1() + kLineEnd;
    return text;
}

} // namespace

void ExpDataFile::setFiles(const QString &dataFile, const QString &rawFile)
{
    m_dataFile = dataFile;
    m_rawFile = rawFile;
    m_pending.clear();
    m_copyDue = false;
    m_replaceDataFile = false;
    m_goodSize = -1;
    m_cutDue = false;
}

bool ExpDataFile::writeHeader(const QStringList &lines)
{
    // Replaced as a whole, so a working file is never left holding part of
    // a header.
    const QByteArray text = linesText(lines);
    if (!replaceFile(m_rawFile, text))
        return false;
    m_goodSize = text.size();
    m_cutDue = false;
    m_replaceDataFile = true;
    m_copyDue = true;
    refreshDataFile();
    return true;
}

bool ExpDataFile::prepareAppend()
{
    m_replaceDataFile = false;
    QByteArray data;
    const bool haveData = QFile::exists(m_dataFile);
    if (haveData && !datafile::readWhole(m_dataFile, data))
        return false;
    if (QFile::exists(m_rawFile)) {
        QByteArray raw;
        if (!datafile::readWhole(m_rawFile, raw))
            return false;
        const qsizetype whole = raw.size();
        const qsizetype complete = datafile::completeLength(raw);
        raw.truncate(complete);
        if (raw.startsWith(data)) {
            // An unfinished last line (the program stopped in the middle of
            // a write) goes before anything is appended after it; should
            // the cut fail here, the first write cuts it.
            if (complete < whole)
                datafile::cutFile(m_rawFile, complete);
            m_goodSize = complete;
            m_cutDue = false;
            return true;
        }
        if (!data.startsWith(raw) && !QFile::rename(m_rawFile, keptNameFor(m_rawFile)))
            return false;
    }
    if (!haveData)
        return true;
    return startWorkingFileFrom(data);
}

bool ExpDataFile::startWorkingFileFrom(QByteArray data)
{
    // The data file's own last line, if not ended, is ended rather than
    // run into by the first new one.
    if (!data.isEmpty() && !data.endsWith('\n'))
        data += kLineEnd;
    if (!replaceFile(m_rawFile, data))
        return false;
    m_goodSize = data.size();
    m_cutDue = false;
    return true;
}

bool ExpDataFile::backup(QString *why) const
{
    return copyReplacing(m_dataFile, datafile::bakNameFor(m_dataFile), why);
}

QString ExpDataFile::keptNameFor(const QString &rawFile)
{
    QString name = rawFile + QStringLiteral(".kept");
    for (int n = 2; QFile::exists(name); ++n)
        name = rawFile + QStringLiteral(".kept%1").arg(n);
    return name;
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
    // A working file deleted meanwhile starts again from the data file, so
    // that the data file can still be replaced by it without losing lines.
    if (!m_replaceDataFile && !QFile::exists(m_rawFile) && QFile::exists(m_dataFile)) {
        QByteArray data;
        if (!datafile::readWhole(m_dataFile, data) || !startWorkingFileFrom(data))
            return false;
    }

    QFile file(m_rawFile);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return false;
    QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    // After a write that could not be cut back, whatever follows the last
    // good size is part of the lines still waiting: it goes, or they would
    // be written twice. Otherwise only an unfinished last line goes.
    if (m_cutDue && m_goodSize >= 0)
        old.truncate(qMin<qint64>(old.size(), m_goodSize));
    const qint64 end = datafile::completeLength(old);
    old.truncate(end);
    if (end < file.size()) {
        if (!file.resize(end) || !datafile::syncToDisk(file)) {
            m_goodSize = end;
            m_cutDue = true;
            return false;
        }
    }
    m_goodSize = end;
    m_cutDue = false;

    QByteArray text = linesText(m_pending);
    if (end > 0 && !old.endsWith('\n'))
        text.prepend(kLineEnd); // a last line from elsewhere, not ended
    if (!file.seek(end) || file.write(text) != text.size() || !datafile::syncToDisk(file)) {
        // Part of it may be on the disk; writing all of it again later
        // would break or double those lines, so cut the file back to where
        // it was before anything else is written.
        m_cutDue = !(file.resize(end) && datafile::syncToDisk(file));
        return false;
    }
    m_goodSize = end + text.size();
    m_pending.clear();
    m_copyDue = true;
    return true;
}

bool ExpDataFile::refreshDataFile()
{
    QByteArray raw;
    if (!datafile::readWhole(m_rawFile, raw))
        return false;
    raw.truncate(datafile::completeLength(raw));
    if (!m_replaceDataFile && QFile::exists(m_dataFile)) {
        // The data file is only ever extended: never shorter than before,
        // and never replaced when it was changed elsewhere.
        QByteArray data;
        if (!datafile::readWhole(m_dataFile, data) || !raw.startsWith(data))
            return false;
        if (data.size() == raw.size()) {
            m_copyDue = false;
            return true;
        }
    }
    if (!replaceFile(m_dataFile, raw))
        return false;
    m_copyDue = false;
    m_replaceDataFile = false;
    return true;
}

} // namespace velorix
