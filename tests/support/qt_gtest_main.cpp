// GoogleTest entry point with a Qt application object, so that tests can run
// nested event loops (Delay, the link's read) and Qt timers. Widget tests
// build it with VELORIX_TEST_WIDGETS for a QApplication (windows, dialogs,
// focus and key events). Each test program gets a settings store of its
// own, never the user's.
#ifdef VELORIX_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    TestApplication app(argc, argv);
    QTemporaryDir settingsHome;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsHome.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsHome.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
