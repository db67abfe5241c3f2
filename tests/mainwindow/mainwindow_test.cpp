// The main window: its menu table, remembered placement, child windows, the
// Window menu and closing.
#include "recordingprompter.h"

using velorix::testing::RecordingPrompter;

#include "shell/frmmain.h"
#include "model/globals.h"

#include <QAction>
#include <QCloseEvent>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>

using velorix::frmMain;

namespace {

QSettings store()
{
    return QSettings(QStringLiteral("Velorix"), QStringLiteral("Velorix"));
}

void storePlacement(const QString &left, const QString &top, const QString &width, const QString &height)
{
    QSettings settings = store();
    settings.setValue("Settings/MainLeft", left);
    settings.setValue("Settings/MainTop", top);
    settings.setValue("Settings/MainWidth", width);
    settings.setValue("Settings/MainHeight", height);
}

int px(double twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

// A child window that may refuse to close, as a busy experiment window does.
class TestWindow : public QWidget
{
public:
    explicit TestWindow(const QString &title, bool refuse = false) : refuseClose(refuse) { setWindowTitle(title); }
    bool refuseClose = false;

protected:
    void closeEvent(QCloseEvent *event) override { event->setAccepted(!refuseClose); }
};

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        store().clear();
        prompts = RecordingPrompter::install();
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

    RecordingPrompter *prompts = nullptr;
    std::unique_ptr<frmMain> main;
    double dpiX = 96;
    double dpiY = 96;
};

TEST_F(MainWindowTest, MenuTableHasItsCaptionsAccessKeysNamesAndState)
{
    EXPECT_EQ(main->windowTitle(), "Velorix");
    struct Item { const char *menu; const char *name; const char *caption; bool enabled; };
    const Item expected[] = {
        {nullptr, "mnumnuExperiment", "Experiment", true},
        {"mnumnuExperiment", "mnumnuExperimentmnurun", "Run", true},
        {"mnumnuExperiment", "mnumnuExperimentmnuview", "View", false},
        {nullptr, "mnuTools", "&Tools", true},
        {"mnuTools", "mnudevicescan", "Device Scan", true},
        {"mnuTools", "mnuToolsmnudiagnostics", "Diagnostics", true},
        {nullptr, "mnuWindow", "&Window", true},
        {"mnuWindow", "mnuWindowCascade", "&Cascade", true},
        {"mnuWindow", "mnuWindowTileHorizontal", "Tile &Horizontal", true},
        {"mnuWindow", "mnuWindowTileVertical", "Tile &Vertical", true},
        {"mnuWindow", "mnuWindowArrangeIcons", "&Arrange Icons", true},
        {nullptr, "mnuHelp", "&Help", true},
        {"mnuHelp", "mnuHelpmanual", "&Help Manual", true},
        {"mnuHelp", "mnuHelpSearchForHelpOn", "&Search For Help On...", false},
        {"mnuHelp", "mnuHelpBar0", "", true},
        {"mnuHelp", "mnuHelpAbout", "&About ", true},
    };
    // Both lists in table order: the menu bar's menus and each menu's items.
    QList<QAction *> bar;
    std::map<QString, QList<QAction *>> items;
    for (const Item &row : expected) {
        QAction *action = nullptr;
        if (!row.menu) {
            auto *menu = main->findChild<QMenu *>(QLatin1String(row.name));
            ASSERT_NE(menu, nullptr) << row.name;
            action = menu->menuAction();
            bar << action;
        } else {
            action = item(row.name);
            ASSERT_NE(action, nullptr) << row.name;
            items[row.menu] << action;
        }
        EXPECT_EQ(action->text(), row.caption) << row.name;
        EXPECT_EQ(action->isEnabled(), row.enabled) << row.name;
    }
    EXPECT_EQ(main->menuBar()->actions(), bar);
    for (const auto &[menu, actions] : items)
        EXPECT_EQ(main->findChild<QMenu *>(menu)->actions(), actions) << menu.toStdString();
    EXPECT_TRUE(item("mnuHelpBar0")->isSeparator());
}

TEST_F(MainWindowTest, FirstRunOpensAtTheDefaultTwipsAndLoadResetsTheDiagnosticsCount)
{
    velorix::intDiagWindows = 5;
    frmMain fresh;
    EXPECT_EQ(velorix::intDiagWindows, 0);
    EXPECT_EQ(fresh.pos(), QPoint(px(1000, dpiX), px(1000, dpiY)));
    EXPECT_EQ(fresh.size(), QSize(px(6500, dpiX), px(6500, dpiY)));
}

TEST_F(MainWindowTest, PlacementSurvivesARestartAsTwipsText)
{
    main->show();
    main->move(120, 90);
    main->resize(500, 380);
    ASSERT_TRUE(main->close());

    QSettings settings = store();
    EXPECT_DOUBLE_EQ(settings.value("Settings/MainLeft").toString().toDouble(), 120 * 1440.0 / dpiX);
    EXPECT_DOUBLE_EQ(settings.value("Settings/MainWidth").toString().toDouble(), 500 * 1440.0 / dpiX);
    EXPECT_DOUBLE_EQ(settings.value("Settings/MainHeight").toString().toDouble(), 380 * 1440.0 / dpiY);

    frmMain next;
    EXPECT_EQ(next.pos(), QPoint(120, 90));
    EXPECT_EQ(next.size(), QSize(500, 380));
}

TEST_F(MainWindowTest, GarbledOrUnreachableStoredValuesFallBackToDefaults)
{
    storePlacement("1500", "twelve", "0", "-40");
    frmMain garbled;
    EXPECT_EQ(garbled.pos(), QPoint(px(1500, dpiX), px(1000, dpiY)));
    EXPECT_EQ(garbled.size(), QSize(px(6500, dpiX), px(6500, dpiY)));

    // Far beyond every screen (a monitor that is gone): back to the default
    // position, with the stored size.
    storePlacement("900000", "900000", "7200", "5760");
    frmMain lost;
    EXPECT_EQ(lost.pos(), QPoint(px(1000, dpiX), px(1000, dpiY)));
    EXPECT_EQ(lost.size(), QSize(px(7200, dpiX), px(5760, dpiY)));
}

TEST_F(MainWindowTest, AMinimisedWindowKeepsTheStoredValues)
{
    storePlacement("2000", "1500", "7000", "6000");
    frmMain window;
    window.show();
    window.move(10, 10);
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    ASSERT_TRUE(window.close());

    QSettings settings = store();
    EXPECT_EQ(QStringList({settings.value("Settings/MainLeft").toString(), settings.value("Settings/MainTop").toString(),
                           settings.value("Settings/MainWidth").toString(), settings.value("Settings/MainHeight").toString()}),
              QStringList({"2000", "1500", "7000", "6000"}));
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
    const QRect before = scan->parentWidget()->geometry();
    choose("mnuToolsmnudiagnostics");
    choose("mnudevicescan"); // brings the open one forward, nothing more
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(main->openWindow(frmMain::MenuItem::DeviceScan), scan);
    EXPECT_EQ(area()->currentSubWindow(), scan->parentWidget());
    EXPECT_EQ(scan->parentWidget()->geometry(), before);

    choose("mnuToolsmnudiagnostics");
    choose("mnumnuExperimentmnurun");
    choose("mnumnuExperimentmnurun");
    EXPECT_EQ(diagnostics, 2);
    EXPECT_EQ(experiments, 2);
    EXPECT_EQ(main->childWindows().size(), 5);

    // Once the scan window is closed, the item opens a new one.
    ASSERT_TRUE(scan->parentWidget()->close());
    choose("mnudevicescan");
    EXPECT_EQ(scans, 2);
}

TEST_F(MainWindowTest, ChildrenAreFoundAndAWindowClosingItselfTakesItsFrameAlong)
{
    main->show();
    QPointer<QWidget> leaving = new TestWindow("Leaving");
    leaving->setObjectName("frmcomsetup");
    QPointer<QMdiSubWindow> frame = main->addChild(leaving);
    EXPECT_EQ(main->addChild(leaving), frame); // adding twice keeps one frame
    auto *staying = new TestWindow("Busy", true);
    main->addChild(staying);
    EXPECT_EQ(main->findChildWindow("frmcomsetup"), leaving);
    EXPECT_EQ(main->findChildWindow("frmdevicescan"), nullptr);
    EXPECT_EQ(main->childWindow<QWidget>(), leaving);
    EXPECT_EQ(main->childWindow<QLabel>(), nullptr);

    EXPECT_TRUE(leaving->close()); // as an "Exit" button does
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frame.isNull());
    EXPECT_TRUE(leaving.isNull());

    EXPECT_FALSE(staying->close());
    EXPECT_EQ(main->childWindows(), QList<QWidget *>{staying});
    EXPECT_TRUE(staying->isVisible());
}

TEST_F(MainWindowTest, WindowMenuListsTheChildrenAndActivatesTheChosenOne)
{
    main->show();
    QMdiSubWindow *alpha = main->addChild(new TestWindow("Alpha"));
    QMdiSubWindow *beta = main->addChild(new TestWindow("Beta & Co"));
    auto *menu = main->findChild<QMenu *>("mnuWindow");

    emit menu->aboutToShow();
    emit menu->aboutToShow(); // rebuilt, not appended to
    const QList<QAction *> actions = menu->actions();
    ASSERT_EQ(actions.size(), 7);
    EXPECT_EQ(actions[3], item("mnuWindowArrangeIcons"));
    EXPECT_TRUE(actions[4]->isSeparator());
    EXPECT_EQ(actions[5]->text(), "&1 Alpha");
    EXPECT_EQ(actions[6]->text(), "&2 Beta && Co");
    EXPECT_FALSE(actions[5]->isChecked());
    EXPECT_TRUE(actions[6]->isChecked()); // the newest is in front

    actions[5]->trigger();
    EXPECT_EQ(area()->currentSubWindow(), alpha);
    alpha->close();
    beta->close();
    emit menu->aboutToShow();
    EXPECT_EQ(menu->actions().size(), 4); // no separator without windows
}

TEST_F(MainWindowTest, ArrangeOperationsTileCascadeAndLineUpIcons)
{
    main->resize(700, 520);
    main->show();
    QMdiSubWindow *first = main->addChild(new TestWindow("One"));
    QMdiSubWindow *second = main->addChild(new TestWindow("Two"));
    const QSize space = area()->viewport()->size();

    choose("mnuWindowTileHorizontal"); // one above the other
    EXPECT_EQ(first->geometry(), QRect(0, 0, space.width(), space.height() / 2));
    EXPECT_EQ(second->geometry(), QRect(0, space.height() / 2, space.width(), space.height() - space.height() / 2));

    choose("mnuWindowTileVertical"); // side by side
    EXPECT_EQ(first->geometry(), QRect(0, 0, space.width() / 2, space.height()));
    EXPECT_EQ(second->geometry(), QRect(space.width() / 2, 0, space.width() - space.width() / 2, space.height()));

    choose("mnuWindowCascade");
    EXPECT_GT(second->x(), first->x());
    EXPECT_GT(second->y(), first->y());

    first->showMinimized();
    second->showMinimized();
    first->move(300, 40);
    second->move(10, 100);
    choose("mnuWindowArrangeIcons");
    EXPECT_EQ(first->geometry().bottom(), space.height() - 1);
    EXPECT_EQ(second->geometry().bottom(), space.height() - 1);
    EXPECT_EQ(first->x(), 0);
    EXPECT_EQ(second->x(), first->width());
}

TEST_F(MainWindowTest, AChildThatRefusesToCloseKeepsTheMainWindowOpen)
{
    storePlacement("2000", "1500", "7000", "6000");
    main->show();
    main->addChild(new TestWindow("Idle"));
    auto *busy = new TestWindow("Running", true);
    main->addChild(busy);

    EXPECT_FALSE(main->close());
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->childWindows(), QList<QWidget *>{busy});
    // A close that did not happen stores nothing.
    EXPECT_EQ(store().value("Settings/MainLeft").toString(), "2000");

    busy->refuseClose = false;
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(main->childWindows().isEmpty());
}

TEST_F(MainWindowTest, StatusBarShowsTextDateAndTime)
{
    main->show();
    auto *bar = main->findChild<QStatusBar *>("sbStatusBar");
    ASSERT_NE(bar, nullptr);
    auto *text = bar->findChild<QLabel *>("sbStatusBarText");
    auto *date = bar->findChild<QLabel *>("sbStatusBarDate");
    auto *time = bar->findChild<QLabel *>("sbStatusBarTime");
    ASSERT_TRUE(text && date && time);
    EXPECT_LT(text->x(), date->x());
    EXPECT_LT(date->x(), time->x());

    main->setStatusText("No Experiment Running");
    EXPECT_EQ(text->text(), "No Experiment Running");
    const QLocale locale;
    EXPECT_EQ(date->text(), locale.toString(QDate::currentDate(), QLocale::ShortFormat));
    EXPECT_TRUE(locale.toTime(time->text(), QLocale::ShortFormat).isValid()) << time->text().toStdString();
    // The clock keeps going: the panel is refreshed within about a second.
    time->setText("stale");
    EXPECT_TRUE(QTest::qWaitFor([time] { return time->text() != "stale"; }, 2500));
}

} // namespace
