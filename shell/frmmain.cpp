#include "shell/frmmain.h"

#include "shell/childframe.h"
#include "shell/frmabout.h"
#include "model/globals.h"
#include "shell/helpviewer.h"
#include "model/programfolder.h"
#include "model/prompter.h"
#include "shell/statuspanels.h"
#include "model/version.h"
#include "shell/wheelpicture.h"
#include "shell/windowlistmenu.h"
#include "model/windowplacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

namespace velorix {

namespace {

QMenu *addMenu(QMenuBar *bar, const char *name, const QString &caption)
{
    QMenu *menu = bar->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

template <class Receiver, class Slot>
QAction *addItem(QMenu *menu, const char *name, const QString &caption, Receiver *receiver, Slot slot)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    QObject::connect(item, &QAction::triggered, receiver, slot);
    return item;
}

QAction *addInactiveItem(QMenu *menu, const char *name, const QString &caption)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    item->setEnabled(false);
    return item;
}

QScreen *screenOf(const QWidget *widget)
{
    QScreen *screen = widget->screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent)
    , m_helpManual(programFolder() + QStringLiteral("/help/index.html"))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(programTitle());
    setWindowIcon(wheelIcon());

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);

    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("sbStatusBar"));
    bar->setSizeGripEnabled(true);
    setStatusBar(bar);
    m_status = new StatusPanels(bar);

    buildMenus();
    restorePlacement();
    intDiagWindows = 0;
}

frmMain::~frmMain() = default;

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();

    QMenu *experiment = addMenu(bar, "mnumnuExperiment", QStringLiteral("Experiment"));
    addItem(experiment, "mnumnuExperimentmnurun", QStringLiteral("Run"), this,
            [this] { openWindow(MenuItem::ExperimentRun); });
    addInactiveItem(experiment, "mnumnuExperimentmnuview", QStringLiteral("View"));

    QMenu *tools = addMenu(bar, "mnuTools", QStringLiteral("&Tools"));
    addItem(tools, "mnudevicescan", QStringLiteral("Device Scan"), this,
            [this] { openWindow(MenuItem::DeviceScan); });
    addItem(tools, "mnuToolsmnudiagnostics", QStringLiteral("Diagnostics"), this,
            [this] { openWindow(MenuItem::Diagnostics); });

    QMenu *window = addMenu(bar, "mnuWindow", QStringLiteral("&Window"));
    addItem(window, "mnuWindowCascade", QStringLiteral("&Cascade"), this,
            [this] { arrange(ArrangeStyle::Cascade); });
    addItem(window, "mnuWindowTileHorizontal", QStringLiteral("Tile &Horizontal"), this,
            [this] { arrange(ArrangeStyle::TileHorizontal); });
    addItem(window, "mnuWindowTileVertical", QStringLiteral("Tile &Vertical"), this,
            [this] { arrange(ArrangeStyle::TileVertical); });
    addItem(window, "mnuWindowArrangeIcons", QStringLiteral("&Arrange Icons"), this,
            [this] { arrange(ArrangeStyle::ArrangeIcons); });
    new WindowListMenu(window, m_mdiArea);

    QMenu *help = addMenu(bar, "mnuHelp", QStringLiteral("&Help"));
    addItem(help, "mnuHelpmanual", QStringLiteral("&Help Manual"), this, &frmMain::showHelpManual);
    addInactiveItem(help, "mnuHelpSearchForHelpOn", QStringLiteral("&Search For Help On..."));
    help->addSeparator()->setObjectName(QStringLiteral("mnuHelpBar0"));
    addItem(help, "mnuHelpAbout", QStringLiteral("&About "), this, &frmMain::showAbout);
}

void frmMain::setWindowFactory(MenuItem item, WindowFactory factory)
{
    m_factories[item] = std::move(factory);
}

QWidget *frmMain::openWindow(MenuItem item)
{
    if (item == MenuItem::DeviceScan && m_deviceScan && childWindows().contains(m_deviceScan.data())) {
        // The one scan window is left as it is, only brought forward.
        if (auto *frame = qobject_cast<QMdiSubWindow *>(m_deviceScan->parentWidget()))
            m_mdiArea->setActiveSubWindow(frame);
        return m_deviceScan;
    }

    const auto factory = m_factories.find(item);
    if (factory == m_factories.end() || !factory->second)
        return nullptr;
    QWidget *window = factory->second();
    if (!window)
        return nullptr;
    addChild(window);
    if (item == MenuItem::DeviceScan)
        m_deviceScan = window;
    return window;
}

QMdiSubWindow *frmMain::addChild(QWidget *window)
{
    if (!window)
        return nullptr;
    if (auto *frame = qobject_cast<QMdiSubWindow *>(window->parentWidget());
        frame && frame->mdiArea() == m_mdiArea) {
        return frame;
    }
    auto *frame = new ChildFrame(window);
    m_mdiArea->addSubWindow(frame);
    frame->show();
    window->show();
    return frame;
}

QList<QWidget *> frmMain::childWindows() const
{
    QList<QWidget *> windows;
    const auto frames = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *frame : frames) {
        if (frame->widget())
            windows << frame->widget();
    }
    return windows;
}

QWidget *frmMain::findChildWindow(const QString &objectName) const
{
    for (QWidget *window : childWindows()) {
        if (window->objectName() == objectName)
            return window;
    }
    return nullptr;
}

void frmMain::setStatusText(const QString &text)
{
    m_status->setText(text);
}

QString frmMain::statusText() const
{
    return m_status->text();
}

void frmMain::arrange(ArrangeStyle style)
{
    arrangeChildren(*m_mdiArea, style);
}

void frmMain::setHelpManualPath(const QString &contentsPage)
{
    m_helpManual = contentsPage;
}

void frmMain::showHelpManual()
{
    if (!QFileInfo(m_helpManual).isFile()) {
        prompter().message(this, MessageRequest{QStringLiteral("The help manual could not be found:\n")
                                                    + QDir::toNativeSeparators(m_helpManual),
                                                programTitle(), MessageRequest::Buttons::Ok,
                                                MessageRequest::Icon::Exclamation});
        return;
    }
    if (!m_helpViewer)
        m_helpViewer = new HelpViewer(this);
    m_helpViewer->showContents(m_helpManual);
}

HelpViewer *frmMain::helpViewer() const
{
    return m_helpViewer.data();
}

void frmMain::showAbout()
{
    frmAbout about(this);
    about.exec();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    m_mdiArea->closeAllSubWindows();
    if (!m_mdiArea->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    savePlacement();
    if (m_helpViewer)
        m_helpViewer->close();
    event->accept();
}

void frmMain::restorePlacement()
{
    const QScreen *screen = screenOf(this);
    const double dpiX = screen->logicalDotsPerInchX();
    const double dpiY = screen->logicalDotsPerInchY();
    QRect placement = twipsToPixels(WindowPlacementStore().load(), dpiX, dpiY);

    QList<QRect> screens;
    const auto all = QGuiApplication::screens();
    for (const QScreen *each : all)
        screens << each->availableGeometry();
    placement = keepReachable(placement, screens, twipsToPixels(TwipsRect(), dpiX, dpiY).topLeft());

    move(placement.topLeft());
    resize(placement.size());
}

void frmMain::savePlacement() const
{
    // A minimised window would store a position nobody wants back.
    if (isMinimized())
        return;
    // A maximised one keeps the place it returns to when restored.
    const QRect placement = (isMaximized() || isFullScreen()) ? normalGeometry() : QRect(pos(), size());
    const QScreen *screen = screenOf(this);
    WindowPlacementStore().save(
        pixelsToTwips(placement, screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY()));
}

} // namespace velorix
