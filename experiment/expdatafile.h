#pragma once

// The experiment data file: its set-up header, its run lines, the names of
// its working copy and backup, and the writing itself.
//
// Lines go to the working file (".raw") first, flushed to disk line by
// line; the CSV file is then replaced by a copy of the working file as a
// whole (written to a new file, then renamed), so the CSV is never half
// written, whatever happens to the program or the machine meanwhile. A line
// that cannot reach the working file (the folder gone, the disk full) is
// kept and written before the next one, so no recorded run is lost while
// the window stays open.

#include "app/deviceinfo.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace velorix {

namespace datafile {

// "MM/dd/yy HH:mm:ss", as in 03/07/05 14:09:30.
[[nodiscard]] QString formatStamp(const QDateTime &when);

// The name with its last three characters replaced: "raw" and "bak".
[[nodiscard]] QString rawNameFor(const QString &dataFile);
[[nodiscard]] QString bakNameFor(const QString &dataFile);
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
// shows (the run's total, or the subject's accumulated one).
[[nodiscard]] QStringList runCells(const DeviceInfo &record, int channel, float lastColumn);

// One data-file line: every cell followed by a comma.
[[nodiscard]] QString csvLine(const QStringList &cells);

} // namespace datafile

class ExpDataFile
{
public:
    void setFiles(const QString &dataFile, const QString &rawFile);
    [[nodiscard]] const QString &dataFile() const { return m_dataFile; }
    [[nodiscard]] const QString &rawFile() const { return m_rawFile; }

    // A new working file with the header (an existing one is emptied).
    bool writeHeader(const QStringList &lines);
    // Appending to an existing data file whose working file is missing:
    // the working file starts as a copy of the data file, so the data file
    // keeps its earlier content when the first new run replaces it.
    bool prepareAppend();
    // Copies the data file to its backup (an existing backup is replaced).
    bool backup() const;

    // Appends one line (and any line still waiting) to the working file,
    // then refreshes the data file. False when something is still not on
    // disk; it is tried again with the next line or retry().
    bool append(const QString &line);
    bool retry();
    [[nodiscard]] bool allWritten() const { return m_pending.isEmpty() && !m_copyDue; }
    [[nodiscard]] int pendingLines() const { return static_cast<int>(m_pending.size()); }

private:
    bool writePending();
    bool refreshDataFile();

    QString m_dataFile;
    QString m_rawFile;
    QStringList m_pending;
    bool m_copyDue = false;
};

} // namespace velorix
