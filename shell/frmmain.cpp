#include "shell/frmmain.h"

#include "shell/childframe.h"
#include "shell/frmabout.h"
#include "model/globals.h"
#include "shell/helpviewer.h"
#include "model/programfolder.h"
#include "model/prompter.h"
#include "model/runningexperiments.h"
#include "shell/statuspanels.h"
#include "model/version.h"
#include "shell/wheelpicture.h"
#include "shell/windowlistmenu.h"
#include "model/windowplacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
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

template<class Receiver, class Slot>
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
    : QMainWindow(parent), m_helpManual(programFolder() + QStringLiteral("/help/index.html"))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(programTitle());
    // The program's icon for every window and dialog that names none of its
    // own, not the toolkit's logo.
    QApplication::setWindowIcon(wheelIcon());
    setWindowIcon(QApplication::windowIcon());

    m_mdiArea = new QMdiArea(this);
    m_mdiArea->setObjectName(QStringLiteral("mdiArea"));
    m_mdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdiArea);
    m_titleTimer.setSingleShot(true);
    m_titleTimer.setInterval(0);
    connect(&m_titleTimer, &QTimer::timeout, this, &frmMain::showTitle);
    connect(m_mdiArea, &QMdiArea::subWindowActivated, &m_titleTimer, qOverload<>(&QTimer::start));

    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("sbStatusBar"));
    bar->setSizeGripEnabled(true);
    setStatusBar(bar);
    m_status = new StatusPanels(bar);

    buildMenus();
    restorePlacement();
    intDiagWindows = 0;
}

frmMain::~frmMain()
{
    if (m_runsTicket)
        runningExperiments().unwatch(m_runsTicket);
}

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();

    // The keyboard's way out: the same as closing the window, questions
    // of busy child windows included.
    QMenu *file = addMenu(bar, "mnuFile", QStringLiteral("&File"));
    QAction *exit = addItem(file, "mnuFileExit", QStringLiteral("E&xit"), this, [this] { close(); });
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    exit->setMenuRole(QAction::QuitRole);

    QMenu *experiment = addMenu(bar, "mnumnuExperiment", QStringLiteral("Experiment"));
    addItem(experiment, "mnumnuExperimentmnurun", QStringLiteral("Run"), this,
            [this] { openWindow(MenuItem::ExperimentRun); });
    addInactiveItem(experiment, "mnumnuExperimentmnuview", QStringLiteral("View"));

    QMenu *tools = addMenu(bar, "mnuTools", QStringLiteral("&Tools"));
    addItem(tools, "mnudevicescan", QStringLiteral("Device Scan"), this,
            [this] { openWindow(MenuItem::DeviceScan); });
    addItem(tools, "mnuToolsmnudiagnostics", QStringLiteral("Diagnostics"), this,
            [this] { openWindow(MenuItem::Diagnostics); });
    tools->addSeparator()->setObjectName(QStringLiteral("mnuToolsBar0"));
    addItem(tools, "mnuToolsStudyResults", QStringLiteral("Study Results"), this,
            [this] { openWindow(MenuItem::StudyResults); });

    QMenu *window = addMenu(bar, "mnuWindow", QStringLiteral("&Window"));
    addItem(window, "mnuWindowCascade", QStringLiteral("&Cascade"), this,
            [this] { arrange(ArrangeStyle::Cascade); });
    addItem(window, "mnuWindowTileHorizontal", QStringLiteral("Tile &Horizontal"), this,
            [this] { arrange(ArrangeStyle::TileHorizontal); });
    addItem(window, "mnuWindowTileVertical", QStringLiteral("Tile &Vertical"), this,
            [this] { arrange(ArrangeStyle::TileVertical); });
    addItem(window, "mnuWindowArrangeIcons", QStringLiteral("&Arrange Icons"), this,
            [this] { arrange(ArrangeStyle::ArrangeIcons); });
    window->addSeparator()->setObjectName(QStringLiteral("mnuWindowBar0"));
    addItem(window, "mnuWindowOverview", QStringLiteral("Experiments &Overview"), this,
            [this] { openWindow(MenuItem::ExperimentsOverview); });
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
    QPointer<QWidget> *single = item == MenuItem::DeviceScan ? &m_deviceScan
            : item == MenuItem::ExperimentsOverview          ? &m_overview
                                                             : nullptr;
    if (single && *single && childWindows().contains(single->data())) {
        // The one scan window (or overview) is left as it is, only brought forward.
        if (QMdiSubWindow *frame = ChildFrame::frameOf(*single))
            m_mdiArea->setActiveSubWindow(frame);
        return *single;
    }

    const auto factory = m_factories.find(item);
    if (factory == m_factories.end() || !factory->second)
        return nullptr;
    QWidget *window = factory->second();
    if (!window)
        return nullptr;
    addChild(window);
    if (single)
        *single = window;
    return window;
}

QMdiSubWindow *frmMain::addChild(QWidget *window)
{
    if (!window)
        return nullptr;
    if (QMdiSubWindow *frame = ChildFrame::frameOf(window); frame && frame->mdiArea() == m_mdiArea)
        return frame;
    auto *frame = new ChildFrame(window);
    const auto titleLater = qOverload<>(&QTimer::start);
    connect(frame, &QMdiSubWindow::windowTitleChanged, &m_titleTimer, titleLater);
    connect(frame, &QMdiSubWindow::windowStateChanged, &m_titleTimer, titleLater);
    connect(frame, &QObject::destroyed, &m_titleTimer, titleLater);
    // Room first, so that the work area places the frame in its final size;
    // the style's fonts and margins count, hence polished first.
    frame->ensurePolished();
    makeRoomFor(frame->sizeHint());
    m_mdiArea->addSubWindow(frame);
    frame->show();
    window->show();
    // Shown, a window may want more than it said before (its own show
    // handler fills it): the whole of it where the screen allows.
    makeRoomFor(frame->sizeHint());
    const QSize wanted = frame->size().expandedTo(frame->sizeHint().boundedTo(m_mdiArea->viewport()->size()));
    if (isVisible() && wanted != frame->size())
        frame->resize(wanted);
    keepInView(frame);
    return frame;
}

void frmMain::makeRoomFor(const QSize &frameSize)
{
    if (!isVisible() || !inNormalState())
        return;
    const QSize space = m_mdiArea->viewport()->size();
    const QSize missing(qMax(0, frameSize.width() - space.width()),
                        qMax(0, frameSize.height() - space.height()));
    if (missing.isNull())
        return;
    const QRect screen = screenOf(this)->availableGeometry();
    const QRect outer = frameGeometry();
    const QSize decoration = outer.size() - size(); // title bar and borders
    const QSize grown = (size() + missing).boundedTo(screen.size() - decoration);
    const QSize outerGrown = grown + decoration;
    // The grown window stays wholly on its screen.
    const QPoint at(qMax(screen.left(), qMin(outer.left(), screen.right() + 1 - outerGrown.width())),
                    qMax(screen.top(), qMin(outer.top(), screen.bottom() + 1 - outerGrown.height())));
    resize(grown);
    if (at != outer.topLeft())
        move(at);
}

void frmMain::keepInView(QMdiSubWindow *frame) const
{
    if (!isVisible() || frame->isMaximized() || frame->isMinimized())
        return;
    const QSize space = m_mdiArea->viewport()->size();
    // Too big even now: the frame takes the whole area and its window scrolls.
    const QSize size = frame->size().boundedTo(space).expandedTo(frame->minimumSize());
    if (size != frame->size())
        frame->resize(size);
    const QPoint at(qMax(0, qMin(frame->x(), space.width() - size.width())),
                    qMax(0, qMin(frame->y(), space.height() - size.height())));
    if (at != frame->pos())
        frame->move(at);
}

void frmMain::showTitle()
{
    QString title = programTitle();
    const auto frames = m_mdiArea->subWindowList();
    for (const QMdiSubWindow *frame : frames) {
        if (frame->isMaximized() && frame->isVisible() && !frame->windowTitle().isEmpty()) {
            title += QStringLiteral(" - [%1]").arg(frame->windowTitle());
            break;
        }
    }
    if (windowTitle() != title)
        setWindowTitle(title);
}

QList<QWidget *> frmMain::childWindows() const
{
    QList<QWidget *> windows;
    const auto frames = m_mdiArea->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *frame : frames) {
        if (QWidget *window = ChildFrame::windowIn(frame))
            windows << window;
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

QString frmMain::runningExperimentsText(std::size_t count)
{
    if (count == 0)
        return QStringLiteral("No Experiment Running");
    return count == 1 ? QStringLiteral("1 Experiment Running")
                      : QStringLiteral("%1 Experiments Running").arg(count);
}

void frmMain::followRunningExperiments()
{
    const auto show = [this] { setStatusText(runningExperimentsText(runningExperiments().count())); };
    if (!m_runsTicket)
        m_runsTicket = runningExperiments().watch(show);
    show();
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
        prompter().message(this,
                           MessageRequest{QStringLiteral("The help manual could not be found:\n")
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
    emit closed();
}

void frmMain::moveEvent(QMoveEvent *event)
{
    QMainWindow::moveEvent(event);
    noteNormalPlace();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    noteNormalPlace();
}

bool frmMain::inNormalState() const
{
    return !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

void frmMain::noteNormalPlace()
{
    if (!isVisible() || !inNormalState())
        return;
    // pos() is the outer frame's corner, size() the client's: the pair that
    // move() and resize() take back at the next start.
    m_normalPlace = QRect(pos(), size());
}

void frmMain::restorePlacement()
{
    const QScreen *screen = screenOf(this);
    const double dpiX = screen->logicalDotsPerInchX();
    const double dpiY = screen->logicalDotsPerInchY();
    const MainPlacement stored = WindowPlacementStore().load();
    m_readPlace = stored.place;
    m_readPixels = twipsToPixels(stored.place, dpiX, dpiY);

    QList<QRect> screens;
    const auto all = QGuiApplication::screens();
    for (const QScreen *each : all)
        screens << each->availableGeometry();
    const QRect placement
            = keepReachable(m_readPixels, screens, twipsToPixels(TwipsRect(), dpiX, dpiY).topLeft());

    move(placement.topLeft());
    resize(placement.size());
    m_normalPlace = placement;
    // Shown maximised, with the normal place to return to.
    if (stored.maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void frmMain::savePlacement() const
{
    // A minimised window would store a position nobody wants back.
    if (isMinimized())
        return;
    // A maximised one stores the place it returns to when restored, and
    // that it was maximised.
    const QRect place = inNormalState() ? QRect(pos(), size()) : m_normalPlace;
    const QScreen *screen = screenOf(this);
    WindowPlacementStore().save(
            MainPlacement{placementToStore(place, m_readPixels, m_readPlace, screen->logicalDotsPerInchX(),
                                           screen->logicalDotsPerInchY()),
                          isMaximized()});
}

} // namespace velorix
