// A study read from its folder: sessions appended under one header, files
// without their log, the numbering by study day and trial, every kind of
// fault in the files, the figures against values worked out by hand, and
// the export as pandas' and R's csv readers (here python's) take it.

#include "filekit.h"
#include "studykit.h"

#include "study/core/csvfields.h"
#include "study/core/datafilereader.h"
#include "study/core/studyexport.h"
#include "study/core/studygroups.h"
#include "study/core/studyreader.h"
#include "study/core/studysummary.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velorix::testing {
namespace {

QDateTime at(int day, const char *time)
{
    return QDateTime(QDate(2026, 12, day),
                     QTime::fromString(QLatin1String(time), QStringLiteral("HH:mm:ss")));
}

MadeRun made(const char *subject, int channel, QDateTime start, double runTime, RunEnd end = RunEnd::Fall)
{
    return MadeRun{QLatin1String(subject), channel, std::move(start), runTime, end};
}

class StudyTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return QDir(folder.path()).filePath(name); }
    QTemporaryDir folder;
};

std::vector<const StudyRun *> runsOf(const StudyReading &study, const QString &subject)
{
    std::vector<const StudyRun *> runs;
    for (const StudyRun &run : study.runs) {
        if (run.subject == subject)
            runs.push_back(&run);
    }
    return runs;
}

TEST_F(StudyTest, EachRunTakesItsOwnSessionsSetupAndEndAndIsNumberedByDateAcrossFiles)
{
    StudyFileMaker day7(path("week1/device1.csv"), true);
    MadeSession first{
            {made("M1", 1, at(7, "23:50:00"), 12.3), made("M2", 2, at(7, "23:50:00"), 300, RunEnd::CutOff)}};
    day7.add(first);
    // Appended by another device's window with a faster start, past midnight.
    MadeSession second{{made("M1", 1, at(8, "00:10:00"), 15.0, RunEnd::StopButton),
                        made("M1", 1, at(8, "00:20:00"), 16.0)}};
    second.startSpeed = 50;
    second.deviceNumber = 2;
    second.address = 129;
    day7.add(second);
    // A row the log never got (its line was lost): its end is not known.
    QFile csv(path("week1/device1.csv"));
    ASSERT_TRUE(csv.open(QIODevice::Append));
    csv.write("M2,2,12/08/26 00:30:00,7.0,10.0,0.0,10.0,7.0,\r\n");
    csv.close();
    // An older file without its log, from three days on.
    StudyFileMaker later(path("old.csv"), false);
    later.add(MadeSession{{made("M1", 3, at(11, "09:00:00"), 40.0)}});

    const StudyReading study = readStudy(folder.path());
    EXPECT_TRUE(study.faults.empty());
    EXPECT_EQ(study.dataFiles, 2);
    EXPECT_EQ(study.sessionLogs, 1);
    const auto m1 = runsOf(study, "M1");
    ASSERT_EQ(m1.size(), 4u);
    const int days[] = {1, 2, 2, 3}, trials[] = {1, 1, 2, 1}, since[] = {0, 1, 1, 4};
    const RunEnd ends[] = {RunEnd::Fall, RunEnd::StopButton, RunEnd::Fall, RunEnd::Unknown};
    const double startSpeeds[] = {4.0, 5.0, 5.0, 4.0};
    const int addresses[] = {128, 129, 129, 128};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(m1[i]->studyDay, days[i]);
        EXPECT_EQ(m1[i]->trial, trials[i]);
        EXPECT_EQ(m1[i]->daysSinceFirst, since[i]);
        EXPECT_EQ(m1[i]->end, ends[i]);
        EXPECT_EQ(m1[i]->setup.startSpeed, startSpeeds[i]);
        EXPECT_EQ(m1[i]->address, addresses[i]);
        EXPECT_EQ(m1[i]->setup.fromLog, i < 3);
    }
    EXPECT_EQ(m1[0]->file, QStringLiteral("week1/device1.csv"));
    EXPECT_EQ(m1[0]->line, 20);
    EXPECT_EQ(m1[1]->deviceNumber, 2);
    EXPECT_EQ(m1[3]->channel, 3);
    EXPECT_EQ(m1[0]->setup.duration, 300);
    EXPECT_EQ(m1[0]->setup.wheel, QStringLiteral("Rat Wheel"));

    const auto m2 = runsOf(study, "M2");
    ASSERT_EQ(m2.size(), 2u);
    EXPECT_EQ(m2[0]->end, RunEnd::CutOff);
    EXPECT_DOUBLE_EQ(m2[0]->latency, 300);
    EXPECT_EQ(m2[1]->end, RunEnd::Unknown);
    EXPECT_EQ(m2[1]->setup.startSpeed, 4.0); // the header's, for want of its session
    EXPECT_FALSE(m2[1]->setup.fromLog);
    EXPECT_EQ(m2[1]->line, 24);

    // Subjects in the order people count them.
    QStringList names{"M10", "m2", "M2", "M1b", "M02", "M1"};
    std::sort(names.begin(), names.end(), subjectBefore);
    EXPECT_EQ(names, QStringList({"M1", "M1b", "M02", "M2", "M10", "m2"}));
}

TEST_F(StudyTest, EveryFaultInTheFilesIsListedWithItsLineAndTheReadingGoesOn)
{
    StudyFileMaker good(path("a.csv"), false);
    good.add(MadeSession{{made("M1", 1, at(7, "10:00:00"), 10)}});
    StudyFileMaker centimetres(path("b/cm.csv"), false);
    MadeSession inCm{{made("M1", 1, at(8, "10:00:00"), 11)}};
    inCm.rpm = false;
    centimetres.add(inCm);
    QFile bad(path("a.csv"));
    ASSERT_TRUE(bad.open(QIODevice::Append));
    bad.write("M2,1,12/07/26 10:00:00,9.0,10.0,0.0,10.0,\r\n"     // line 21: seven cells
              "M2,5,12/07/26 10:00:00,9.0,10.0,0.0,10.0,9.0,\r\n" // 22: channel 5
              "M2,1,2026-12-07 10:00,9.0,10.0,0.0,10.0,9.0,\r\n"  // 23: an ISO date
              "M2,1,12/07/26 10:00:00,9.0,fast,0.0,10.0,9.0,\r\n" // 24: not a number
              "\r\n"
              "M2,1,12/07/26 10:01:00,9.5,10.0,0.0,10.0,9.5,\r\n" // 26: fine
              "M2,1,12/07/26 10:02");                             // 27: cut short
    bad.close();
    writeFile(path("notes.csv"), "animal,weight\r\nM1,25\r\n");
    writeFile(path("exported.csv"), runsCsv({}));
    writeFile(path("groups.csv"), "subject,group\nM1,WT\njust one cell\n");

    StudyReading study = readStudy(folder.path());
    StudyGroups groups;
    EXPECT_TRUE(groups.read(StudyGroups::fileIn(folder.path()), study.faults));
    QStringList listed;
    for (const FileFault &fault : study.faults)
        listed << QStringLiteral("%1:%2: %3")
                          .arg(QFileInfo(fault.file).fileName())
                          .arg(fault.line)
                          .arg(fault.text);
    const char *expected[] = {
            "a.csv:21: 7 cells where the headings name 8: \"M2,1,12/07/26 10:00:00,9.0,10.0,0.0,10.0,\"",
            "a.csv:22: the channel \"5\" is not 1 to 4: \"M2,5,",
            "a.csv:23: the start time \"2026-12-07 10:00\" is not a date and time like 03/07/05 14:09:30",
            "a.csv:24: \"fast\" under \"Speed (RPM)\" is not a number",
            "a.csv:27: a broken line, cut short: \"M2,1,12/07/26 10:02\"",
            "notes.csv:1: not a Velorix data file: its first line is \"animal,weight\"",
            "cm.csv:20: subject M1 has speeds in cm/s here but in RPM in a.csv (line 20)",
            "groups.csv:3: not \"subject,group\": \"just one cell\"",
    };
    ASSERT_EQ(listed.size(), std::size(expected)) << listed.join('\n').toStdString();
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_TRUE(listed[qsizetype(i)].startsWith(QLatin1String(expected[i])))
                << listed[qsizetype(i)].toStdString();
    EXPECT_EQ(study.dataFiles, 2);
    EXPECT_EQ(study.runs.size(), 3u);
    EXPECT_EQ(groups.groupOf("M1"), QStringLiteral("WT"));
    EXPECT_EQ(groups.groupOf("M2"), QStringLiteral("(none)"));
}

StudyRun run(const char *subject, const char *group, int day, double latency, RunEnd end = RunEnd::Fall)
{
    static int minute = 0;
    StudyRun r;
    r.subject = QLatin1String(subject);
    r.group = QLatin1String(group);
    r.start = at(day, "10:00:00").addSecs(60 * ++minute);
    r.latency = latency;
    r.end = end;
    return r;
}

TEST_F(StudyTest, TheFiguresAreThoseWorkedOutByHand)
{
    std::vector<StudyRun> runs{run("S1", "A", 7, 10),
                               run("S1", "A", 7, 20),
                               run("S1", "A", 8, 30),
                               run("S2", "A", 7, 25, RunEnd::CutOff),
                               run("S2", "A", 8, 5, RunEnd::StopButton),
                               run("S2", "A", 8, 40),
                               run("S3", "B", 7, 8, RunEnd::Unknown)};
    numberStudyRuns(runs);
    const StudySummary summary = summarise(runs);
    EXPECT_EQ(summary.leftOut, 1);

    ASSERT_EQ(summary.subjectDays.size(), 5u);
    const SubjectDay &s1 = summary.subjectDays[0];
    EXPECT_EQ(s1.trials, 2);
    EXPECT_DOUBLE_EQ(s1.mean, 15);
    EXPECT_DOUBLE_EQ(s1.best, 20);
    EXPECT_DOUBLE_EQ(summary.subjectDays[3].mean, 40); // the stopped run left out
    EXPECT_EQ(summary.subjectDays[3].trials, 1);

    // A day 1: means 15 and 25; day 2: 30 and 40. B day 1: one subject.
    ASSERT_EQ(summary.groupDays.size(), 3u);
    const GroupPoint &a1 = summary.groupDays[0], &a2 = summary.groupDays[1], &b1 = summary.groupDays[2];
    EXPECT_EQ(a1.subjects, 2);
    EXPECT_DOUBLE_EQ(a1.mean, 20);
    EXPECT_NEAR(*a1.sem, 5.0, 1e-12); // sd sqrt(50) over sqrt(2)
    EXPECT_EQ(a1.ends.cutOff, 1);
    EXPECT_DOUBLE_EQ(a2.mean, 35);
    EXPECT_EQ(a2.studyDay, 2);
    EXPECT_EQ(b1.group, QStringLiteral("B"));
    EXPECT_FALSE(b1.sem.has_value());
    EXPECT_EQ(b1.ends.unknown, 1);

    // Trial 2 of day 2 is S2's 40 (its trial 1 was stopped) beside nobody.
    ASSERT_EQ(summary.groupTrials.size(), 5u);
    EXPECT_DOUBLE_EQ(summary.groupTrials[0].mean, 17.5); // A, day 1, trial 1: 10 and 25
    EXPECT_EQ(summary.groupTrials[3].trial, 2);
    EXPECT_DOUBLE_EQ(summary.groupTrials[3].mean, 40);

    ASSERT_EQ(summary.subjects.size(), 3u);
    EXPECT_DOUBLE_EQ(summary.subjects[0].area, 22.5); // (15 + 30) / 2
    EXPECT_DOUBLE_EQ(summary.subjects[1].area, 32.5); // (25 + 40) / 2
    EXPECT_DOUBLE_EQ(summary.subjects[2].area, 0);
    EXPECT_EQ(summary.subjects[1].ends.cutOff, 1);

    SummaryOptions counted;
    counted.countStopped = true;
    const StudySummary all = summarise(runs, counted);
    EXPECT_EQ(all.leftOut, 0);
    EXPECT_DOUBLE_EQ(all.subjectDays[3].mean, 22.5);
}

TEST_F(StudyTest, TheExportReadsBackCellForCell)
{
    StudyRun one = run("M 1", "WT, \"10 mg\"", 7, 12.25);
    one.units = QStringLiteral("cm/s");
    const std::vector<StudyRun> runs{one};
    const QByteArray text = runsCsv(runs);
    EXPECT_TRUE(text.startsWith("subject,group,date,study_day,"));
    EXPECT_FALSE(text.contains(",\n"));
    const QStringList lines = QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(csv::fields(lines[1]), runExportCells(one));
    EXPECT_EQ(runExportCells(one)[9], one.start.toString(Qt::ISODate));
    EXPECT_EQ(exportNumber(12.25), QStringLiteral("12.25"));
    EXPECT_EQ(exportNumber(7), QStringLiteral("7"));
    EXPECT_EQ(exportNumber(1.0 / 3), QStringLiteral("0.333"));

    // groups.csv the same way, with a spreadsheet's byte order mark.
    StudyGroups groups;
    groups.set("M1", "WT, \"10 mg\"");
    groups.set("M2", " KO ");
    groups.set("M3", "(none)");
    ASSERT_TRUE(groups.write(path("groups.csv")));
    writeFile(path("groups.csv"), "\xEF\xBB\xBF" + contents(path("groups.csv")));
    StudyGroups back;
    std::vector<FileFault> faults;
    ASSERT_TRUE(back.read(path("groups.csv"), faults));
    EXPECT_TRUE(faults.empty());
    EXPECT_EQ(back.all(), (std::map<QString, QString>{{"M1", "WT, \"10 mg\""}, {"M2", "KO"}}));

    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "no python3 here to read the export";
    const QByteArray summary = summaryCsv(summarise(runs));
    writeFile(path("runs.csv"), text);
    writeFile(path("summary.csv"), summary);
    QProcess reader;
    reader.start(python,
                 {"-c",
                  "import csv,sys\n"
                  "for name in sys.argv[1:]:\n"
                  "    rows = list(csv.reader(open(name, newline='', encoding='utf-8')))\n"
                  "    assert all(len(r) == len(rows[0]) for r in rows), name\n"
                  "    print('\\x1f'.join(rows[1]))\n",
                  path("runs.csv"), path("summary.csv")});
    ASSERT_TRUE(reader.waitForFinished(20000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    const QStringList read = QString::fromUtf8(reader.readAllStandardOutput()).split('\n');
    EXPECT_EQ(read[0].split(QChar(0x1f)), runExportCells(one));
    EXPECT_EQ(read[1].split(QChar(0x1f)), *csv::fields(QString::fromUtf8(summary).section('\n', 1, 1)));
}

} // namespace
} // namespace velorix::testing
