// The experiment window's own behaviour on the simulator: binding, the
// dialogs of a start, closing at awkward moments, and the frames for
// subject IDs, channel labels, templates and the calculator.

#include "windowtestkit.h"

#include "experiment/windows/labelframes.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>

namespace velorix::testing {
namespace {

using Icon = MessageRequest::Icon;
using Buttons = MessageRequest::Buttons;

constexpr int kWriteMem = 22;
constexpr int kStartExp = 112;

void writeText(const QString &path, const QByteArray &text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

TEST_F(WindowTest, WindowsBindToFreeDevicesAndRefuseWhenNoneIsLeft)
{
    startSimulator();
    frmexp *first = openWindow();
    ASSERT_NE(openWindow(), nullptr);
    EXPECT_EQ(first->findChild<ccrpTimer *>(QStringLiteral("objTimer"))->Stats(), 10);
    closeFrame(first);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(intExpWindows, 1);
    // The count says device 2, which the open window holds: device 1 instead.
    frmexp *third = openWindow();
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(third->windowTitle(), QStringLiteral("Experiment for Device 1 at address 128"));
    ASSERT_NE(openWindow(), nullptr);
    ASSERT_NE(openWindow(), nullptr);
    EXPECT_EQ(openWindow(), nullptr);
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text,
              QStringLiteral("Every device in the device table already has an experiment window open."));
    EXPECT_EQ(prompts->messages[0].title, QStringLiteral("Experiment"));
    EXPECT_EQ(intExpWindows, 4);

    // Made directly with no device free, a window says so when shown and closes.
    QPointer<frmexp> unbound = new frmexp;
    EXPECT_FALSE(unbound->isBound());
    unbound->show();
    ASSERT_TRUE(waitFor([&] { return !unbound->isVisible(); }, 2000));
    EXPECT_EQ(prompts->messages.size(), 2u);
    delete unbound.data();
    EXPECT_EQ(intExpWindows, 4);
}

TEST_F(WindowTest, APortTheSystemRefusesIsReportedAtLoad)
{
    registerExtraPort(QStringLiteral("/dev/null"), PortPlacement::First);
    strCommPort = QStringLiteral("/dev/null");
    frmexp *window = openWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_TRUE(prompts->messages[0].text.startsWith(QStringLiteral("Communication Port Error, ")));
    EXPECT_FALSE(window->controller()->bolupload);
}

TEST_F(WindowTest, StartDialogsCancelAppendAndRefuseABadSetup)
{
    startSimulator();
    frmexp *window = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 5000));
    quicken(window);

    // A box without a number: nothing is asked, written or sent.
    type(window, "txts_speed", QStringLiteral("abc"));
    click(window, "cmdstartexp");
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, QStringLiteral("Start Speed must be from 0.0 to 3276.7 RPM."));
    EXPECT_EQ(prompts->messages[0].title, QStringLiteral("Experiment Setup"));
    EXPECT_TRUE(prompts->fileRequests.empty());
    type(window, "txts_speed", QStringLiteral("5.0"));

    // The dialog cancelled.
    click(window, "cmdstartexp");
    ASSERT_EQ(prompts->messages.size(), 2u);
    EXPECT_EQ(prompts->messages[1].text, QStringLiteral("File Access Error!"));
    EXPECT_EQ(prompts->messages[1].title, QStringLiteral("File Error!"));
    EXPECT_EQ(prompts->messages[1].icon, Icon::Critical);

    // An existing file: No asks again with the last name, Cancel gives up.
    const QString old = dataFile("old.csv");
    writeText(old, "old header\r\nold run,\r\n");
    prompts->fileNames = {old, old};
    prompts->answers = {MessageAnswer::No, MessageAnswer::Cancel};
    click(window, "cmdstartexp");
    ASSERT_EQ(prompts->fileRequests.size(), 3u);
    EXPECT_EQ(prompts->fileRequests[2].initialName, old);
    ASSERT_EQ(prompts->messages.size(), 4u);
    EXPECT_EQ(prompts->messages[2].text, old + QStringLiteral(" Exists! Append to Existing File?"));
    EXPECT_EQ(prompts->messages[2].title, QStringLiteral("File Warning"));
    EXPECT_EQ(prompts->messages[2].buttons, Buttons::YesNoCancel);
    EXPECT_EQ(prompts->messages[2].icon, Icon::Exclamation);
    EXPECT_TRUE(part<QPushButton>(window, "cmdstartexp")->isEnabled());
    EXPECT_FALSE(part<QPushButton>(window, "cmdstop_exp")->isEnabled());
    QTest::qWait(300);
    EXPECT_EQ(requestsTo(128, kWriteMem), 0);

    // Yes, with the name typed without ".csv": a backup, no header, and the
    // runs follow the old lines.
    prompts->fileNames = {dataFile("old")};
    prompts->answers = {MessageAnswer::Yes};
    type(window, "txtduration", QStringLiteral("2"));
    click(window, "cmdstartexp");
    EXPECT_EQ(fileLines(dataFile("old.bak")), QStringList({"old header", "old run,"}));
    ASSERT_TRUE(waitFor([&] { return window->controller()->bolrunning; }, 4000));
    ASSERT_TRUE(waitFor([&] { return finished(window); }, 6000));
    const QStringList lines = fileLines(old);
    ASSERT_EQ(lines.size(), 2 + 4);
    EXPECT_EQ(lines.mid(0, 2), QStringList({"old header", "old run,"}));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Channel 1,1,")));
}

TEST_F(WindowTest, ClosingARunningWindowAsksAndAYesResetsTheDevice)
{
    startSimulator();
    frmexp *window = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 5000));
    quicken(window);
    type(window, "txtduration", QStringLiteral("0"));
    prompts->fileNames = {dataFile("run.csv")};
    click(window, "cmdstartexp");
    ASSERT_TRUE(waitFor([&] { return window->controller()->bolrunning; }, 4000));

    QPointer<frmexp> guard(window);
    prompts->answers = {MessageAnswer::No};
    closeFrame(window);
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, QStringLiteral("Stop Experiment"));
    EXPECT_EQ(prompts->messages[0].title, QStringLiteral("Experiment Running"));
    EXPECT_EQ(prompts->messages[0].buttons, Buttons::YesNo);
    EXPECT_EQ(prompts->messages[0].icon, Icon::Critical);
    const int polls = window->controller()->counters().polls;
    QTest::qWait(300);
    ASSERT_FALSE(guard.isNull());
    EXPECT_GT(window->controller()->counters().polls, polls);

    // Closing the program: the same question, then the run is stopped and
    // recorded as "Stop Experiment" would, and the device reset.
    const int resets = sim->counters(128).resets;
    const int stops = requestsTo(128, 0x71);
    prompts->answers = {MessageAnswer::Yes};
    EXPECT_TRUE(main->close());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_EQ(requestsTo(128, 0x71), stops + 1);
    EXPECT_EQ(sim->counters(128).resets, resets + 1);
    const QStringList lines = fileLines(dataFile("run.csv"));
    EXPECT_GE(lines.size(), 19 + 4); // at least the four runs the stop cut short
    EXPECT_EQ(fileLines(dataFile("run.raw")), lines);
}

TEST_F(WindowTest, ClosingAtAnyMomentNeverCrashesNorLosesARecordedRun)
{
    sim::SimConfig config;
    config.timeScale = 20;
    config.scenario.addRun(128, 1, {3.0, 0});
    startSimulator(config);
    prompts->defaultAnswer = MessageAnswer::Yes;
    QPointer<frmexp> guard;
    QTimer watch;
    // Closes the window the first time `when` holds, checked every 1 ms.
    const auto closeWhen = [&](std::function<bool()> when) {
        bool closed = false;
        QObject::disconnect(&watch, nullptr, nullptr, nullptr);
        QObject::connect(&watch, &QTimer::timeout, [&, when] {
            if (guard && !closed && when()) {
                closed = true;
                closeFrame(guard);
            }
        });
        watch.start(1);
        EXPECT_TRUE(waitFor([&] { return guard.isNull(); }, 5000));
        watch.stop();
        EXPECT_TRUE(closed);
    };

    // Inside a tick, while its exchange waits for the reply.
    guard = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(guard); }, 5000));
    quicken(guard);
    type(guard, "txtduration", QStringLiteral("0"));
    prompts->fileNames = {dataFile("a.csv")};
    click(guard, "cmdstartexp");
    ASSERT_TRUE(waitFor([&] { return guard->resultsGrid()->rowCount() == 1; }, 8000));
    closeWhen([&] { return guard->controller()->inTick(); });
    // The run recorded before, and the three the close stopped.
    EXPECT_EQ(fileLines(dataFile("a.csv")).size(), 23);

    // In the download's wait before the reset: the run never starts.
    guard = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(guard); }, 5000));
    ExpPacing slow;
    slow.downloadWaitMs = 600;
    guard->controller()->setPacing(slow);
    prompts->fileNames = {dataFile("b.csv")};
    const int starts = requestsTo(128, kStartExp);
    click(guard, "cmdstartexp");
    closeWhen([&] { return guard->controller()->inTick() && guard->controller()->intSetupStep == 13; });
    QTest::qWait(200);
    EXPECT_EQ(requestsTo(128, kStartExp), starts);

    // While a message box is open, the program closes around it.
    guard = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(guard); }, 5000));
    writeText(dataFile("c.csv"), "x\r\n");
    prompts->fileNames = {dataFile("c.csv")};
    const int writes = requestsTo(128, kWriteMem);
    prompts->whileShown = [&](const MessageRequest &) {
        prompts->whileShown = nullptr;
        main->close();
    };
    click(guard, "cmdstartexp");
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    QTest::qWait(200);
    EXPECT_EQ(requestsTo(128, kWriteMem), writes);
    EXPECT_FALSE(QFile::exists(dataFile("c.raw")));
}

TEST_F(WindowTest, SubjectIdsAreTypedOrAssignedFromTheLabelGrid)
{
    startSimulator();
    frmexp *window = openWindow();
    click(window, "cmdch2enable");
    auto *id = part<QLineEdit>(window, "txtchanid");
    EXPECT_TRUE(id->isVisible());
    id->setText(QStringLiteral("Rat-0042-long")); // no length limit
    QTest::keyClick(id, Qt::Key_Return);
    EXPECT_FALSE(part<QGroupBox>(window, "frmchanupdate")->isVisible());
    EXPECT_EQ(Devices[1].strSubID[1], QStringLiteral("Rat-0042-long"));
    EXPECT_EQ(part<QLineEdit>(window, "txtsubid(1)")->text(), QStringLiteral("Rat-0042-long"));

    const QString labels = QDir(folder.path()).filePath(QStringLiteral("config/labels.txt"));
    writeText(labels, "A1,A2,A3,A4\r\nB1,B2,B3,B4\r\n");
    prompts->fileNames = {labels};
    click(window, "cmdch_template");
    EXPECT_EQ(prompts->fileRequests.back().title, QStringLiteral("Channel Label Template File"));
    EXPECT_EQ(prompts->fileRequests.back().initialFolder, QDir(folder.path()).filePath(QStringLiteral("config")));
    auto *frame = part<LabelFrame>(window, "frmch_id");
    QTableWidget *grid = frame->grid();
    QLineEdit *editor = frame->editor();
    EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("B3"));

    // A printable key starts a new text in an editor laid over the cell.
    grid->setCurrentCell(1, 2);
    QTest::keyClick(grid, 'M', Qt::ShiftModifier);
    QTest::keyClicks(editor, QStringLiteral("7"));
    const QRect cell = grid->visualItemRect(grid->item(1, 2));
    EXPECT_EQ(editor->geometry(), QRect(grid->viewport()->mapTo(frame, cell.topLeft()), cell.size()));
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("M7"));
    // A control key edits the cell's text; Esc keeps the cell; Down stores and moves.
    frame->GridEdit(8);
    EXPECT_EQ(editor->text(), QStringLiteral("M7"));
    editor->setText(QStringLiteral("lost"));
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("M7"));
    frame->GridEdit('Z');
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("Z"));
    EXPECT_EQ(grid->currentRow(), 2);

    grid->setCurrentCell(1, 2);
    emit grid->cellDoubleClicked(1, 2);
    part<QRadioButton>(window, "optchan(3)")->setChecked(true);
    click(window, "cmdch_set");
    EXPECT_FALSE(part<QGroupBox>(window, "frmchan_sel")->isVisible());
    EXPECT_EQ(Devices[1].strSubID[3], QStringLiteral("Z"));

    prompts->fileNames = {dataFile("saved.txt")};
    click(window, "cmdch_save");
    EXPECT_EQ(fileLines(dataFile("saved.txt"))[1], QStringLiteral("B1,B2,Z,B4"));
    prompts->fileNames = {QStringLiteral("/no/such/folder/x.txt")};
    click(window, "cmdch_save");
    EXPECT_EQ(prompts->messages.back().text, QStringLiteral("File Access Error!"));
}

TEST_F(WindowTest, ExperimentTemplatesAndTheCalculatorFillTheSetup)
{
    startSimulator();
    frmexp *window = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 5000));
    const QString earlier = dataFile("earlier.csv");
    writeText(earlier, "t\r\nd\r\ns,x\r\nf,y\r\n\r\n[Experiment Setup Info]\r\nDuration:,120\r\nStart Speed:,2.5\r\n"
                       "End Speed:,abc\r\nSpeed Units:,cm/s\r\nWheel Type:,Rat Wheel\r\nWheel Rotation:,CCW\r\n");
    prompts->fileNames = {earlier};
    click(window, "cmdload");
    EXPECT_EQ(prompts->fileRequests.back().title, QStringLiteral("Open Experiment Template File"));
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text,
              "These lines of " + earlier + " could not be used and were skipped:\nEnd Speed:,abc");
    EXPECT_EQ(prompts->messages[0].title, QStringLiteral("Experiment Template"));
    EXPECT_EQ(part<QLineEdit>(window, "txts_speed")->text(), QStringLiteral("2.5"));
    EXPECT_EQ(part<QLineEdit>(window, "txtduration")->text(), QStringLiteral("120"));
    EXPECT_TRUE(part<QRadioButton>(window, "optwheel(0)")->isChecked());
    EXPECT_TRUE(part<QCheckBox>(window, "optdir")->isChecked());
    EXPECT_EQ(window->resultsGrid()->headings()[4], QStringLiteral("Speed (cm/s)"));
    writeText(dataFile("notes.csv"), "just,some\r\nnotes\r\n");
    prompts->fileNames = {dataFile("notes.csv")};
    click(window, "cmdload");
    EXPECT_EQ(prompts->messages.back().text, dataFile("notes.csv") + QStringLiteral(" holds no experiment set-up."));

    click(window, "cmdCalc_Accel");
    click(window, "cmdCalc");
    EXPECT_EQ(part<QLabel>(window, "lblAcc_int")->text(), QStringLiteral("2"));
    EXPECT_EQ(part<QLabel>(window, "lblerror")->text(), QStringLiteral("Error 0.0%"));
    click(window, "cmdupdate");
    EXPECT_EQ(part<QLineEdit>(window, "txte_speed")->text(), QStringLiteral("10.0"));
    EXPECT_EQ(part<QLineEdit>(window, "txtacc_time")->text(), QStringLiteral("2"));
    EXPECT_EQ(part<QLineEdit>(window, "txtacc_step")->text(), QStringLiteral("0.3"));
    EXPECT_EQ(part<QLineEdit>(window, "txtduration")->text(), QStringLiteral("60"));
    type(window, "txtPeriod", QStringLiteral("0"));
    click(window, "cmdCalc");
    EXPECT_EQ(prompts->messages.back().text, QStringLiteral("Period(seconds) must be more than 0."));
    EXPECT_EQ(prompts->messages.back().title, QStringLiteral("Acceleration Calculator"));
    EXPECT_EQ(part<QLabel>(window, "lblAcc_int")->text(), QStringLiteral("2")); // kept
}

} // namespace
} // namespace velorix::testing
