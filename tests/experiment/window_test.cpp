// The experiment window's own part on the simulator: binding, what its
// buttons hand to the core and show back, and closing at awkward moments.
// The dialogs' logic is choice_test's, the run's run_test's.

#include "windowtestkit.h"

#include "base/ccrptimer.h"
#include "experiment/windows/frmoverview.h"
#include "experiment/windows/labelframes.h"
#include "experiment/windows/speedplot.h"
#include "link/portlist.h"
#include "model/fieldtext.h"
#include "shell/childframe.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QToolTip>
#include <QtTest/QTest>

namespace velorix::testing {
namespace {

constexpr int kWriteMem = 22;
constexpr int kStartExp = 112;

TEST_F(WindowTest, WindowsBindToFreeDevicesAndRefuseWhenNoneIsLeft)
{
    startSimulator();
    frmexp *first = openWindow();
    ASSERT_NE(openWindow(), nullptr);
    EXPECT_EQ(first->findChild<ccrpTimer *>(QStringLiteral("objTimer"))->Stats(), 10);
    closeFrame(first);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The count says device 2, which the open window holds: device 1 instead.
    EXPECT_EQ(openWindow()->windowTitle(), QStringLiteral("Experiment for Device 1 at address 128"));
    ASSERT_TRUE(openWindow() && openWindow());
    EXPECT_EQ(openWindow(), nullptr);
    EXPECT_EQ(prompts->texts(),
              QStringList({"Every device in the device table already has an experiment window open."}));
    EXPECT_EQ(intExpWindows, 4);

    // Made directly with no device free, a window says so when shown and closes.
    QPointer<frmexp> unbound = new frmexp;
    EXPECT_FALSE(unbound->isBound());
    unbound->show();
    ASSERT_TRUE(waitFor([&] { return !unbound->isVisible(); }, 2000));
    EXPECT_EQ(prompts->messages.size(), 2u);
    delete unbound.data();
}

TEST_F(WindowTest, APortRefusedAtLoadIsSaidStartAndDownloadHandTheBoxesAndTheFileChoiceToTheRun)
{
    registerExtraPort(QStringLiteral("/dev/null"), PortPlacement::First);
    strCommPort = QStringLiteral("/dev/null");
    frmexp *refused = openWindow();
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_TRUE(prompts->messages[0].text.startsWith(QStringLiteral("Communication Port Error, ")));
    EXPECT_NE(refused->controller()->phase(), RunPhase::Uploading);
    closeFrame(refused);
    prompts->messages.clear();

    startSimulator();
    frmexp *window = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 5000));
    quicken(window);

    // A box without a number or with a decimal comma: nothing is asked,
    // written or sent.
    type(window, "txts_speed", QStringLiteral("abc"));
    click(window, "cmdstartexp");
    click(window, "cmddownload");
    type(window, "txts_speed", QStringLiteral("7.5 rpm"));
    type(window, "txtacc_step", QStringLiteral("0,5"));
    click(window, "cmdstartexp");
    EXPECT_EQ(prompts->texts(),
              QStringList({"Start Speed must be from 0.0 to 3276.7 RPM.",
                           "Start Speed must be from 0.0 to 3276.7 RPM.",
                           "Acc Step must be from 0.0 to 25.5 RPM.\n"
                           "Acc Step: use a decimal point, as in 0.5"}));
    EXPECT_TRUE(prompts->fileRequests.empty());
    EXPECT_EQ(requestsTo(128, kWriteMem), 0);

    // "Download" sends the boxes to the device, and they show what went.
    type(window, "txtacc_step", QStringLiteral("0.5"));
    type(window, "txtdir", QStringLiteral("2.5 s"));
    click(window, "cmddownload");
    EXPECT_EQ(texts(window, {"txts_speed", "txtacc_step", "txtdir"}), QStringList({"7.5", "0.5", "2"}));
    EXPECT_TRUE(waitFor([&] { return quint8(host().deviceMemory(128).at(34)) == 75; }, 3000));
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 3000));
    const int writes = requestsTo(128, kWriteMem);

    // A file the data file cannot be written to; then Cancel to appending:
    // the window is ready to start again and nothing went to the device.
    const QString old = dataFile("old.csv");
    writeFile(old, "old header\r\nold run,\r\n");
    prompts->messages.clear();
    prompts->fileNames = {QStringLiteral("/no/such/folder/run.csv"), old};
    prompts->answers = {MessageAnswer::Ok, MessageAnswer::Cancel};
    click(window, "cmdstartexp");
    click(window, "cmdstartexp");
    EXPECT_EQ(prompts->texts(),
              QStringList({"File Access Error!", old + " Exists! Append to Existing File?"}));
    EXPECT_TRUE(part<QPushButton>(window, "cmdstartexp")->isEnabled());
    EXPECT_FALSE(part<QPushButton>(window, "cmdstop_exp")->isEnabled());
    QTest::qWait(300);
    EXPECT_EQ(requestsTo(128, kWriteMem), writes);
}

TEST_F(WindowTest, ClosingInsideATickOrUnderADialogNeverCrashesNorSendsMore)
{
    sim::SimConfig config;
    config.timeScale = 20;
    config.scenario.addRun(128, 1, {3.0, 0});
    startSimulator(config);
    prompts->defaultAnswer = MessageAnswer::Yes;
    QPointer<frmexp> guard = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(guard); }, 5000));
    quicken(guard);
    type(guard, "txtduration", QStringLiteral("0 s"));
    type(guard, "txts_speed", QStringLiteral("7.5 rpm"));
    prompts->fileNames = {dataFile("a.csv")};
    click(guard, "cmdstartexp");
    // What the boxes show is what runs.
    EXPECT_EQ(texts(guard, {"txtduration", "txts_speed"}), QStringList({"0", "7.5"}));
    ASSERT_TRUE(waitFor([&] { return guard->resultsGrid()->rowCount() == 1; }, 8000));
    // Closed inside a tick, while its exchange waits for the reply.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (guard && guard->controller()->inTick())
            closeFrame(guard);
    });
    watch.start(1);
    EXPECT_TRUE(waitFor([&] { return guard.isNull(); }, 5000));
    watch.stop();

    // The program closes while the append question is open.
    guard = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(guard); }, 5000));
    writeFile(dataFile("c.csv"), "x\r\n");
    prompts->fileNames = {dataFile("c.csv")};
    const int writes = requestsTo(128, kWriteMem);
    const int starts = requestsTo(128, kStartExp);
    prompts->whileShown = [&](const MessageRequest &) {
        prompts->whileShown = nullptr;
        main->close();
    };
    click(guard, "cmdstartexp");
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    QTest::qWait(200);
    EXPECT_EQ(requestsTo(128, kWriteMem), writes);
    EXPECT_EQ(requestsTo(128, kStartExp), starts);
    EXPECT_FALSE(QFile::exists(dataFile("c.raw")));
}

TEST_F(WindowTest, SubjectIdsAreTypedOrAssignedFromTheLabelGrid)
{
    startSimulator();
    frmexp *window = openWindow();
    Devices[1].strSubID[1] = QStringLiteral("Channel 2"); // as a recorded run leaves it
    click(window, "cmdch2enable");
    auto *id = part<QLineEdit>(window, "txtchanid");
    EXPECT_TRUE(id->isVisible());
    // Too long for the box, the default is not cut to "Channel ": the box is
    // empty with the ID greyed in it.
    EXPECT_EQ(id->text(), QString());
    EXPECT_EQ(id->placeholderText(), QStringLiteral("Channel 2"));
    QTest::keyClicks(id, QStringLiteral("Rat-0042-long")); // 8 characters at most
    // Another channel's box clicked before OK: the typed ID stays.
    QTest::mouseClick(part<QLineEdit>(window, "txtsubid(2)"), Qt::LeftButton);
    EXPECT_EQ(Devices[1].strSubID[1], QStringLiteral("Rat-0042"));
    EXPECT_EQ(text(window, "txtsubid(1)"), QStringLiteral("Rat-0042"));
    QTest::keyClicks(id, QStringLiteral("R3"));
    QTest::keyClick(id, Qt::Key_Return);
    EXPECT_FALSE(part<QGroupBox>(window, "frmchanupdate")->isVisible());
    EXPECT_EQ(Devices[1].strSubID[2], QStringLiteral("R3"));
    // What the data file cannot hold is not taken, typed or pasted, and the
    // box says why.
    click(window, "cmdch1enable");
    QTest::keyClicks(id, QStringLiteral("M1,L"));
    EXPECT_EQ(QToolTip::text(), fieldTextRule(FieldKind::SubjectId));
    id->insert(QStringLiteral("x\u0416")); // as a paste does
    id->insert(QStringLiteral("\r\n"));
    QTest::keyClick(id, Qt::Key_Return);
    EXPECT_EQ(Devices[1].strSubID[0], QStringLiteral("M1L"));

    writeFile(path("config/labels.txt"), "A1,A2,A3,A4\r\nB1,B2,B3,B4\r\n");
    prompts->fileNames = {path("config/labels.txt")};
    click(window, "cmdch_template");
    auto *frame = part<LabelFrame>(window, "frmch_id");
    EXPECT_TRUE(frame->isVisible());
    QTableWidget *grid = frame->grid();
    QLineEdit *editor = frame->editor();
    EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("B3"));

    // A printable key starts a new text in an editor over the cell; Esc
    // keeps the cell; Down stores and moves.
    grid->setCurrentCell(1, 2);
    QTest::keyClick(grid, 'M', Qt::ShiftModifier);
    QTest::keyClick(editor, Qt::Key_Escape);
    EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("B3"));
    frame->GridEdit('Z');
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(grid->item(1, 2)->text(), QStringLiteral("Z"));
    EXPECT_EQ(grid->currentRow(), 2);
    // Nor is a label: a comma typed on the grid opens no editor, and the
    // editor refuses one.
    QTest::keyClick(grid, ',');
    EXPECT_FALSE(editor->isVisible());
    frame->GridEdit('Q');
    QTest::keyClicks(editor, QStringLiteral(",1"));
    EXPECT_EQ(editor->text(), QStringLiteral("Q1"));
    EXPECT_EQ(QToolTip::text(), fieldTextRule(FieldKind::ChannelLabel));
    QTest::keyClick(editor, Qt::Key_Escape);

    grid->setCurrentCell(1, 2);
    emit grid->cellDoubleClicked(1, 2);
    part<QRadioButton>(window, "optchan(3)")->setChecked(true);
    click(window, "cmdch_set");
    EXPECT_FALSE(part<QGroupBox>(window, "frmchan_sel")->isVisible());
    EXPECT_EQ(Devices[1].strSubID[3], QStringLiteral("Z"));
    // A longer label is cut where the ID is kept, so no file ever holds more.
    grid->item(0, 0)->setText(QStringLiteral("A1-long-label"));
    grid->setCurrentCell(0, 0);
    part<QRadioButton>(window, "optchan(0)")->setChecked(true);
    click(window, "cmdch_set");
    EXPECT_EQ(Devices[1].strSubID[0], QStringLiteral("A1-long-"));
    // A lone CR of an old template's line stays in its cell; assigned, it
    // is refused and the channel keeps its ID.
    grid->item(0, 0)->setText(QStringLiteral("A\rB"));
    click(window, "cmdch_set");
    EXPECT_EQ(Devices[1].strSubID[0], QStringLiteral("A1-long-"));
    EXPECT_EQ(prompts->messages.back().title, QStringLiteral("Subject ID"));
    grid->item(0, 0)->setText(QStringLiteral("A1"));

    prompts->fileNames = {dataFile("saved.txt")};
    click(window, "cmdch_save");
    EXPECT_EQ(fileLines(dataFile("saved.txt"))[1], QStringLiteral("B1,B2,Z,B4"));
}

// The plot follows the run, also after it was hidden, and marks the fall;
// the stop leaves every channel button idle, as a subject's own end does.
TEST_F(WindowTest, ThePlotFollowsTheRunAndTheStopLeavesTheChannelsIdle)
{
    sim::SimConfig config;
    config.timeScale = 10;
    config.scenario.addRun(128, 2, {12.5, 0}); // the others run until the stop
    startSimulator(config);
    frmexp *window = startSession(QStringLiteral("0"), dataFile("plot.csv"));
    ASSERT_NE(window, nullptr);
    const SpeedTrace &trace = window->speedTrace();
    auto *plot = window->findChild<SpeedPlot *>();
    ASSERT_TRUE(waitFor([&] { return !trace.falls().empty(); }, 5000));
    EXPECT_EQ(trace.falls()[0].channel, 1);
    EXPECT_NEAR(trace.falls()[0].time, 12.5, 1.5);
    EXPECT_EQ(trace.falls()[0].speed, 6.0);
    EXPECT_EQ(plot->shownFalls(), 1);
    EXPECT_EQ(plot->shownPlanPoints(), trace.planned().size());

    auto *toggle = part<QCheckBox>(window, "chkspeedplot");
    toggle->setChecked(false);
    const qsizetype shown = plot->shownPoints();
    ASSERT_TRUE(waitFor([&] { return trace.lastTime() > 25; }, 3000)); // past the step at 20 s
    EXPECT_EQ(plot->shownPoints(), shown);
    toggle->setChecked(true);
    EXPECT_EQ(plot->shownPoints(), trace.line().size());

    EXPECT_EQ(text(window, "cmdch1enable"), QStringLiteral("Ch1 Running"));
    // Closing asks first, Enter meaning No; No keeps the run going.
    prompts->answers = {MessageAnswer::No};
    closeFrame(window);
    EXPECT_EQ(boxLine(prompts->messages.back()),
              QStringLiteral("Experiment Running | Stop Experiment | YesNo, Critical, default No"));
    click(window, "cmdstop_exp");
    ASSERT_TRUE(waitFor([&] { return finished(window); }, 3000));
    EXPECT_EQ(texts(window, {"cmdch1enable", "cmdch2enable", "cmdch3enable", "cmdch4enable"}),
              QStringList(4, QStringLiteral("Subject ID")));
    EXPECT_EQ(trace.falls().size(), 1u); // the stop is no fall
}

// The overview reads each window's run; the rest is each window's setting,
// remembered for the next one, and the trial shows in the status bar.
TEST_F(WindowTest, TheOverviewFollowsEveryWindowAndBringsOneForward)
{
    startSimulator();
    frmexp *running = startSession(QStringLiteral("0"), dataFile("a.csv"));
    ASSERT_NE(running, nullptr);
    part<QSpinBox>(running, "txtrest")->setValue(90);
    EXPECT_EQ(running->statusPanelText(2), QStringLiteral("Trial 1"));
    frmexp *idle = openWindow();
    ASSERT_NE(idle, nullptr);
    ASSERT_TRUE(waitFor([&] { return uploaded(idle); }, 15000));
    EXPECT_EQ(part<QSpinBox>(idle, "txtrest")->value(), 90);

    auto *overview = new frmoverview;
    main->addChild(overview);
    overview->refreshRows();
    const QTableWidget *grid = overview->grdoverview;
    const auto cell = [grid](int row, int column) { return grid->item(row, column)->text(); };
    ASSERT_EQ(grid->rowCount(), 2);
    // It asks for the room of all its columns and rows, so that its frame opens without scrolling.
    EXPECT_GE(overview->sizeHint().width(), grid->horizontalHeader()->length());
    EXPECT_GE(overview->sizeHint().height(), grid->horizontalHeader()->height() + 2 * grid->rowHeight(0));
    EXPECT_EQ(QStringList({cell(0, 0), cell(0, 1), cell(0, 3), cell(0, 8), cell(0, 9)}),
              QStringList({"1 at 128", "a.csv", "Trial 1", "0", "yes"}));
    EXPECT_TRUE(cell(0, 2).startsWith(QStringLiteral("running 0:0"))) << cell(0, 2).toStdString();
    EXPECT_TRUE(cell(0, 4).startsWith(QStringLiteral("Running  Channel 1"))) << cell(0, 4).toStdString();
    EXPECT_EQ(QStringList({cell(1, 0), cell(1, 2), cell(1, 3)}), QStringList({"2 at 129", "idle", ""}));
    EXPECT_TRUE(cell(1, 7).startsWith(QStringLiteral("Idle  Channel 4"))) << cell(1, 7).toStdString();

    emit overview->grdoverview->cellDoubleClicked(0, 3);
    EXPECT_EQ(main->mdiArea()->currentSubWindow(), ChildFrame::frameOf(running));
    click(running, "cmdstop_exp");
    ASSERT_TRUE(waitFor([&] { return finished(running); }, 3000));
    overview->refreshRows();
    EXPECT_EQ(cell(0, 2), QStringLiteral("idle"));
}

// Squeezed by its frame (Tile Vertical, Tile Horizontal), the window and the
// calculator stop at a size where every caption shows whole: the frame
// scrolls instead.
TEST_F(WindowTest, AtItsSmallestNoCaptionIsCut)
{
    startSimulator();
    frmexp *window = openWindow();
    part<QCheckBox>(window, "chkspeedplot")->setChecked(true);
    click(window, "cmdCalc_Accel");
    window->parentWidget()->resize(300, 200);
    auto *calc = window->findChild<QWidget *>(QStringLiteral("frmcalcacc"));
    calc->resize(50, 50);
    QTest::qWait(100); // the layouts settle, the upload's status shows
    for (QWidget *shown : {static_cast<QWidget *>(window), calc}) {
        for (QWidget *part : shown->findChildren<QWidget *>()) {
            if (!part->isVisible()
                || !(qobject_cast<QLabel *>(part) || qobject_cast<QAbstractButton *>(part)))
                continue;
            const QSize needed = part->minimumSizeHint();
            EXPECT_GE(part->width(), needed.width()) << part->objectName().toStdString() << " "
                                                     << qPrintable(part->property("text").toString());
            EXPECT_GE(part->height(), needed.height()) << qPrintable(part->property("text").toString());
        }
    }
    // The speed plot keeps a readable size rather than a sliver.
    auto *plot = window->findChild<QWidget *>(QStringLiteral("speedplot"));
    ASSERT_NE(plot, nullptr);
    EXPECT_GE(plot->height(), 200);
}

TEST_F(WindowTest, ExperimentTemplatesAndTheCalculatorFillTheSetup)
{
    startSimulator();
    frmexp *window = openWindow();
    ASSERT_TRUE(waitFor([&] { return uploaded(window); }, 5000));
    writeFile(dataFile("earlier.csv"),
              "t\r\nd\r\ns,x\r\nf,y\r\n\r\nDuration:,120\r\nStart Speed:,2.5\r\n"
              "Speed Units:,cm/s\r\nWheel Type:,Rat Wheel\r\nWheel Rotation:,CCW\r\n");
    prompts->fileNames = {dataFile("earlier.csv")};
    click(window, "cmdload");
    EXPECT_EQ(text(window, "txts_speed"), QStringLiteral("2.5"));
    EXPECT_EQ(text(window, "txtduration"), QStringLiteral("120"));
    EXPECT_TRUE(part<QRadioButton>(window, "optwheel(0)")->isChecked());
    EXPECT_TRUE(part<QCheckBox>(window, "optdir")->isChecked());
    EXPECT_EQ(window->resultsGrid()->headings()[4], QStringLiteral("Speed (cm/s)"));

    click(window, "cmdCalc_Accel");
    // A decimal comma gives its message and no result.
    type(window, "txtStart_SP", QStringLiteral("0,5"));
    click(window, "cmdCalc");
    EXPECT_EQ(prompts->texts(),
              QStringList({"Start Speed must be 0 or more and End Speed more than 0.\n"
                           "Enter Start Speed: use a decimal point, as in 0.5"}));
    EXPECT_EQ(text(window, "lblAcc_int"), QStringLiteral("Ac Int"));
    prompts->messages.clear();
    type(window, "txtStart_SP", QStringLiteral("1.0"));
    click(window, "cmdCalc");
    EXPECT_EQ(text(window, "lblAcc_int"), QStringLiteral("2"));
    EXPECT_EQ(text(window, "lblerror"), QStringLiteral("Error 0.0%"));
    click(window, "cmdupdate");
    EXPECT_EQ(texts(window, {"txte_speed", "txtacc_time", "txtacc_step", "txtduration"}),
              QStringList({"10.0", "2", "0.3", "60"}));
    type(window, "txtPeriod", QStringLiteral("40000"));
    click(window, "cmdupdate");
    EXPECT_EQ(prompts->texts(),
              QStringList({"Period(seconds) does not fit the experiment set-up (0 to 32767)."}));
    EXPECT_EQ(text(window, "txtduration"), QStringLiteral("60")); // kept
}

} // namespace
} // namespace velorix::testing
