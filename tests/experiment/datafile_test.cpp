// The data file (header, run lines, working copy, backup) and the two
// kinds of template the window reads.

#include "statekit.h"

#include "experiment/core/expdatafile.h"
#include "experiment/core/exptemplates.h"

#include <gtest/gtest.h>

#include <vector>

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
    // An ID the file cannot hold keeps the row at eight cells, and says so.
    // A character beyond the 16-bit range is one mark, not two.
    record.strSubID[1] = QStringLiteral("M1,L\u0416\U0001F600");
    QString note = QStringLiteral("old");
    EXPECT_EQ(datafile::runCells(record, 1, 0, &note)[0], QStringLiteral("M1;L??"));
    EXPECT_EQ(note,
              QStringLiteral("The subject ID of Ch 2 holds a comma, which the data file cannot hold; "
                             "the run is recorded under \"M1;L??\"."));
    record.strSubID[1] = QStringLiteral("R7");
    (void)datafile::runCells(record, 1, 0, &note);
    EXPECT_EQ(note, QString());
    EXPECT_EQ(datafile::headerLines(sampleRecord(), {1, 0, 3}),
              QStringList({"Tarvenor Velorix-5 1.0", "Velorix-5 number 3 at address 130",
                           "Started On:,03/07/05 14:09:30", "Experiment Filename:,/odd, name.raw", "",
                           "[Experiment Setup Info]", "Duration:,300", "Start Speed:,5.0", "End Speed:,40.0",
                           "Acceleration Interval:,12.5", "Acceleration Step Speed:,0.5",
                           "Session Duration:,300.0", "Passive Rotation Delay:,2.0", "Speed Units:,RPM",
                           "Wheel Type:,Mouse Wheel", "Wheel Rotation:,CCW", " 3 ", "[Experiment Data]",
                           // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one line in two pieces
                           "Subject ID,CH #,Start Time,Run Time (sec),Speed (RPM),P_R Time (sec),"
                           "P_R Speed (RPM),Total Run Time (sec),"}));
    // (The working copy's and the backup's names: the data file choice's tests.)
    EXPECT_EQ(datafile::withCsvSuffix(QStringLiteral("/d/run")), QStringLiteral("/d/run.csv"));
    EXPECT_EQ(datafile::withCsvSuffix(QStringLiteral("/d/RUN.CSV")), QStringLiteral("/d/RUN.CSV"));
}

using DataFileTest = testing::SharedStateTest;

TEST_F(DataFileTest, AnExperimentTemplateReadsBackTheHeaderAndSkipsWhatItCannotUse)
{
    const QStringList header = datafile::headerLines(sampleRecord(), {});
    writeFile(path("t.csv"), (header.join(QStringLiteral("\r\n")) + "\r\nR1,1,x,1.0,\r\n").toLatin1());
    DeviceInfo read;
    read.bytExpOptions = 0xE0;
    ExperimentTemplateLoad load = loadExperimentTemplate(path("t.csv"), read);
    EXPECT_TRUE(load.skipped.isEmpty());
    EXPECT_EQ(load.valuesTaken, 10);
    EXPECT_EQ(std::vector<int>({read.intStartSpeed, read.intEndSpeed, read.intAccInterval, read.intAccStep,
                                read.intRotDelay, read.intDuration}),
              std::vector<int>({50, 400, 125, 5, 20, 300}));
    EXPECT_EQ(read.bytExpOptions, 0x11);
    EXPECT_EQ(read.bytDirection, 1);
    DeviceInfo clockwise = sampleRecord();
    clockwise.bytDirection = 0;
    writeFile(path("cw.csv"), datafile::headerLines(clockwise, {}).join(QStringLiteral("\r\n")).toLatin1());
    (void)loadExperimentTemplate(path("cw.csv"), read);
    EXPECT_EQ(read.bytDirection, 0);

    writeFile(path("bad.csv"),
              "t\r\nd\r\ns,x\r\nf,y\r\n\r\n[Experiment Setup Info]\r\nDuration:,120\r\n"
              "Start Speed:,fast\r\nEnd Speed:\r\nAcceleration Interval:,3276.8\r\n"
              "Acceleration Step Speed:,3276.7\r\n"
              "Session Duration:,90\r\nSpeed Units:,cm/s\r\nWheel Type:,Mouse Wheel\r\n"
              "[Experiment Data]\r\nStart Speed:,7.0\r\n");
    read.intStartSpeed = 11;
    load = loadExperimentTemplate(path("bad.csv"), read);
    EXPECT_EQ(load.skipped,
              QStringList({"Start Speed:,fast", "End Speed:", "Acceleration Interval:,3276.8"}));
    EXPECT_EQ(read.intStartSpeed, 11); // and nothing after the data mark is read
    EXPECT_EQ(read.intDuration, 90);   // the later duration line wins
    EXPECT_EQ(read.bytExpOptions, 16);
    EXPECT_EQ(read.intAccStep, 32767); // the largest a field holds; sent modulo 256
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
    // the reading; an eighth line is never read. Lines unlike a saved
    // template's are named.
    writeFile(path("short.txt"), "a,b,c,d\r\n\r\ne,f,g,h,extra\r\ni,j,k\r\nl,m,n,o\r\n");
    grid = saved;
    QList<int> doubtful;
    ASSERT_TRUE(loadLabelTemplate(path("short.txt"), grid, &doubtful));
    EXPECT_EQ(QStringList({grid[0][0], grid[1][0], grid[2][3], grid[3][2], grid[3][3], grid[4][0]}),
              QStringList({"a", "M10", "h", "k", "M33", "M40"}));
    EXPECT_EQ(doubtful, QList<int>({3, 4}));
    writeFile(path("long.txt"), QByteArray("1,2,3,4\r\n").repeated(6) + "1,2\r3,4,5\r\n8,8,8,8\r\n");
    doubtful.clear();
    ASSERT_TRUE(loadLabelTemplate(path("long.txt"), grid, &doubtful));
    EXPECT_EQ(grid[6][0], QStringLiteral("1"));
    EXPECT_EQ(doubtful, QList<int>({7, 8}));

    // A label that would read back split is refused, naming its cell; the
    // old file stays. (A full disk: the template choice's tests.)
    const QByteArray old = contents(path("labels.txt"));
    QString why;
    grid = saved;
    grid[1][2] = QStringLiteral("M1,L");
    EXPECT_FALSE(storeLabelTemplate(path("labels.txt"), grid, &why));
    EXPECT_TRUE(
            why.startsWith(QStringLiteral("the label in row 2, column 3 holds a comma. A channel label ")));
    grid[1][2] = QStringLiteral("\u0416");
    EXPECT_TRUE(
            labelGridProblem(grid).contains(QStringLiteral("holds a character outside Latin-1 (U+0416).")));
    EXPECT_EQ(contents(path("labels.txt")), old);
    EXPECT_FALSE(storeLabelTemplate(path("no/such/folder/x.txt"), saved));
}

} // namespace
} // namespace velorix
