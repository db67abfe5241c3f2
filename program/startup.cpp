#include "program/startup.h"

#include "base/delay.h"
#include "model/deviceconfig.h"
#include "shell/frmmain.h"
#include "shell/frmsplash.h"
#include "model/globals.h"
#include "model/programfolder.h"
#include "model/prompter.h"
#include "discovery/windows/frmcomsetup.h"
#include "discovery/windows/frmdevicescan.h"
#include "experiment/core/datarecovery.h"
#include "experiment/core/interruptedsessions.h"
#include "experiment/windows/frmexp.h"
#include "experiment/windows/frmoverview.h"
#include "maintenance/windows/frmaddress.h"
#include "maintenance/windows/frmvelorixtest.h"
#include "study/windows/frmstudyresults.h"

#include <QApplication>
#include <QMdiSubWindow>

namespace velorix {

namespace {

// How often the wait for the port set-up looks at its flag.
constexpr std::int32_t kPortSetupPollMs = 20;

} // namespace

Startup::Startup(StartupOptions options) : m_options(std::move(options)) {}

Startup::~Startup()
{
    delete m_splash;
    delete m_main;
}

frmMain *Startup::mainWindow() const
{
    return m_main;
}

void Startup::Main()
{
    m_splash = new frmSplash;
    m_splash->show();
    QApplication::processEvents(); // let it paint at once

    m_main = new frmMain; // its load restores its place and clears intDiagWindows
    // Closed during one of the waits below, the main window ends the run:
    // nothing may go on waiting for a window nobody sees.
    QObject::connect(m_main, &frmMain::closed, m_main, [this] { m_mainClosed = true; });
    wireMenus();
    m_main->show();

    m_splash->show();
    m_splash->raise();
    inisystem();
}

void Startup::inisystem()
{
    if (m_options.workingFolder.isEmpty())
        setupWorkingPaths();
    else
        setWorkingPaths(m_options.workingFolder);
    const auto announceCopy = [this] { prompter().message(m_main, factoryCopyNotice()); };
    checkfactoryconfig(m_options.factoryFolder.isEmpty() ? programFolder() : m_options.factoryFolder,
                       announceCopy);
    // Lines of device.ini not read as they stand (a value a comma cut, a
    // number out of range) are told, once the splash is gone.
    QStringList configProblems;
    const bool configRead = loaddeviceconfig(&configProblems);
    if (m_splash)
        m_splash->close();
    if (configRead && !configProblems.isEmpty())
        prompter().message(m_main, deviceConfigProblemsNotice(configProblems));

    // Rows an interrupted session left only in a working copy reach their
    // data file before the port set-up and any experiment.
    const DataRecovery recovery = recoverDataFiles(strDataPath);
    if (!recovery.isEmpty())
        prompter().message(m_main, recoveryMessage(recovery));
    // Sessions the program or the computer stopped in the middle: their
    // logs are closed with the runs that have no row, and the operator is
    // told once.
    std::vector<InterruptedSession> interrupted = findInterruptedSessions(strDataPath);
    if (!interrupted.empty()) {
        closeInterruptedSessions(interrupted, [] { return QDateTime::currentDateTime(); });
        prompter().message(m_main, interruptedSessionsMessage(interrupted));
    }

    if (isOver())
        return;
    bolPortSetup = true;
    QPointer<frmcomsetup> portSetup = new frmcomsetup;
    portSetup->setPortPauseMs(m_options.portPauseMs);
    m_main->addChild(portSetup);
    portSetup->load();
    // The port set-up clears the flag when it found a port or was closed;
    // the main window being closed ends the wait too.
    while (bolPortSetup && portSetup && !isOver())
        Delay(kPortSetupPollMs);
    if (portSetup)
        portSetup->close();
    if (isOver())
        return;

    m_main->followRunningExperiments(); // "No Experiment Running" until one starts

    if (!bolCommFound)
        return;
    QPointer<frmdevicescan> scan
            = qobject_cast<frmdevicescan *>(m_main->openWindow(frmMain::MenuItem::DeviceScan));
    if (!scan)
        return;
    scan->devicescan();
    if (scan && !isOver())
        Delay(m_options.scanShownMs);
    if (scan)
        scan->closeWithoutAsking();
}

bool Startup::isOver() const
{
    return !m_main || m_mainClosed;
}

void Startup::wireMenus()
{
    m_main->setWindowFactory(frmMain::MenuItem::ExperimentRun,
                             [this]() -> QWidget * { return frmexp::create(m_main); });
    m_main->setWindowFactory(frmMain::MenuItem::Diagnostics, [this]() -> QWidget * {
        auto *diagnostics = new frmvelorixtest;
        m_main->addChild(diagnostics);
        diagnostics->load();
        return diagnostics;
    });
    m_main->setWindowFactory(frmMain::MenuItem::StudyResults, [this]() -> QWidget * {
        auto *results = new frmStudyResults;
        m_main->addChild(results);
        results->load();
        return results;
    });
    m_main->setWindowFactory(frmMain::MenuItem::ExperimentsOverview,
                             []() -> QWidget * { return new frmoverview; });
    const StartupOptions pacing = m_options;
    m_main->setWindowFactory(frmMain::MenuItem::DeviceScan, [this, pacing]() -> QWidget * {
        auto *scan = new frmdevicescan;
        frmdevicescan::Pacing scanPacing;
        scanPacing.afterResetMs = pacing.scanAfterResetMs;
        scanPacing.perProbeMs = pacing.scanPerProbeMs;
        scan->setPacing(scanPacing);
        QObject::connect(scan, &frmdevicescan::addresserRequested, m_main, [this] { openAddresser(); });
        return scan;
    });
}

void Startup::openAddresser()
{
    // One addresser at a time: a second double-click brings it forward.
    if (m_addresser) {
        m_main->addChild(m_addresser)->setFocus();
        m_addresser->activateWindow();
        return;
    }
    m_addresser = new frmaddress;
    m_main->addChild(m_addresser);
    m_addresser->load();
}

} // namespace velorix
