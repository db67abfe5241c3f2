// The splash window, the About box and the help manual.
#include "recordingprompter.h"
#include "widgetkit.h"

#include "shell/frmabout.h"
#include "shell/frmmain.h"
#include "shell/frmsplash.h"
#include "shell/helpviewer.h"
#include "model/globals.h"
#include "model/programfolder.h"
#include "model/version.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

using namespace velorix::testing;

namespace {

class ShellWindowsTest : public ::testing::Test
{
protected:
    void TearDown() override { velorix::setPrompter(nullptr); }

    RecordingPrompter *prompts = RecordingPrompter::install();
};

TEST(Splash, ShowsItsTextsCentredClosesAfterTwoSecondsUnlessTheUserTouchesIt)
{
    velorix::frmSplash splash;
    QElapsedTimer clock;
    clock.start();
    splash.show();
    EXPECT_EQ(
            texts(&splash, {"lblProductName", "lblPlatform", "lblVersion"}),
            QStringList({"The Velorix-5 Interface", "for Windows 98/XP/Win7/Win8", velorix::versionText()}));
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.geometry().center(), splash.screen()->availableGeometry().center());

    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.isVisible(); }, 4000));
    EXPECT_GE(clock.elapsed(), 1850); // a coarse timer may end up to 5 % early

    // A key, a click or the focus going elsewhere stops the timer, its only
    // way to close: it stays open until the start-up closes it.
    velorix::frmSplash keyed, clicked, left;
    keyed.show();
    QTest::keyClick(&keyed, Qt::Key_Space);
    EXPECT_FALSE(keyed.splashTimer()->isActive());
    clicked.show();
    QTest::mouseClick(&clicked, Qt::LeftButton);
    EXPECT_FALSE(clicked.splashTimer()->isActive());
    left.show();
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&left, &deactivate);
    EXPECT_FALSE(left.splashTimer()->isActive());
}

TEST_F(ShellWindowsTest, AboutBoxTextsAndSystemInfoStartsAnInstalledToolOrSaysItIsUnavailable)
{
    QTemporaryDir folder;
    const QString tool = folder.filePath("gnome-system-monitor");
    ASSERT_TRUE(QFile(tool).open(QIODevice::WriteOnly));
    QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    velorix::setWorkingPaths("/lab/velorix"); // the About box says where the files go
    velorix::frmAbout about;
    EXPECT_EQ(text(&about, "lblDataFolders"),
              QDir::toNativeSeparators(
                      "Device configuration: /lab/velorix/config/device.ini; data files: /lab/velorix/Data"));
    EXPECT_EQ(about.windowTitle(), "About Velorix");
    EXPECT_EQ(texts(&about, {"lblTitle", "lblVersion", "lblDescription", "cmdSysInfo", "cmdok"}),
              QStringList(
                      {"Velorix", velorix::versionText(),
                       "Velorix connects several Velorix-5 devices to one central data-collection computer.",
                       "&System Info...", "OK"}));
    QStringList started;
    about.systemInfoTool().setSearchPaths({folder.path()});
    about.systemInfoTool().setLauncher([&](const QString &program) {
        started << program;
        return true;
    });
    click(&about, "cmdSysInfo");
    EXPECT_EQ(started, QStringList{tool});
    EXPECT_TRUE(prompts->messages.empty());

    QTemporaryDir empty; // nothing installed
    about.systemInfoTool().setSearchPaths({empty.path()});
    click(&about, "cmdSysInfo");
    EXPECT_EQ(started.size(), 1);
    ASSERT_EQ(prompts->messages.size(), 1);
    EXPECT_EQ(boxLine(prompts->messages.front()),
              "Velorix | System Information Is Unavailable At This Time | Ok, Information");

    about.show();
    click(&about, "cmdok");
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(ShellWindowsTest, HelpManualOpensAtItsContentsInTheProgramsViewerOrSaysItIsMissingAndItsLinksResolve)
{
    velorix::frmMain main;
    main.show();
    EXPECT_EQ(main.helpManualPath(), velorix::programFolder() + "/help/index.html");
    main.findChild<QAction *>("mnuHelpmanual")->trigger();
    ASSERT_TRUE(prompts->messages.empty());

    velorix::HelpViewer *viewer = main.helpViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_EQ(viewer->parentWidget(), &main);
    QTextBrowser *browser = viewer->browser();
    EXPECT_EQ(QFileInfo(browser->source().toLocalFile()).fileName(), "index.html");
    EXPECT_TRUE(browser->toPlainText().contains("Contents"));

    // Wherever the reader went, the menu item returns to the contents.
    browser->setSource(QUrl::fromLocalFile(velorix::programFolder() + "/help/devicescan.html"));
    main.findChild<QAction *>("mnuHelpmanual")->trigger();
    EXPECT_EQ(main.helpViewer(), viewer);
    EXPECT_EQ(QFileInfo(browser->source().toLocalFile()).fileName(), "index.html");

    // The viewer goes with the main window, so the program can end.
    ASSERT_TRUE(main.close());
    EXPECT_FALSE(viewer->isVisible());

    velorix::frmMain missing;
    missing.setHelpManualPath("/nowhere/help/index.html");
    missing.showHelpManual();
    ASSERT_EQ(prompts->messages.size(), 1);
    EXPECT_EQ(boxLine(prompts->messages.front()),
              "Velorix | The help manual could not be found:\n/nowhere/help/index.html | Ok, Exclamation");
    EXPECT_EQ(missing.helpViewer(), nullptr);

    // Every link and picture of the shipped book resolves.
    const QDir book(velorix::programFolder() + "/help");
    const auto read = [&book](const QString &name) {
        QFile file(book.filePath(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QStringList pages = book.entryList({"*.html"}, QDir::Files);
    ASSERT_TRUE(pages.contains("index.html"));
    int checked = 0;
    for (const QString &page : pages) {
        const QRegularExpression reference("(?:href|src)=\"([^\"#]*)#?([^\"]*)\"");
        for (auto match = reference.globalMatch(read(page)); match.hasNext(); ++checked) {
            const auto link = match.next();
            const QString target = link.captured(1).isEmpty() ? page : link.captured(1);
            EXPECT_TRUE(book.exists(target)) << page.toStdString() << " -> " << target.toStdString();
            if (!link.captured(2).isEmpty()) {
                EXPECT_TRUE(read(target).contains("name=\"" + link.captured(2) + '"'))
                        << page.toStdString() << " -> " << link.captured(0).toStdString();
            }
        }
    }
    EXPECT_GT(checked, 20);
}

} // namespace
