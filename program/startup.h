#pragma once

// The program's start-up: from the splash window to an idle main window with
// the serial port chosen and, when a device answered, the device table
// refreshed by a scan of the configured devices.

#include <QPointer>
#include <QString>

#include <cstdint>

namespace velorix {

class frmMain;
class frmSplash;
class frmaddress;

// What tests change about the start-up; the program uses the defaults.
struct StartupOptions
{
    // Where the factory copies are and where config/ and Data/ go; empty:
    // the program folder and the working folder of the installation.
    QString factoryFolder;
    QString workingFolder;

    std::int32_t portPauseMs = 1000;      // the port set-up's pause per port
    std::int32_t scanAfterResetMs = 1000; // the scan's pause after the bus reset
    std::int32_t scanPerProbeMs = 100;
    std::int32_t scanShownMs = 2000; // the scan window stays this long
};

// The windows of one run of the program. Main() fills it; it owns the main
// window and the splash.
class Startup
{
public:
    explicit Startup(StartupOptions options = {});
    ~Startup();
    Startup(const Startup &) = delete;
    Startup &operator=(const Startup &) = delete;

    // Splash, main window, splash in front again, then inisystem().
    void Main();
    // Paths, configuration, port set-up and its wait, status text, and the
    // start-up scan when a device answered.
    void inisystem();

    [[nodiscard]] frmMain *mainWindow() const;
    // The main window is gone or was closed: the program has nothing left
    // to show and ends.
    [[nodiscard]] bool isOver() const;

private:
    // Gives each menu item of the main window the window it opens.
    void wireMenus();
    void openAddresser();

    StartupOptions m_options;
    QPointer<frmMain> m_main;
    QPointer<frmSplash> m_splash;
    QPointer<frmaddress> m_addresser;
    bool m_mainClosed = false;
};

} // namespace velorix
