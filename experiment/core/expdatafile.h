#pragma once

// The experiment data file: its set-up header, its run lines, the names of
// its working copy and backup, and the writing itself.
//
// Lines go to the working file (".raw") first, written unbuffered and
// synced to the disk line by line; then the CSV file gets the same lines.
// While the CSV is as this program last left it (its size, its time of
// change and its last bytes), the new lines are appended to it the same
// way, when they lie within one page of the file: the system writes such a
// piece at once, so a process killed meanwhile leaves all of it or none.
// Otherwise (lines that cross a page, a CSV changed, shorter or not yet
// known) the CSV is checked against the working file and replaced by a
// copy of it as a whole (base/safefile.h: a new file, every byte count
// checked, then renamed). Either way the CSV is never half written,
// whatever happens to the program meanwhile, and a run costs the same at
// the file's 100,000th row as at its tenth, but for the runs whose line
// crosses a page (for lines of 60 bytes, one in about seventy). A write that fails part way (the
// disk full) is cut back, so both files only ever hold whole CR LF lines;
// the line is kept and written with the next one, so no recorded run is
// lost while the window stays open.

#include "base/safefile.h"
#include "model/deviceinfo.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>

namespace velorix {

namespace datafile {

// "MM/dd/yy HH:mm:ss", as in 03/07/05 14:09:30.
[[nodiscard]] QString formatStamp(const QDateTime &when);

// The name with its last three characters replaced: "raw" and "bak".
[[nodiscard]] QString rawNameFor(const QString &dataFile);
[[nodiscard]] QString bakNameFor(const QString &dataFile);
// The session log beside it (sessionlog.h), named the same way.
[[nodiscard]] QString logNameFor(const QString &dataFile);
// Adds ".csv" to a name that does not end in it, so that the working file
// and the backup always sit beside it as ".raw" and ".bak".
[[nodiscard]] QString withCsvSuffix(const QString &name);

// The eight headings of the results grid for a unit ("RPM", "cm/s").
[[nodiscard]] QStringList gridHeadings(const QString &units);

// The 19 header lines of a new data file.
struct HeaderFacts
{
    int versionMajor = 1;
    int versionMinor = 0;
    int deviceNumber = 0;
};
[[nodiscard]] QStringList headerLines(const DeviceInfo &record, const HeaderFacts &facts);

// The cells of a run row for channel c; `lastColumn` is what column 7
// shows (the run's total, or the subject's accumulated one). A subject ID
// the file cannot hold (model/fieldtext.h) would shift the row's cells or
// break its line: it is recorded with those characters replaced, and
// `note` (empty otherwise) says so for the session log.
[[nodiscard]] QStringList runCells(const DeviceInfo &record, int channel, float lastColumn,
                                   QString *note = nullptr);

// One data-file line: every cell followed by a comma.
[[nodiscard]] QString csvLine(const QStringList &cells);

// The length of `bytes` without an unfinished last line: the bytes after
// the last CR LF when they hold no line feed at all (a write cut short).
// A tail that holds a line feed came in lines from elsewhere and is kept.
[[nodiscard]] qsizetype completeLength(const QByteArray &bytes);

// The whole file; false when it cannot be read (missing included).
bool readWhole(const QString &path, QByteArray &content);
// (A file is replaced as a whole by replaceFile, base/safefile.h.)
// Cuts the file to `size` bytes and syncs it.
bool cutFile(const QString &path, qint64 size);
// The file's bytes are on the disk (base/safefile.h).
using velorix::syncToDisk;

} // namespace datafile

class ExpDataFile
{
public:
    void setFiles(const QString &dataFile, const QString &rawFile);
    [[nodiscard]] const QString &dataFile() const { return m_dataFile; }
    [[nodiscard]] const QString &rawFile() const { return m_rawFile; }

    // A new working file with the header (an existing one is replaced),
    // and the data file as its copy, so both hold the whole header from the
    // start. False only when the working file could not be written; a data
    // file that could not be replaced yet is tried again with the first
    // line (allWritten() is false meanwhile).
    bool writeHeader(const QStringList &lines);
    // Appending to an existing data file: the working file must start with
    // everything the data file holds, so the data file keeps its earlier
    // content when the first new run replaces it. A working file that does
    // (perhaps with rows of an interrupted session beyond) is kept, less an
    // unfinished last line; a missing or shorter one starts again as a copy
    // of the data file; one that holds something else is first renamed
    // aside (keptNameFor) so none of it is lost. The data file itself is
    // left as it is until a run is recorded.
    bool prepareAppend();
    // Copies the data file to its backup (an existing backup is replaced,
    // or left whole when the copy fails, with the reason in `why`).
    bool backup(QString *why = nullptr) const;

    // Appends one line (and any line still waiting) to the working file,
    // then refreshes the data file. False when something is still not on
    // disk; it is tried again with the next line or retry(). A data file
    // changed elsewhere meanwhile (the working file no longer starts with
    // it) is not replaced: the lines stay safe in the working file.
    bool append(const QString &line);
    bool retry();
    [[nodiscard]] bool allWritten() const { return m_pending.isEmpty() && !m_copyDue; }
    [[nodiscard]] int pendingLines() const { return static_cast<int>(m_pending.size()); }

    // The free name a working file is renamed to when it is set aside:
    // "<raw>.kept", then "<raw>.kept2" and on.
    [[nodiscard]] static QString keptNameFor(const QString &rawFile);

private:
    // What the CSV held when this program last wrote it or found it equal
    // to the working file's start; size -1: not known.
    struct DataFileSeen
    {
        qint64 size = -1;
        QDateTime modified;
        QByteArray tail;
    };

    bool writePending();
    // The working file's length of whole lines (cut to it if need be) and
    // whether its last line is ended; false when the cut failed.
    bool wholeLinesOf(QFile &file, qint64 &end, bool &ended);
    bool refreshDataFile();
    // Appends to the CSV (open, as seen) what the working file holds beyond it.
    bool extendDataFile(QFile &file);
    // The CSV replaced by the working file's whole lines, once it is found
    // to be their start; or, with those lines given, straight away.
    bool checkAndCopyWorkingFile();
    bool copyWorkingFile(QByteArray raw = {});
    void noteDataFileSeen(const QByteArray &content);
    [[nodiscard]] bool dataFileAsSeen(QFile &file) const;
    // A new working file holding `data` (a data file's content), ended by a
    // line end.
    bool startWorkingFileFrom(QByteArray data);

    QString m_dataFile;
    QString m_rawFile;
    QStringList m_pending;
    bool m_copyDue = false;
    // A new experiment's data file replaces whatever was there; later
    // copies only ever extend it.
    bool m_replaceDataFile = false;
    // The working file's size when it last held only whole lines we know
    // of; when a failed write could not be cut back (m_cutDue), the next
    // write first cuts the file to it.
    qint64 m_goodSize = -1;
    bool m_cutDue = false;
    DataFileSeen m_dataSeen;
};

} // namespace velorix
