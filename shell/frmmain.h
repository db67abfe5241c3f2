#pragma once

// The main window: the frame every working window of the program opens in,
// with the menus that open them, the status bar, and the help and About
// windows. It knows the working windows only through the factories that
// start-up hands it, so it builds without them.

#include "shell/mdiarrange.h"
#include "model/windowplacement.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>

class QMdiArea;
class QMdiSubWindow;

namespace velorix {

class HelpViewer;
class StatusPanels;

class frmMain final : public QMainWindow
{
    Q_OBJECT

public:
    // The menu items that open working windows.
    enum class MenuItem {
        ExperimentRun,       // a new experiment window on every choice
        DeviceScan,          // the one device scan window
        Diagnostics,         // a new diagnostics window on every choice
        StudyResults,        // a new study results window on every choice
        ExperimentsOverview, // the one overview of the experiment windows
    };
    // Makes the window for a menu item (it need not have a parent yet), or
    // returns nullptr when none should open.
    using WindowFactory = std::function<QWidget *()>;

    // Restores the remembered position, size and maximised state and sets
    // intDiagWindows to 0.
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Until an item has a factory, choosing it does nothing.
    void setWindowFactory(MenuItem item, WindowFactory factory);

    // What choosing the item does. Returns the window that was opened or,
    // for the device scan, the one already open (which is only brought to
    // the front); nullptr when no window opened.
    QWidget *openWindow(MenuItem item);

    // Opens a window as a child of the work area and shows it; returns its
    // frame. A window that is a child already keeps its frame. The frame
    // goes when the window closes, also when it closes itself. The new frame
    // opens wholly inside the work area; the main window grows, as far as
    // the screen allows, when the window would not fit, and a frame that
    // still does not fit scrolls its window.
    QMdiSubWindow *addChild(QWidget *window);

    // The open child windows, oldest first.
    [[nodiscard]] QList<QWidget *> childWindows() const;
    // The open child window with this object name, or nullptr.
    [[nodiscard]] QWidget *findChildWindow(const QString &objectName) const;
    // The first open child window of type T, or nullptr.
    template<class T>
    [[nodiscard]] T *childWindow() const
    {
        for (QWidget *window : childWindows()) {
            if (auto *typed = qobject_cast<T *>(window))
                return typed;
        }
        return nullptr;
    }

    [[nodiscard]] QMdiArea *mdiArea() const { return m_mdiArea; }

    // Panel 1 of the status bar.
    void setStatusText(const QString &text);
    [[nodiscard]] QString statusText() const;
    // From now on panel 1 says how many experiments run ("No Experiment
    // Running", "1 Experiment Running", "3 Experiments Running"), kept up
    // to date as runs start and end.
    void followRunningExperiments();
    [[nodiscard]] static QString runningExperimentsText(std::size_t count);

    void arrange(ArrangeStyle style);

    // The operator's manual: <program folder>/help/index.html unless set.
    void setHelpManualPath(const QString &contentsPage);
    [[nodiscard]] QString helpManualPath() const { return m_helpManual; }
    // Opens the manual at its contents, or says that it is missing.
    void showHelpManual();
    [[nodiscard]] HelpViewer *helpViewer() const;

    // The About box, modally.
    void showAbout();

signals:
    // The main window has closed (its children agreed): the program ends.
    void closed();

protected:
    // The child windows close first; when one of them refuses, the main
    // window stays open.
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildMenus();
    void restorePlacement();
    void savePlacement() const;
    // Remembers the place of a window that is neither maximised nor
    // minimised: the one to store (and to come back to) when it is.
    void noteNormalPlace();
    // Neither minimised, maximised nor full screen.
    [[nodiscard]] bool inNormalState() const;
    // Grows the main window, within its screen, so that the work area holds
    // a frame of this size.
    void makeRoomFor(const QSize &frameSize);
    // Moves (and if need be shrinks) a frame into the visible work area.
    void keepInView(QMdiSubWindow *frame) const;
    // The program's name, with the caption of a maximised child after it.
    void showTitle();

    QMdiArea *m_mdiArea = nullptr;
    StatusPanels *m_status = nullptr;
    QPointer<HelpViewer> m_helpViewer;
    QString m_helpManual;
    std::map<MenuItem, WindowFactory> m_factories;
    QPointer<QWidget> m_deviceScan; // the single device scan window, while open
    QPointer<QWidget> m_overview;   // the single experiments overview, while open
    int m_runsTicket = 0;           // following the running experiments, when not 0
    // Sets the title once the frames have settled after a change of state,
    // caption or front window. The toolkit's own joined title goes stale when
    // a maximised child changes its caption (the diagnostics naming its
    // device): restored or closed, the main window kept the old caption.
    // A member, so that frames closing while the window is destroyed no
    // longer reach it.
    QTimer m_titleTimer;

    // The place as read from the settings store, in twips and as the pixels
    // it gave, and the window's normal place now (frame position, client
    // size). A measure the window still has is stored as it was read.
    TwipsRect m_readPlace;
    QRect m_readPixels;
    QRect m_normalPlace;
};

} // namespace velorix
