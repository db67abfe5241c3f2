// The data file under a full disk, a killed writer and the recovery at the
// next start: both files only ever hold whole CR LF lines, the CSV never
// shrinks, and no row that was reported written is lost.

#include "statekit.h"

#include "experiment/core/datarecovery.h"
#include "experiment/core/expdatafile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velorix {
namespace {

using testing::contents;
using testing::FileSizeLimit;
using testing::writeFile;

// Every line ends in CR LF, and neither character stands anywhere else.
bool onlyWholeLines(const QByteArray &bytes)
{
    return (bytes.isEmpty() || bytes.endsWith("\r\n")) && bytes.count('\r') == bytes.count("\r\n")
            && bytes.count('\n') == bytes.count("\r\n");
}

// The file seen at a moment when it does not end in a line end.
bool writingALine(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    struct stat status
    {};
    char last = '\n';
    const bool caught = ::fstat(fd, &status) == 0 && status.st_size > 0
            && ::pread(fd, &last, 1, status.st_size - 1) == 1 && last != '\n';
    ::close(fd);
    return caught;
}

using DataSafetyTest = testing::SharedStateTest;

TEST_F(DataSafetyTest, AFullDiskNeitherBreaksALineNorShortensTheCsv)
{
    const QString csv = path("run.csv");
    const QString raw = path("run.raw");
    ExpDataFile file;
    file.setFiles(csv, raw);
    ASSERT_TRUE(file.writeHeader({"H1", "H2"}));
    ASSERT_TRUE(file.append(QStringLiteral("r1,")));
    const QByteArray before = contents(raw);
    ASSERT_EQ(contents(csv), before);

    {
        // Room for a few bytes of the next line only.
        FileSizeLimit full(before.size() + 4);
        EXPECT_FALSE(file.append(QStringLiteral("run two,")));
        EXPECT_FALSE(file.append(QStringLiteral("run three,")));
        EXPECT_EQ(contents(raw), before);
        EXPECT_EQ(contents(csv), before);
        EXPECT_FALSE(file.allWritten());
        EXPECT_EQ(file.pendingLines(), 2);
    }
    ASSERT_TRUE(file.retry());
    EXPECT_EQ(contents(raw), before + "run two,\r\nrun three,\r\n");
    EXPECT_EQ(contents(csv), contents(raw));
    EXPECT_TRUE(file.allWritten());

    // A CSV changed elsewhere is not replaced; the row waits in the working
    // file only.
    const QByteArray good = contents(csv);
    const QDateTime goodTime = QFileInfo(csv).fileTime(QFileDevice::FileModificationTime);
    writeFile(csv, "edited\r\n");
    EXPECT_FALSE(file.append(QStringLiteral("r4,")));
    EXPECT_EQ(contents(csv), QByteArray("edited\r\n"));
    EXPECT_EQ(file.pendingLines(), 0);
    EXPECT_FALSE(file.allWritten());

    // Put back, the refresh of the CSV itself runs out of room: the old CSV
    // stays whole and no temporary file is left.
    writeFile(csv, good);
    {
        FileSizeLimit full(good.size() + 4);
        EXPECT_FALSE(file.retry());
    }
    EXPECT_EQ(contents(csv), good);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"run.csv", "run.raw"}));
    // With its time of change put back too, the CSV is as last written and
    // the line goes on its end in place: the part written is cut back.
    {
        QFile back(csv);
        ASSERT_TRUE(back.open(QIODevice::ReadWrite)
                    && back.setFileTime(goodTime, QFileDevice::FileModificationTime));
    }
    {
        FileSizeLimit full(good.size() + 2);
        EXPECT_FALSE(file.retry());
    }
    EXPECT_EQ(contents(csv), good);
    ASSERT_TRUE(file.retry());
    EXPECT_EQ(contents(csv), good + "r4,\r\n");
    EXPECT_EQ(contents(raw), contents(csv));

    // A new experiment's header that finds no room: refused, the working
    // file as it was.
    {
        FileSizeLimit full(8);
        EXPECT_FALSE(file.writeHeader({QString(40, 'H')}));
    }
    EXPECT_EQ(contents(raw), good + "r4,\r\n");
}

TEST_F(DataSafetyTest, AppendingStartsFromWhatTheWorkingFileAndTheCsvShare)
{
    // Backed up first; without a working file it starts from the CSV, so
    // the first new run does not wipe what the CSV held.
    writeFile(path("old.csv"), "header\r\nold run,\r\n");
    writeFile(path("old.bak"), "an older backup");
    ExpDataFile file;
    file.setFiles(path("old.csv"), path("old.raw"));
    ASSERT_TRUE(file.backup() && file.prepareAppend());
    EXPECT_EQ(contents(path("old.bak")), QByteArray("header\r\nold run,\r\n"));
    ASSERT_TRUE(file.append(QStringLiteral("new run,")));
    EXPECT_EQ(contents(path("old.csv")), QByteArray("header\r\nold run,\r\nnew run,\r\n"));

    // A working file ahead of its CSV, ending in a line cut by a kill.
    writeFile(path("a.csv"), "H\r\nr1,\r\n");
    writeFile(path("a.raw"), "H\r\nr1,\r\nr2,\r\nr3");
    file.setFiles(path("a.csv"), path("a.raw"));
    ASSERT_TRUE(file.prepareAppend());
    EXPECT_EQ(contents(path("a.csv")), QByteArray("H\r\nr1,\r\n")); // nothing yet
    ASSERT_TRUE(file.append(QStringLiteral("new,")));
    EXPECT_EQ(contents(path("a.raw")), QByteArray("H\r\nr1,\r\nr2,\r\nnew,\r\n"));
    EXPECT_EQ(contents(path("a.csv")), contents(path("a.raw")));

    // A working file that does not hold the CSV (the CSV edited elsewhere)
    // is kept aside; the CSV's own unended last line is ended.
    writeFile(path("b.csv"), "H\r\nedited,");
    writeFile(path("b.raw"), "H\r\nr1,\r\n");
    file.setFiles(path("b.csv"), path("b.raw"));
    ASSERT_TRUE(file.prepareAppend());
    ASSERT_TRUE(file.append(QStringLiteral("new,")));
    EXPECT_EQ(contents(path("b.raw.kept")), QByteArray("H\r\nr1,\r\n"));
    EXPECT_EQ(contents(path("b.csv")), QByteArray("H\r\nedited,\r\nnew,\r\n"));
    EXPECT_EQ(ExpDataFile::keptNameFor(path("b.raw")), path("b.raw.kept2"));

    // The working file deleted while the window is open: it starts again
    // from the CSV instead of replacing it with the new rows alone.
    ASSERT_TRUE(QFile::remove(path("b.raw")));
    ASSERT_TRUE(file.append(QStringLiteral("later,")));
    EXPECT_EQ(contents(path("b.csv")), QByteArray("H\r\nedited,\r\nnew,\r\nlater,\r\n"));

    // A working file that cannot be made: no start, the CSV untouched.
    file.setFiles(path("b.csv"), path("gone/b.raw"));
    EXPECT_FALSE(file.prepareAppend());
    EXPECT_EQ(contents(path("b.csv")), QByteArray("H\r\nedited,\r\nnew,\r\nlater,\r\n"));
    // Nor when the working file cannot be read.
    ASSERT_TRUE(QDir(path(".")).mkdir(QStringLiteral("c.raw")));
    file.setFiles(path("b.csv"), path("c.raw"));
    EXPECT_FALSE(file.prepareAppend());

    // Files named afresh and not yet checked: a line goes after what the
    // CSV holds, never in its place.
    file.setFiles(path("old.csv"), path("old.raw"));
    ASSERT_TRUE(QFile::remove(path("old.raw")));
    ASSERT_TRUE(file.append(QStringLiteral("newer,")));
    EXPECT_EQ(contents(path("old.csv")), QByteArray("header\r\nold run,\r\nnew run,\r\nnewer,\r\n"));
}

ino_t inodeOf(const QString &path)
{
    struct stat status
    {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// The CSV gets a new line in place only while it is as this program left
// it and the line lies within one page of the file; otherwise it is
// checked whole and replaced (a new file: another inode).
TEST_F(DataSafetyTest, TheCsvIsExtendedInPlaceOnlyWhileItIsAsLeft)
{
    const QString csv = path("run.csv");
    const QString raw = path("run.raw");
    writeFile(csv, "H\r\nr1,\r\n");
    writeFile(raw, "H\r\nr1,\r\n");
    ExpDataFile file;
    file.setFiles(csv, raw);
    ASSERT_TRUE(file.prepareAppend());
    const ino_t first = inodeOf(csv);
    ASSERT_TRUE(file.append(QStringLiteral("r2,")));
    EXPECT_EQ(contents(csv), QByteArray("H\r\nr1,\r\nr2,\r\n"));
    EXPECT_EQ(inodeOf(csv), first);

    // A line that would cross into the file's second page is not written
    // in place, where a kill could leave part of it.
    const QString longLine = QString(4096 - 13 - 2, 'x') + QLatin1Char(',');
    ASSERT_TRUE(file.append(longLine));
    EXPECT_EQ(contents(csv), contents(raw));
    EXPECT_NE(inodeOf(csv), first);
    const ino_t second = inodeOf(csv);
    ASSERT_TRUE(file.append(QStringLiteral("r4,")));
    EXPECT_EQ(inodeOf(csv), second);

    // Edited elsewhere to the same size: in the middle (a new time of
    // change), or at its end with its time of change put back. Neither is
    // extended; the rows wait in the working file.
    const QByteArray good = contents(csv);
    const QDateTime changed = QFileInfo(csv).fileTime(QFileDevice::FileModificationTime);
    QByteArray edited = good;
    edited[0] = 'h';
    const auto writeChanged = [&csv](const QByteArray &bytes, const QDateTime &when) {
        writeFile(csv, bytes);
        QFile file(csv);
        return file.open(QIODevice::ReadWrite) && file.setFileTime(when, QFileDevice::FileModificationTime);
    };
    ASSERT_TRUE(writeChanged(edited, changed.addSecs(5)));
    EXPECT_FALSE(file.append(QStringLiteral("r5,")));
    EXPECT_EQ(contents(csv), edited);
    edited = good;
    edited[edited.size() - 3] = '5';
    ASSERT_TRUE(writeChanged(edited, changed));
    EXPECT_FALSE(file.retry());
    EXPECT_EQ(contents(csv), edited);

    // Put back as it was, it is brought up to date as a whole.
    writeFile(csv, good);
    ASSERT_TRUE(file.retry());
    EXPECT_EQ(contents(csv), contents(raw));
    EXPECT_TRUE(contents(csv).endsWith("r4,\r\nr5,\r\n"));
}

// A writer killed at any moment, again and again, each time followed by
// the next experiment appending to the same file.
TEST_F(DataSafetyTest, AKilledWriterLeavesWholeLinesAndLosesNoReportedRow)
{
    const QString csv = path("run.csv");
    const QString raw = path("run.raw");
    {
        ExpDataFile file;
        file.setFiles(csv, raw);
        ASSERT_TRUE(file.writeHeader({"Header", "[Experiment Data]"}));
    }
    const QByteArray header = "Header\r\n[Experiment Data]\r\n";
    // Some lines span many pages, so that kills fall inside their writes.
    const auto line = [](int round, int n) {
        return QStringLiteral("round %1 row %2,%3,")
                .arg(round)
                .arg(n)
                .arg(QString(n % 4 == 3 ? 64000 : 300, 'x'));
    };
    const QRegularExpression row(QStringLiteral("^round (\\d+) row (\\d+),x+,$"));
    QStringList reported; // the rows append() returned true for
    std::mt19937 random(20240611);

    for (int round = 0; round < 30; ++round) {
        int acks[2];
        ASSERT_EQ(pipe(acks), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(acks[0]);
            ExpDataFile file;
            file.setFiles(csv, raw);
            if (!file.prepareAppend())
                _exit(2);
            for (int n = 0;; ++n) {
                if (file.append(line(round, n)) && ::write(acks[1], &n, sizeof n) != sizeof n)
                    _exit(3);
            }
        }
        ::close(acks[1]);
        if (round % 2 == 0) {
            usleep(2000 + random() % 40000);
        } else {
            // Caught in the middle of writing a line, where it can be.
            QElapsedTimer waited;
            waited.start();
            while (!writingALine(raw) && waited.elapsed() < 150) {}
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer gave up in round " << round;
        int n = 0;
        while (::read(acks[0], &n, sizeof n) == sizeof n)
            reported << line(round, n);
        ::close(acks[0]);

        const QByteArray rawBytes = contents(raw);
        const QByteArray csvBytes = contents(csv);
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(csvBytes.startsWith(header));
        ASSERT_TRUE(rawBytes.startsWith(csvBytes));
        ASSERT_TRUE(onlyWholeLines(csvBytes));
        // At most the last line of the working file is unfinished.
        const QByteArray whole = rawBytes.left(datafile::completeLength(rawBytes));
        ASSERT_TRUE(onlyWholeLines(whole));
        ASSERT_FALSE(rawBytes.mid(whole.size()).contains('\n'));

        // Every reported row is there once, in order; a row written but
        // killed before it was reported may be there too.
        const QStringList lines
                = QString::fromLatin1(whole).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(2);
        qsizetype next = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            ASSERT_TRUE(row.match(lines[i]).hasMatch()) << lines[i].left(80).toStdString();
            ASSERT_EQ(lines.indexOf(lines[i], i + 1), -1) << "twice: " << lines[i].left(80).toStdString();
            if (next < reported.size() && lines[i] == reported[next])
                ++next;
        }
        ASSERT_EQ(next, reported.size()) << "lost: " << reported.value(next).left(80).toStdString();
    }
    ASSERT_GT(reported.size(), 30); // the kills did not all come before a first row

    // The next start brings the CSV up to date; the next experiment appends.
    const DataRecovery recovery = recoverDataFiles(folder.path());
    EXPECT_TRUE(recovery.conflicts.isEmpty() && recovery.failed.isEmpty());
    const QByteArray rawBytes = contents(raw);
    EXPECT_EQ(contents(csv), rawBytes.left(datafile::completeLength(rawBytes)));
    ExpDataFile file;
    file.setFiles(csv, raw);
    ASSERT_TRUE(file.prepareAppend());
    ASSERT_TRUE(file.append(QStringLiteral("last,")));
    const QByteArray final = contents(csv);
    EXPECT_TRUE(final.endsWith(QByteArray("x,\r\nlast,\r\n")));
    EXPECT_TRUE(onlyWholeLines(final));
    EXPECT_EQ(contents(raw), final);
}

TEST_F(DataSafetyTest, RecoveryCompletesCsvFilesFromTheirWorkingCopiesAndNothingElse)
{
    EXPECT_EQ(datafile::completeLength("a\r\nb\r"), 3);
    EXPECT_EQ(datafile::completeLength("a\nb\nc"), 5); // lines from elsewhere are kept
    EXPECT_EQ(datafile::completeLength("\r\nb"), 2);   // an empty first line is a line

    // A file, what it holds before the recovery and after it.
    const std::tuple<const char *, QByteArray, QByteArray> files[] = {
            {"behind.csv", "H\r\nr1,\r\n", "H\r\nr1,\r\nr2,\r\n"},
            {"behind.raw", "H\r\nr1,\r\nr2,\r\nr3", "H\r\nr1,\r\nr2,\r\n"},
            {"headeronly.raw", "H1\r\nH2\r\n", "H1\r\nH2\r\n"}, // no CSV at all
            {"Caps.CSV", "H\r\n", "H\r\nr1,\r\n"},
            {"Caps.raw", "H\r\nr1,\r\n", "H\r\nr1,\r\n"},
            {"current.csv", "H\r\nr1,\r\n", "H\r\nr1,\r\n"},
            {"current.raw", "H\r\nr1,\r\nr2", "H\r\nr1,\r\nr2"}, // only an unfinished line more
            {"edited.csv", "H\r\nchanged,\r\n", "H\r\nchanged,\r\n"},
            {"edited.raw", "H\r\nr1,\r\nr2,\r\n", "H\r\nr1,\r\nr2,\r\n"},
            {"cut.raw", "Hea", "Hea"}, // not one whole line
    };
    for (const auto &[name, before, after] : files)
        writeFile(path(name), before);
    DataRecovery recovery = recoverDataFiles(folder.path());
    recovery.recovered.sort();
    EXPECT_EQ(recovery.recovered,
              QStringList({path("Caps.CSV"), path("behind.csv"), path("headeronly.csv")}));
    EXPECT_EQ(recovery.conflicts, QStringList({path("edited.csv")}));
    EXPECT_TRUE(recovery.failed.isEmpty());
    for (const auto &[name, before, after] : files)
        EXPECT_EQ(contents(path(name)), after) << name;
    EXPECT_EQ(contents(path("headeronly.csv")), QByteArray("H1\r\nH2\r\n"));
    EXPECT_FALSE(QFile::exists(path("cut.csv")));
    EXPECT_TRUE(recoverDataFiles(folder.path()).recovered.isEmpty()); // once only

    const MessageRequest told = recoveryMessage(recovery);
    EXPECT_EQ(told.icon, MessageRequest::Icon::Exclamation);
    EXPECT_EQ(told.text,
              QStringLiteral("These data files were brought up to date from their working copies "
                             "after an interrupted session:\nCaps.CSV\nbehind.csv\nheaderonly.csv\n"
                             "edited.csv was left as it is: it does not match its working copy"));
    recovery.conflicts.clear();
    EXPECT_EQ(recoveryMessage(recovery).icon, MessageRequest::Icon::Information);

    // On a full disk the data file stays as it was; the working copy keeps its rows.
    writeFile(path("full.csv"), "H\r\n");
    writeFile(path("full.raw"), "H\r\n" + QByteArray(200, 'x') + ",\r\n");
    {
        FileSizeLimit full(50);
        EXPECT_EQ(recoverDataFiles(folder.path()).failed, QStringList({path("full.csv")}));
    }
    EXPECT_EQ(contents(path("full.csv")), QByteArray("H\r\n"));
}

} // namespace
} // namespace velorix
