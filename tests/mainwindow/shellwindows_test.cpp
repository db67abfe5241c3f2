// The splash window, the About box and the help manual.
#include "recordingprompter.h"

using velorix::testing::RecordingPrompter;

#include "shell/frmabout.h"
#include "shell/frmmain.h"
#include "shell/frmsplash.h"
#include "shell/helpviewer.h"
#include "model/programfolder.h"
#include "model/version.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

using velorix::MessageRequest;

namespace {

QString labelText(const QWidget &window, const char *name)
{
    const auto *label = window.findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QLatin1String(name));
}

class ShellWindowsTest : public ::testing::Test
{
protected:
    void SetUp() override { prompts = RecordingPrompter::install(); }
    void TearDown() override { velorix::setPrompter(nullptr); }

    RecordingPrompter *prompts = nullptr;
};

TEST(Splash, ShowsItsTextsFramelessAndCentredAndAClickOrLostFocusStopsTheTimer)
{
    velorix::frmSplash splash;
    splash.show();
    EXPECT_EQ(labelText(splash, "lblProductName"), "The Velorix-5 Interface");
    EXPECT_EQ(labelText(splash, "lblPlatform"), "for Windows 98/XP/Win7/Win8");
    EXPECT_EQ(labelText(splash, "lblVersion"), velorix::versionText());
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.geometry().center(), splash.screen()->availableGeometry().center());
    ASSERT_EQ(splash.splashTimer()->objectName(), "tmrsplash");
    EXPECT_EQ(splash.splashTimer()->interval(), 2000);
    ASSERT_TRUE(splash.splashTimer()->isActive());
    QTest::mouseClick(&splash, Qt::LeftButton);
    EXPECT_FALSE(splash.splashTimer()->isActive());
    splash.close();

    velorix::frmSplash left;
    left.show();
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&left, &deactivate);
    EXPECT_FALSE(left.splashTimer()->isActive());
}

TEST(Splash, LeftAloneItClosesItselfAfterTwoSeconds)
{
    velorix::frmSplash splash;
    QElapsedTimer clock;
    clock.start();
    splash.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.isVisible(); }, 4000));
    EXPECT_GE(clock.elapsed(), 1850); // a coarse timer may end up to 5 % early
}

TEST(Splash, AKeyPressKeepsItOpenUntilStartUpClosesIt)
{
    velorix::frmSplash splash;
    splash.show();
    QTest::keyClick(&splash, Qt::Key_Space);
    QTest::qWait(2600);
    EXPECT_TRUE(splash.isVisible());
    splash.close();
}

TEST_F(ShellWindowsTest, AboutBoxTextsAndButtons)
{
    velorix::frmAbout about;
    EXPECT_EQ(about.windowTitle(), "About Velorix");
    EXPECT_EQ(labelText(about, "lblTitle"), "Velorix");
    EXPECT_EQ(labelText(about, "lblVersion"), velorix::versionText());
    EXPECT_EQ(labelText(about, "lblDescription"),
              "Velorix connects several Velorix-5 devices to one central data-collection computer.");
    auto *sysInfo = about.findChild<QPushButton *>("cmdSysInfo");
    auto *ok = about.findChild<QPushButton *>("cmdok");
    ASSERT_TRUE(sysInfo && ok);
    EXPECT_EQ(sysInfo->text(), "&System Info...");
    EXPECT_EQ(ok->text(), "OK");

    about.show();
    ok->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST_F(ShellWindowsTest, SystemInfoStartsAnInstalledToolOrSaysItIsUnavailable)
{
    QTemporaryDir folder;
    QFile tool(folder.filePath("gnome-system-monitor"));
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\n");
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    velorix::frmAbout about;
    QStringList started;
    about.systemInfoTool().setSearchPaths({folder.path()});
    about.systemInfoTool().setLauncher([&](const QString &program) {
        started << program;
        return true;
    });
    auto *button = about.findChild<QPushButton *>("cmdSysInfo");

    button->click();
    EXPECT_EQ(started, QStringList{tool.fileName()});
    EXPECT_TRUE(prompts->messages.empty());

    QTemporaryDir empty; // nothing installed
    about.systemInfoTool().setSearchPaths({empty.path()});
    button->click();
    EXPECT_EQ(started.size(), 1);
    ASSERT_EQ(prompts->messages.size(), 1);
    const MessageRequest &shown = prompts->messages.front();
    EXPECT_EQ(shown.text, "System Information Is Unavailable At This Time");
    EXPECT_EQ(shown.title, "Velorix");
    EXPECT_EQ(shown.icon, MessageRequest::Icon::Information);
    EXPECT_EQ(shown.buttons, MessageRequest::Buttons::Ok);
}

TEST_F(ShellWindowsTest, HelpManualOpensAtItsContentsInTheProgramsViewer)
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
}

TEST_F(ShellWindowsTest, AMissingManualGivesAClearMessage)
{
    velorix::frmMain main;
    main.setHelpManualPath("/nowhere/help/index.html");
    main.showHelpManual();
    ASSERT_EQ(prompts->messages.size(), 1);
    const MessageRequest &shown = prompts->messages.front();
    EXPECT_EQ(shown.text, "The help manual could not be found:\n/nowhere/help/index.html");
    EXPECT_EQ(shown.title, "Velorix");
    EXPECT_EQ(shown.icon, MessageRequest::Icon::Exclamation);
    EXPECT_EQ(main.helpViewer(), nullptr);
}

TEST(HelpManual, EveryLinkAndPictureOfTheShippedBookResolves)
{
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
