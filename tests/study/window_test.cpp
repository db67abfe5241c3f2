// The "Study Results" window over a generated study: the runs filtered,
// a group typed in place changing the figures and saved, the learning
// curve saved as PNG and SVG, and unsaved groups asked about at the close.

#include "filekit.h"
#include "recordingprompter.h"
#include "studykit.h"
#include "widgetkit.h"

#include "study/windows/frmstudyresults.h"

#include <QTableWidget>
#include <QTemporaryDir>

namespace velorix::testing {
namespace {

TEST(StudyWindow, ShowsFiltersRegroupsAndSavesTheStudy)
{
    QTemporaryDir folder;
    auto owned = std::make_unique<RecordingPrompter>();
    RecordingPrompter &prompts = *owned;
    setPrompter(std::move(owned));
    for (int day = 7; day <= 8; ++day) {
        StudyFileMaker file(folder.filePath(QStringLiteral("day%1.csv").arg(day)), true);
        MadeSession session;
        for (int c = 1; c <= 4; ++c)
            session.runs.push_back(MadeRun{QStringLiteral("M%1").arg(c), c,
                                           QDateTime(QDate(2026, 12, day), QTime(10, 0)), 10.0 * c + day});
        file.add(session);
    }

    frmStudyResults window;
    window.setAttribute(Qt::WA_DeleteOnClose, false); // it lives on the stack here
    window.show();
    window.readFolder(folder.path());
    auto *runs = part<QTableWidget>(&window, "grdRuns");
    EXPECT_EQ(runs->rowCount(), 8);
    EXPECT_EQ(text(&window, "lblStudyStatus"),
              QStringLiteral("2 data files, 2 session logs, 8 runs, 0 faults"));
    type(&window, "txtFilterSubject", "m1");
    EXPECT_EQ(runs->rowCount(), 2);
    type(&window, "txtFilterSubject", "");

    auto *groups = part<QTableWidget>(&window, "grdGroups");
    ASSERT_EQ(groups->rowCount(), 4);
    groups->item(0, 1)->setText(QStringLiteral("WT"));
    auto *days = part<QTableWidget>(&window, "grdGroupDays");
    ASSERT_EQ(days->rowCount(), 4); // (none) and WT, two days each
    EXPECT_EQ(days->item(2, 0)->text(), QStringLiteral("WT"));
    EXPECT_EQ(days->item(2, 3)->text(), QStringLiteral("17.00")); // M1 on day 1: 10 + 7
    click(&window, "cmdSaveGroups");
    EXPECT_EQ(contents(folder.filePath("groups.csv")), QByteArray("subject,group\nM1,WT\n"));

    prompts.fileNames = {folder.filePath("curve.png"), folder.filePath("curve")};
    click(&window, "cmdSavePng");
    click(&window, "cmdSaveSvg");
    EXPECT_TRUE(contents(folder.filePath("curve.png")).startsWith("\x89PNG"));
    EXPECT_TRUE(contents(folder.filePath("curve.svg")).contains("<svg"));

    // A group typed and not saved is asked about; Cancel keeps the window.
    groups->item(1, 1)->setText(QStringLiteral("KO"));
    prompts.answers = {MessageAnswer::Cancel};
    EXPECT_FALSE(window.close());
    prompts.answers = {MessageAnswer::No};
    EXPECT_TRUE(window.close());
    EXPECT_EQ(contents(folder.filePath("groups.csv")), QByteArray("subject,group\nM1,WT\n"));
    setPrompter(nullptr);
}

} // namespace
} // namespace velorix::testing
