// The main window: its menu table, remembered placement, child windows, the
// Window menu, the running-experiments count and closing.
#include "recordingprompter.h"
#include "widgetkit.h"

#include "shell/childframe.h"
#include "shell/frmmain.h"
#include "model/globals.h"
#include "model/runningexperiments.h"

#include <QAction>
#include <QCloseEvent>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using velorix::frmMain;
using namespace velorix::testing;

namespace {

QSettings store()
{
    return QSettings(QStringLiteral("Velorix"), QStringLiteral("Velorix"));
}

// Left, top, width and height in twips, as text.
const char *const kPlacement[]
        = {"Settings/MainLeft", "Settings/MainTop", "Settings/MainWidth", "Settings/MainHeight"};

void storePlacement(const QStringList &values)
{
    QSettings settings = store();
    for (int i = 0; i < values.size(); ++i)
        settings.setValue(kPlacement[i], values[i]);
}

QStringList storedPlacement()
{
    QStringList values;
    for (const char *key : kPlacement)
        values << store().value(key).toString();
    return values;
}

int px(double twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

// A child window that may refuse to close, or ask first, as a busy
// experiment window does.
class TestWindow : public QWidget
{
public:
    explicit TestWindow(const QString &title, bool refuse = false) : refuseClose(refuse)
    {
        setWindowTitle(title);
    }
    bool refuseClose = false;
    bool askFirst = false;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (askFirst) {
            const auto answer = velorix::prompter().message(
                    this, {"Stop Experiment", "Busy", velorix::MessageRequest::Buttons::YesNo});
            event->setAccepted(answer == velorix::MessageAnswer::Yes);
            return;
        }
        event->setAccepted(!refuseClose);
    }
};

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        store().clear();
        prompts = RecordingPrompter::install(); // no real message box ever
        main = std::make_unique<frmMain>();
        dpiX = main->screen()->logicalDotsPerInchX();
        dpiY = main->screen()->logicalDotsPerInchY();
    }
    void TearDown() override
    {
        main.reset();
        velorix::setPrompter(nullptr);
    }

    QAction *item(const char *name) const { return main->findChild<QAction *>(QLatin1String(name)); }
    void choose(const char *name) const { item(name)->trigger(); }
    QMdiArea *area() const { return main->mdiArea(); }

    // A factory that counts the windows it makes.
    static frmMain::WindowFactory counting(int &made)
    {
        return [&made] { return new TestWindow(QString::number(++made)); };
    }

    std::unique_ptr<frmMain> main;
    RecordingPrompter *prompts = nullptr;
    double dpiX = 96;
    double dpiY = 96;
};

// The menu bar in order, each menu's items indented, as "name caption" with
// "(off)" for a disabled item and "-" for a separator.
QStringList menuTable(const frmMain &main)
{
    QStringList rows;
    const auto row = [](const QObject *named, const QAction *action) {
        return named->objectName() + QLatin1Char(' ')
                + (action->isSeparator() ? QStringLiteral("-") : action->text())
                + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
    };
    const auto actions = main.menuBar()->actions();
    for (QAction *entry : actions) {
        rows << row(entry->menu(), entry);
        for (QAction *action : entry->menu()->actions())
            rows << QStringLiteral("  ") + row(action, action);
    }
    return rows;
}

TEST_F(MainWindowTest, MenuTableHasItsCaptionsAccessKeysNamesAndStateAndTheStatusBarTextDateAndTime)
{
    EXPECT_EQ(main->windowTitle(), "Velorix");
    EXPECT_EQ(menuTable(*main),
              QStringList({
                      "mnuFile &File",
                      "  mnuFileExit E&xit",
                      "mnumnuExperiment Experiment",
                      "  mnumnuExperimentmnurun Run",
                      "  mnumnuExperimentmnuview View (off)",
                      "mnuTools &Tools",
                      "  mnudevicescan Device Scan",
                      "  mnuToolsmnudiagnostics Diagnostics",
                      "  mnuToolsBar0 -",
                      "  mnuToolsStudyResults Study Results",
                      "mnuWindow &Window",
                      "  mnuWindowCascade &Cascade",
                      "  mnuWindowTileHorizontal Tile &Horizontal",
                      "  mnuWindowTileVertical Tile &Vertical",
                      "  mnuWindowArrangeIcons &Arrange Icons",
                      "  mnuWindowBar0 -",
                      "  mnuWindowOverview Experiments &Overview",
                      "mnuHelp &Help",
                      "  mnuHelpmanual &Help Manual",
                      "  mnuHelpSearchForHelpOn &Search For Help On... (off)",
                      "  mnuHelpBar0 -",
                      "  mnuHelpAbout &About ",
              }));

    main->show();
    auto *bar = part<QStatusBar>(main.get(), "sbStatusBar");
    auto *text = part<QLabel>(bar, "sbStatusBarText");
    auto *date = part<QLabel>(bar, "sbStatusBarDate");
    auto *time = part<QLabel>(bar, "sbStatusBarTime");
    ASSERT_TRUE(text && date && time);
    EXPECT_TRUE(text->x() < date->x() && date->x() < time->x());

    // Panel 1 counts the running experiments as they start and end.
    main->followRunningExperiments();
    const int owners[3] = {};
    struct Step
    {
        int owner;
        bool running;
        const char *shown;
    };
    const Step steps[] = {{0, true, "1 Experiment Running"},  {1, true, "2 Experiments Running"},
                          {0, true, "2 Experiments Running"}, // listed again, not twice
                          {2, true, "3 Experiments Running"}, {1, false, "2 Experiments Running"},
                          {0, false, "1 Experiment Running"}, {2, false, "No Experiment Running"}};
    EXPECT_EQ(text->text(), "No Experiment Running");
    for (const Step &step : steps) {
        if (step.running)
            velorix::runningExperiments().add(&owners[step.owner], "Experiment", 128);
        else
            velorix::runningExperiments().remove(&owners[step.owner]);
        EXPECT_EQ(text->text(), step.shown);
    }
    const QLocale locale;
    EXPECT_EQ(date->text(), locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_TRUE(locale.toTime(time->text(), QLocale::ShortFormat).isValid()) << time->text().toStdString();
    // The clock keeps going: the panel is refreshed within about a second.
    time->setText("stale");
    EXPECT_TRUE(QTest::qWaitFor([time] { return time->text() != "stale"; }, 2500));
}

TEST_F(MainWindowTest, StoredTwipsPlaceTheWindowWithDefaultsForMissingGarbledOrLostValues)
{
    struct Case
    {
        QStringList stored;
        QRect twips;
    };
    const Case cases[] = {
            {{}, {1000, 1000, 6500, 6500}}, // first run
            {{"1500", "twelve", "0", "-40"}, {1500, 1000, 6500, 6500}},
            // Far beyond every screen (a monitor that is gone): the default position, the stored size.
            {{"900000", "900000", "7200", "5760"}, {1000, 1000, 7200, 5760}},
    };
    for (const Case &c : cases) {
        store().clear();
        storePlacement(c.stored);
        velorix::intDiagWindows = 5;
        frmMain window;
        EXPECT_EQ(velorix::intDiagWindows, 0); // loading resets the diagnostics count
        EXPECT_EQ(QRect(window.pos(), window.size()),
                  QRect(px(c.twips.x(), dpiX), px(c.twips.y(), dpiY), px(c.twips.width(), dpiX),
                        px(c.twips.height(), dpiY)))
                << c.stored.join(',').toStdString();
    }
}

TEST_F(MainWindowTest, PlacementRoundTripsExactlyMaximisedOrNotAndAMinimisedWindowKeepsTheStoredValues)
{
    // One run of the program: started, `meanwhile` done to its window, closed;
    // what it left stored.
    const auto run = [](const std::function<void(frmMain &)> &meanwhile) {
        frmMain window;
        window.show();
        meanwhile(window);
        EXPECT_TRUE(window.close());
        return storedPlacement();
    };
    const auto untouched = [](frmMain &) {};
    const auto maximised = [](frmMain &window) {
        EXPECT_TRUE(QTest::qWaitFor([&window] { return window.isMaximized() && window.width() > 500; }));
    };

    // Several starts left as they came: the twips read come back unchanged,
    // though no whole pixel is 1000 or 6500 twips at this density.
    for (int start = 0; start < 3; ++start)
        EXPECT_EQ(run(untouched), QStringList({"1000", "1000", "6500", "6500"})) << start;

    // Moved and resized: the new place in twips, and that place at the next start.
    const QStringList stored = run([](frmMain &window) {
        window.move(120, 90);
        window.resize(500, 380);
    });
    EXPECT_DOUBLE_EQ(stored[0].toDouble(), 120 * 1440.0 / dpiX);
    EXPECT_DOUBLE_EQ(stored[2].toDouble(), 500 * 1440.0 / dpiX);
    EXPECT_DOUBLE_EQ(stored[3].toDouble(), 380 * 1440.0 / dpiY);
    // Closed maximised: its normal place and the state are kept, and the
    // next starts come up maximised.
    EXPECT_EQ(run([&maximised](frmMain &next) {
                  EXPECT_EQ(QRect(next.pos(), next.size()), QRect(120, 90, 500, 380));
                  next.showMaximized();
                  maximised(next);
              }),
              stored);
    for (int start = 0; start < 2; ++start)
        EXPECT_EQ(run(maximised), stored) << start;
    run([](frmMain &restored) {
        restored.showNormal();
        EXPECT_TRUE(QTest::qWaitFor([&restored] {
            return QRect(restored.pos(), restored.size()) == QRect(120, 90, 500, 380);
        })) << restored.pos().x()
            << "," << restored.pos().y();
    });
    EXPECT_EQ(store().value("Settings/MainMaximized").toString(), "false");

    storePlacement({"2000", "1500", "7000", "6000"});
    EXPECT_EQ(run([](frmMain &window) {
                  window.move(10, 10);
                  window.showMinimized();
                  EXPECT_TRUE(window.isMinimized());
              }),
              QStringList({"2000", "1500", "7000", "6000"}));
}

TEST_F(MainWindowTest, AChildOpensWhollyVisibleTheMainWindowGrowingWithinItsScreenOrTheChildScrolling)
{
    main->show(); // 6500 twips square: smaller than the windows below
    const QRect screen = main->screen()->availableGeometry();
    const auto inView = [this](const QMdiSubWindow *frame) {
        return area()->viewport()->rect().contains(frame->geometry());
    };

    auto *wide = new TestWindow("Wide");
    wide->setMinimumSize(screen.width() * 2 / 3, screen.height() / 2);
    QMdiSubWindow *frame = main->addChild(wide);
    EXPECT_TRUE(inView(frame)) << frame->x() << "," << frame->y();
    // It and the dialogs show the program's wheel, not the toolkit's logo.
    EXPECT_EQ(frame->windowIcon().cacheKey(), main->windowIcon().cacheKey());
    EXPECT_EQ(QMessageBox().windowIcon().cacheKey(), main->windowIcon().cacheKey());
    EXPECT_TRUE(screen.contains(main->frameGeometry()));
    // The main window grew: the whole window shows, nothing to scroll.
    const QWidget *shown = frame->findChild<QScrollArea *>()->viewport();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown->size() == wide->size(); }, 1000))
            << shown->width() << "x" << shown->height();

    // Larger than the screen: the frame fits the work area, the window keeps
    // its minimum size and scrolls inside the frame.
    auto *huge = new TestWindow("Huge");
    huge->setMinimumSize(screen.size() * 2);
    frame = main->addChild(huge);
    EXPECT_TRUE(inView(frame));
    EXPECT_TRUE(screen.contains(main->frameGeometry()));
    EXPECT_EQ(huge->size(), huge->minimumSize());
    EXPECT_TRUE(frame->findChild<QScrollArea *>()->verticalScrollBar()->isVisible());

    // Tiled, frames smaller than their windows scroll instead of squashing them.
    choose("mnuWindowTileVertical");
    EXPECT_LT(frame->width(), huge->minimumWidth());
    EXPECT_EQ(wide->size().expandedTo(wide->minimumSize()), wide->size());
}

TEST_F(MainWindowTest, DeviceScanIsSingleWhileDiagnosticsAndRunOpenOneEachTime)
{
    main->show();
    // Until their windows exist, the items are there and do nothing.
    for (const char *name : {"mnumnuExperimentmnurun", "mnudevicescan", "mnuToolsmnudiagnostics"})
        choose(name);
    main->setWindowFactory(frmMain::MenuItem::Diagnostics, [] { return nullptr; });
    choose("mnuToolsmnudiagnostics");
    EXPECT_TRUE(main->childWindows().isEmpty());

    int scans = 0, diagnostics = 0, experiments = 0;
    main->setWindowFactory(frmMain::MenuItem::DeviceScan, counting(scans));
    main->setWindowFactory(frmMain::MenuItem::Diagnostics, counting(diagnostics));
    main->setWindowFactory(frmMain::MenuItem::ExperimentRun, counting(experiments));
    choose("mnudevicescan");
    QWidget *scan = main->childWindows().value(0);
    ASSERT_NE(scan, nullptr);
    QMdiSubWindow *scanFrame = velorix::ChildFrame::frameOf(scan);
    const QRect before = scanFrame->geometry();
    choose("mnuToolsmnudiagnostics");
    choose("mnudevicescan"); // brings the open one forward, nothing more
    EXPECT_EQ(main->openWindow(frmMain::MenuItem::DeviceScan), scan);
    EXPECT_EQ(area()->currentSubWindow(), scanFrame);
    EXPECT_EQ(scanFrame->geometry(), before);

    for (const char *name : {"mnuToolsmnudiagnostics", "mnumnuExperimentmnurun", "mnumnuExperimentmnurun"})
        choose(name);
    EXPECT_EQ(main->childWindows().size(), 5);
    // Once the scan window is closed, the item opens a new one.
    ASSERT_TRUE(scanFrame->close());
    choose("mnudevicescan");
    EXPECT_EQ(QList<int>({scans, diagnostics, experiments}), QList<int>({2, 2, 2}));
}

TEST_F(MainWindowTest,
       ChildrenAreFoundAWindowClosingItselfTakesItsFrameAlongAndCtrlQAsksTheBusyOneBeforeQuitting)
{
    storePlacement({"2000", "1500", "7000", "6000"});
    main->show();
    QPointer<QWidget> leaving = new TestWindow("Leaving");
    leaving->setObjectName("frmcomsetup");
    QPointer<QMdiSubWindow> frame = main->addChild(leaving);
    EXPECT_EQ(main->addChild(leaving), frame); // adding twice keeps one frame
    auto *staying = new TestWindow("Busy", true);
    main->addChild(staying);
    EXPECT_EQ(main->findChildWindow("frmcomsetup"), leaving);
    EXPECT_EQ(main->findChildWindow("frmdevicescan"), nullptr);

    EXPECT_TRUE(leaving->close()); // as an "Exit" button does
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());
    EXPECT_TRUE(leaving.isNull());

    EXPECT_FALSE(staying->close());
    main->addChild(new TestWindow("Idle"));
    EXPECT_FALSE(main->close());
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->childWindows(), QList<QWidget *>{staying});
    EXPECT_TRUE(staying->isVisible());
    EXPECT_EQ(storedPlacement()[0], "2000"); // a close that did not happen stores nothing

    // Ctrl+Q closes as the window's close button does: the busy window is
    // asked, its No keeps everything open, its Yes ends the program.
    staying->refuseClose = false;
    staying->askFirst = true;
    QSignalSpy closed(main.get(), &frmMain::closed);
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main.get()));
    prompts->answers = {velorix::MessageAnswer::No, velorix::MessageAnswer::Yes};
    QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(main->isVisible());
    EXPECT_TRUE(closed.isEmpty());
    QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_EQ(prompts->messages.size(), 2u);
    EXPECT_EQ(prompts->messages[1].text, "Stop Experiment");
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(closed.size(), 1);
    EXPECT_TRUE(main->childWindows().isEmpty());
}

// A maximised child's caption joins the main window's, and leaves it again
// whether the child is restored first or closed as it is.
TEST_F(MainWindowTest, TheMainTitleLosesAMaximisedChildsCaptionWhenItIsRestoredOrClosed)
{
    main->show();
    QMdiSubWindow *frame = main->addChild(new TestWindow("Velorix-5 Diagnostics"));
    frame->showMaximized();
    QCoreApplication::processEvents();
    EXPECT_EQ(main->windowTitle(), "Velorix - [Velorix-5 Diagnostics]");
    frame->showNormal();
    QCoreApplication::processEvents();
    EXPECT_EQ(main->windowTitle(), "Velorix");
    frame->showMaximized();
    frame->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(main->windowTitle(), "Velorix");

    // A child that names its device while maximised, then restored and closed.
    auto *diagnostics = new TestWindow("Velorix-5 Diagnostics");
    frame = main->addChild(diagnostics);
    frame->showMaximized();
    QCoreApplication::processEvents();
    diagnostics->setWindowTitle("Diagnostics for Device 1 at address 128");
    QCoreApplication::processEvents();
    EXPECT_EQ(main->windowTitle(), "Velorix - [Diagnostics for Device 1 at address 128]");
    frame->showNormal();
    frame->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(main->windowTitle(), "Velorix");
}

TEST_F(MainWindowTest, WindowMenuListsTheChildrenActivatesTheChosenOneAndArrangesThem)
{
    main->resize(700, 520);
    main->show();
    QMdiSubWindow *first = main->addChild(new TestWindow("Alpha"));
    QMdiSubWindow *second = main->addChild(new TestWindow("Beta & Co"));
    auto *menu = main->findChild<QMenu *>("mnuWindow");

    emit menu->aboutToShow();
    emit menu->aboutToShow(); // rebuilt, not appended to
    EXPECT_EQ(captions(menu),
              QStringList({"&Cascade", "Tile &Horizontal", "Tile &Vertical", "&Arrange Icons", "-",
                           "Experiments &Overview", "-", "&1 Alpha", "&2 Beta && Co"}));
    const QList<QAction *> actions = menu->actions();
    EXPECT_EQ(actions[3], item("mnuWindowArrangeIcons"));
    EXPECT_FALSE(actions[7]->isChecked());
    EXPECT_TRUE(actions[8]->isChecked()); // the newest is in front

    actions[7]->trigger();
    EXPECT_EQ(area()->currentSubWindow(), first);

    const QSize space = area()->viewport()->size();

    choose("mnuWindowTileHorizontal"); // one above the other
    EXPECT_EQ(first->geometry(), QRect(0, 0, space.width(), space.height() / 2));
    EXPECT_EQ(second->geometry(),
              QRect(0, space.height() / 2, space.width(), space.height() - space.height() / 2));

    choose("mnuWindowTileVertical"); // side by side
    EXPECT_EQ(first->geometry(), QRect(0, 0, space.width() / 2, space.height()));
    EXPECT_EQ(second->geometry(),
              QRect(space.width() / 2, 0, space.width() - space.width() / 2, space.height()));

    choose("mnuWindowCascade");
    EXPECT_GT(second->x(), first->x());
    EXPECT_GT(second->y(), first->y());

    first->showMinimized();
    second->showMinimized();
    first->move(300, 40);
    second->move(10, 100);
    choose("mnuWindowArrangeIcons");
    EXPECT_EQ(QList<int>({first->geometry().bottom(), second->geometry().bottom(), first->x(), second->x()}),
              QList<int>({space.height() - 1, space.height() - 1, 0, first->width()}));

    first->close();
    second->close();
    emit menu->aboutToShow();
    EXPECT_EQ(menu->actions().size(), 6); // no second separator without windows
}

} // namespace
