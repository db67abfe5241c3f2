#include "experiment/core/expdatafile.h"

#include "base/safefile.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace velorix {

namespace datafile {

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

} // namespace

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

// The system copies a write into the file a page at a time and gives up
// between pages when the process is killed; a piece within one page is
// written whole or not at all.
constexpr qint64 kPageSize = 4096;

bool withinOnePage(qint64 offset, qint64 length)
{
    return length <= kPageSize - offset % kPageSize;
}

// As many of the CSV's last bytes as tell, with its size and time of
// change, that nobody else has written it.
constexpr qsizetype kSeenTail = 64;

enum class Written {
    Whole,
    CutBack,
    Broken
};

// Writes `text` at `offset` of the file (unbuffered) and syncs it; a write
// that fails part way is cut back to `offset` (Broken: the cut failed too).
Written writeAt(QFile &file, qint64 offset, const QByteArray &text)
{
    if (file.seek(offset) && file.write(text) == text.size() && datafile::syncToDisk(file))
        return Written::Whole;
    return file.resize(offset) && datafile::syncToDisk(file) ? Written::CutBack : Written::Broken;
}

// Exactly `length` bytes from `offset`, or nothing.
std::optional<QByteArray> readAt(const QString &path, qint64 offset, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return std::nullopt;
    QByteArray bytes = file.read(length);
    if (bytes.size() != length)
        return std::nullopt;
    return bytes;
}

QDateTime modifiedTime(const QString &path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
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
    m_dataSeen = {};
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
            if (haveData)
                noteDataFileSeen(data);
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
    // run into by the first new one (which then brings the line end to the
    // data file too).
    const QByteArray seen = data;
    if (!data.isEmpty() && !data.endsWith('\n'))
        data += kLineEnd;
    if (!replaceFile(m_rawFile, data))
        return false;
    m_goodSize = data.size();
    m_cutDue = false;
    noteDataFileSeen(seen);
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
    qint64 end = 0;
    bool ended = true;
    if (!wholeLinesOf(file, end, ended))
        return false;

    QByteArray text = linesText(m_pending);
    if (!ended)
        text.prepend(kLineEnd); // a last line from elsewhere, not ended
    // Part of a failed write may be on the disk; writing all of it again
    // later would break or double those lines, so it is cut back to where
    // it was before anything else is written.
    const Written written = writeAt(file, end, text);
    m_cutDue = written == Written::Broken;
    if (written != Written::Whole)
        return false;
    m_goodSize = end + text.size();
    m_pending.clear();
    m_copyDue = true;
    return true;
}

bool ExpDataFile::wholeLinesOf(QFile &file, qint64 &end, bool &ended)
{
    // As this program left it: its size, ending in a line end. Only then is
    // it not read.
    const qint64 size = file.size();
    if (!m_cutDue && size == m_goodSize) {
        char last = '\n';
        if (size == 0 || (file.seek(size - 1) && file.getChar(&last) && last == '\n')) {
            end = size;
            ended = true;
            return true;
        }
    }
    // Changed some other way: whether the data file is still its start is
    // then checked whole.
    m_dataSeen = {};
    QByteArray old = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    // After a write that could not be cut back, whatever follows the last
    // good size is part of the lines still waiting: it goes, or they would
    // be written twice. Otherwise only an unfinished last line goes.
    if (m_cutDue && m_goodSize >= 0)
        old.truncate(qMin<qint64>(old.size(), m_goodSize));
    end = datafile::completeLength(old);
    old.truncate(end);
    ended = end == 0 || old.endsWith('\n');
    if (end < size && !(file.resize(end) && datafile::syncToDisk(file))) {
        m_goodSize = end;
        m_cutDue = true;
        return false;
    }
    m_goodSize = end;
    m_cutDue = false;
    return true;
}

bool ExpDataFile::refreshDataFile()
{
    if (!m_replaceDataFile && m_dataSeen.size >= 0 && m_goodSize >= m_dataSeen.size
        && QFile::exists(m_dataFile)) {
        QFile file(m_dataFile);
        if (file.open(QIODevice::ReadWrite | QIODevice::Unbuffered) && dataFileAsSeen(file)) {
            if (withinOnePage(m_dataSeen.size, m_goodSize - m_dataSeen.size))
                return extendDataFile(file);
            file.close();
            return copyWorkingFile(); // known to be its start: no need to compare
        }
    }
    return checkAndCopyWorkingFile();
}

bool ExpDataFile::extendDataFile(QFile &file)
{
    const qint64 from = m_dataSeen.size;
    const std::optional<QByteArray> read = readAt(m_rawFile, from, m_goodSize - from);
    if (!read)
        return false;
    const QByteArray &added = *read;
    switch (writeAt(file, from, added)) {
    case Written::Whole:
        m_dataSeen.size = from + added.size();
        m_dataSeen.tail = (m_dataSeen.tail + added).right(kSeenTail);
        m_dataSeen.modified = modifiedTime(m_dataFile);
        m_copyDue = false;
        return true;
    case Written::CutBack: m_dataSeen.modified = modifiedTime(m_dataFile); return false;
    case Written::Broken: m_dataSeen = {}; return false; // the whole check mends it
    }
    return false;
}

bool ExpDataFile::dataFileAsSeen(QFile &file) const
{
    const qint64 size = file.size();
    if (size != m_dataSeen.size || modifiedTime(m_dataFile) != m_dataSeen.modified)
        return false;
    const qint64 tail = qMin<qint64>(size, kSeenTail);
    return file.seek(size - tail) && file.read(tail) == m_dataSeen.tail;
}

void ExpDataFile::noteDataFileSeen(const QByteArray &content)
{
    m_dataSeen.size = content.size();
    m_dataSeen.tail = content.right(kSeenTail);
    m_dataSeen.modified = modifiedTime(m_dataFile);
}

bool ExpDataFile::checkAndCopyWorkingFile()
{
    if (m_replaceDataFile || !QFile::exists(m_dataFile))
        return copyWorkingFile();
    // The data file is only ever extended: never shorter than before, and
    // never replaced when it was changed elsewhere.
    QByteArray raw;
    QByteArray data;
    if (!datafile::readWhole(m_rawFile, raw) || !datafile::readWhole(m_dataFile, data))
        return false;
    raw.truncate(datafile::completeLength(raw));
    if (!raw.startsWith(data))
        return false;
    if (data.size() < raw.size())
        return copyWorkingFile(raw);
    noteDataFileSeen(data);
    m_copyDue = false;
    return true;
}

bool ExpDataFile::copyWorkingFile(QByteArray raw)
{
    if (raw.isNull()) {
        if (!datafile::readWhole(m_rawFile, raw))
            return false;
        raw.truncate(datafile::completeLength(raw));
    }
    if (!replaceFile(m_dataFile, raw))
        return false;
    noteDataFileSeen(raw);
    m_copyDue = false;
    m_replaceDataFile = false;
    return true;
}

} // namespace velorix
