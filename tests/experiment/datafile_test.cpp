// The data file (header, run lines, working copy, backup) and the two
// kinds of template the window reads.

#include "testsupport.h"

#include "experiment/core/expdatafile.h"
#include "experiment/core/exptemplates.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velorix {
namespace {

using testing::contents;
using testing::writeFile;

DeviceInfo sampleRecord()
{
    DeviceInfo record;
    record.bytBusAddr = 130;
    record.intStartSpeed = 50;
    record.intEndSpeed = 400;
    record.intAccInterval = 125;
    record.intAccStep = 5;
    record.intRotDelay = 20;
    record.intDuration = 300;
    record.bytExpOptions = 0x11;
    record.bytDirection = 1;
    record.dtExpStart = QDateTime(QDate(2005, 3, 7), QTime(14, 9, 30));
    record.strRawFile = QStringLiteral("/odd, name.raw"); // a comma in the path
    return record;
}

TEST(DataFile, RowsAreTheGridCellsEachFollowedByAComma)
{
    DeviceInfo record = sampleRecord();
    record.strSubID[1] = QStringLiteral("R7");
    record.dtChanStart[1] = QDateTime(QDate(2005, 3, 7), QTime(14, 9, 30));
    record.sngRunTime[1] = 62.4f;
    record.sngChanSpeed[1] = 18.0f;
    record.sngRotTime[1] = 5.0f;
    record.sngRotSpeed[1] = 18.0f;
    EXPECT_EQ(datafile::csvLine(datafile::runCells(record, 1, 67.4f)),
              QStringLiteral("R7,2,03/07/05 14:09:30,62.4,18.0,5.0,18.0,67.4,"));
    record.sngRotTime[1] = 0; // no passive rotation: the run's own speed
    record.sngRotSpeed[1] = 3.0f;
    EXPECT_EQ(datafile::runCells(record, 1, 0)[6], QStringLiteral("18.0"));
    EXPECT_EQ(datafile::rawNameFor(QStringLiteral("/d/run.csv")), QStringLiteral("/d/run.raw"));
    EXPECT_EQ(datafile::bakNameFor(QStringLiteral("/d/run.csv")), QStringLiteral("/d/run.bak"));
    EXPECT_EQ(datafile::withCsvSuffix(QStringLiteral("/d/run")), QStringLiteral("/d/run.csv"));
    EXPECT_EQ(datafile::withCsvSuffix(QStringLiteral("/d/RUN.CSV")), QStringLiteral("/d/RUN.CSV"));
}

class DataFileTest : public ::testing::Test
{
protected:
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }
    QTemporaryDir dir;
};

TEST_F(DataFileTest, TheCsvIsAWholeCopyOfTheWorkingFileAndNoLineIsLost)
{
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    const QString csv = path("sub/run.csv");
    const QString raw = path("sub/run.raw");
    ExpDataFile file;
    file.setFiles(csv, raw);
    ASSERT_TRUE(file.writeHeader({"A", "B"}));
    EXPECT_EQ(contents(csv), QByteArray("A\r\nB\r\n")); // the header from the start
    ASSERT_TRUE(file.append(QStringLiteral("r1,")));
    EXPECT_EQ(contents(raw), QByteArray("A\r\nB\r\nr1,\r\n"));
    EXPECT_EQ(contents(csv), contents(raw));
    // The folder goes (a pulled memory stick) and comes back.
    ASSERT_TRUE(QDir(path("sub")).removeRecursively());
    EXPECT_FALSE(file.append(QStringLiteral("r2,")));
    EXPECT_FALSE(file.append(QStringLiteral("r3,")));
    EXPECT_EQ(file.pendingLines(), 2);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    EXPECT_TRUE(file.append(QStringLiteral("r4,")));
    EXPECT_TRUE(file.allWritten());
    EXPECT_EQ(contents(csv), QByteArray("r2,\r\nr3,\r\nr4,\r\n"));
}

TEST_F(DataFileTest, AppendingKeepsTheEarlierContentAndABackup)
{
    writeFile(path("old.csv"), "header\r\nold run,\r\n");
    writeFile(path("old.bak"), "an older backup");
    ExpDataFile file;
    file.setFiles(path("old.csv"), path("old.raw"));
    ASSERT_TRUE(file.backup());
    EXPECT_EQ(contents(path("old.bak")), QByteArray("header\r\nold run,\r\n"));
    // The working file is missing: it starts from the CSV, so the first new
    // run does not wipe what the CSV held.
    ASSERT_TRUE(file.prepareAppend());
    EXPECT_EQ(contents(path("old.raw")), QByteArray("header\r\nold run,\r\n"));
    EXPECT_EQ(contents(path("old.csv")), QByteArray("header\r\nold run,\r\n"));
    ASSERT_TRUE(file.append(QStringLiteral("new run,")));
    EXPECT_EQ(contents(path("old.csv")), QByteArray("header\r\nold run,\r\nnew run,\r\n"));
}

TEST_F(DataFileTest, AnExperimentTemplateReadsBackTheHeaderAndSkipsWhatItCannotUse)
{
    const QStringList header = datafile::headerLines(sampleRecord(), {});
    writeFile(path("t.csv"), (header.join(QStringLiteral("\r\n")) + "\r\nR1,1,x,1.0,\r\n").toLatin1());
    DeviceInfo read;
    read.bytExpOptions = 0xE0;
    ExperimentTemplateLoad load = loadExperimentTemplate(path("t.csv"), read);
    EXPECT_TRUE(load.skipped.isEmpty());
    EXPECT_EQ(load.valuesTaken, 10);
    EXPECT_EQ(read.intStartSpeed, 50);
    EXPECT_EQ(read.intAccInterval, 125);
    EXPECT_EQ(read.intRotDelay, 20);
    EXPECT_EQ(read.intDuration, 300);
    EXPECT_EQ(read.bytExpOptions, 0x11);
    EXPECT_EQ(read.bytDirection, 1);

    writeFile(path("bad.csv"), "t\r\nd\r\ns,x\r\nf,y\r\n\r\n[Experiment Setup Info]\r\nDuration:,120\r\n"
                                "Start Speed:,fast\r\nEnd Speed:\r\nAcceleration Interval:,99999\r\n"
                                "Session Duration:,90\r\nSpeed Units:,cm/s\r\nWheel Type:,Mouse Wheel\r\n"
                                "[Experiment Data]\r\nStart Speed:,7.0\r\n");
    read.intStartSpeed = 11;
    load = loadExperimentTemplate(path("bad.csv"), read);
    EXPECT_EQ(load.skipped, QStringList({"Start Speed:,fast", "End Speed:", "Acceleration Interval:,99999"}));
    EXPECT_EQ(read.intStartSpeed, 11); // and nothing after the data mark is read
    EXPECT_EQ(read.intDuration, 90);   // the later duration line wins
    EXPECT_EQ(read.bytExpOptions, 16);
    EXPECT_FALSE(loadExperimentTemplate(path("missing.csv"), read).opened);
}

TEST_F(DataFileTest, LabelTemplatesRoundTripAndLoadByTheirRules)
{
    LabelGrid saved;
    for (int r = 0; r < kLabelRows; ++r)
        for (int c = 0; c < kLabelColumns; ++c)
            saved[r][c] = QStringLiteral("M%1%2").arg(r).arg(c);
    ASSERT_TRUE(storeLabelTemplate(path("labels.txt"), saved));
    EXPECT_TRUE(contents(path("labels.txt")).startsWith("M00,M01,M02,M03\r\nM10,"));
    LabelGrid grid;
    ASSERT_TRUE(loadLabelTemplate(path("labels.txt"), grid));
    EXPECT_EQ(grid, saved);

    // A blank line leaves its row; three fields fill three cells and end
    // the reading; an eighth line is never read.
    writeFile(path("short.txt"), "a,b,c,d\r\n\r\ne,f,g,h,extra\r\ni,j,k\r\nl,m,n,o\r\n");
    grid = saved;
    ASSERT_TRUE(loadLabelTemplate(path("short.txt"), grid));
    EXPECT_EQ(grid[0][0], QStringLiteral("a"));
    EXPECT_EQ(grid[1][0], QStringLiteral("M10"));
    EXPECT_EQ(grid[2][3], QStringLiteral("h"));
    EXPECT_EQ(grid[3][2], QStringLiteral("k"));
    EXPECT_EQ(grid[3][3], QStringLiteral("M33"));
    EXPECT_EQ(grid[4][0], QStringLiteral("M40"));
    writeFile(path("long.txt"), QByteArray("1,2,3,4\r\n").repeated(7) + "8,8,8,8\r\n");
    ASSERT_TRUE(loadLabelTemplate(path("long.txt"), grid));
    EXPECT_EQ(grid[6][0], QStringLiteral("1"));
    EXPECT_FALSE(storeLabelTemplate(path("no/such/folder/x.txt"), grid));
}

} // namespace
} // namespace velorix
