// The main window: its menu table, remembered placement, child windows, the
// Window menu and closing.
#include "recordingprompter.h"
#include "widgetkit.h"

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
#include <memory>

using velorix::frmMain;
using namespace velorix::testing;

namespace {

QSettings store()
{
    return QSettings(QStringLiteral("Velorix"), QStringLiteral("Velorix"));
}

// Left, top, width and height in twips, as text.
const char *const kPlacement[] = {"Settings/MainLeft", "Settings/MainTop", "Settings/MainWidth", "Settings/MainHeight"};

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
        RecordingPrompter::install(); // no real message box ever
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
    for (QAction *entry : main.menuBar()->actions()) {
        rows << row(entry->menu(), entry);
        for (QAction *action : entry->menu()->actions())
            rows << QStringLiteral("  ") + row(action, action);
    }
    return rows;
}

TEST_F(MainWindowTest, MenuTableHasItsCaptionsAccessKeysNamesAndStateAndTheStatusBarTextDateAndTime)
{
    EXPECT_EQ(main->windowTitle(), "Velorix");
    EXPECT_EQ(menuTable(*main), QStringList({
        "mnumnuExperiment Experiment",
        "  mnumnuExperimentmnurun Run",
        "  mnumnuExperimentmnuview View (off)",
        "mnuTools &Tools",
        "  mnudevicescan Device Scan",
        "  mnuToolsmnudiagnostics Diagnostics",
        "mnuWindow &Window",
        "  mnuWindowCascade &Cascade",
        "  mnuWindowTileHorizontal Tile &Horizontal",
        "  mnuWindowTileVertical Tile &Vertical",
        "  mnuWindowArrangeIcons &Arrange Icons",
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

TEST_F(MainWindowTest, StoredTwipsPlaceTheWindowWithDefaultsForMissingGarbledOrLostValues)
{
    struct Case { QStringList stored; QRect twips; };
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
                        px(c.twips.height(), dpiY))) << c.stored.join(',').toStdString();
    }
}

TEST_F(MainWindowTest, PlacementSurvivesARestartAsTwipsTextAndAMinimisedWindowKeepsTheStoredValues)
{
    main->show();
    main->move(120, 90);
    main->resize(500, 380);
    ASSERT_TRUE(main->close());
    const QStringList stored = storedPlacement();
    EXPECT_DOUBLE_EQ(stored[0].toDouble(), 120 * 1440.0 / dpiX);
    EXPECT_DOUBLE_EQ(stored[2].toDouble(), 500 * 1440.0 / dpiX);
    EXPECT_DOUBLE_EQ(stored[3].toDouble(), 380 * 1440.0 / dpiY);
    frmMain next;
    EXPECT_EQ(next.pos(), QPoint(120, 90));
    EXPECT_EQ(next.size(), QSize(500, 380));

    storePlacement({"2000", "1500", "7000", "6000"});
    frmMain window;
    window.show();
    window.move(10, 10);
    window.showMinimized();
    ASSERT_TRUE(window.isMinimized());
    ASSERT_TRUE(window.close());
    EXPECT_EQ(storedPlacement(), QStringList({"2000", "1500", "7000", "6000"}));
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

    for (const char *name : {"mnuToolsmnudiagnostics", "mnumnuExperimentmnurun", "mnumnuExperimentmnurun"})
        choose(name);
    EXPECT_EQ(main->childWindows().size(), 5);
    // Once the scan window is closed, the item opens a new one.
    ASSERT_TRUE(scan->parentWidget()->close());
    choose("mnudevicescan");
    EXPECT_EQ(QList<int>({scans, diagnostics, experiments}), QList<int>({2, 2, 2}));
}

TEST_F(MainWindowTest, ChildrenAreFoundAWindowClosingItselfTakesItsFrameAlongAndABusyOneKeepsTheMainWindow)
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
    EXPECT_EQ(main->childWindow<QWidget>(), leaving);
    EXPECT_EQ(main->childWindow<QLabel>(), nullptr);

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

    staying->refuseClose = false;
    EXPECT_TRUE(main->close());
    EXPECT_TRUE(main->childWindows().isEmpty());
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
    EXPECT_EQ(captions(menu), QStringList({"&Cascade", "Tile &Horizontal", "Tile &Vertical", "&Arrange Icons", "-",
                                           "&1 Alpha", "&2 Beta && Co"}));
    const QList<QAction *> actions = menu->actions();
    EXPECT_EQ(actions[3], item("mnuWindowArrangeIcons"));
    EXPECT_FALSE(actions[5]->isChecked());
    EXPECT_TRUE(actions[6]->isChecked()); // the newest is in front

    actions[5]->trigger();
    EXPECT_EQ(area()->currentSubWindow(), first);

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

    first->close();
    second->close();
    emit menu->aboutToShow();
    EXPECT_EQ(menu->actions().size(), 4); // no separator without windows
}

} // namespace
