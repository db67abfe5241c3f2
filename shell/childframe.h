#pragma once

// The frame of one child window in the main window's work area.
//
// The program's windows close themselves (their "Exit" buttons call
// close()). A plain QMdiSubWindow only hides its widget then and stays
// behind as an empty frame; this frame closes with its window instead. A
// window that refuses to close (its closeEvent ignores the event) keeps its
// frame, whichever way the close was asked for.
//
// The window sits in a scroll area inside the frame: a frame made smaller
// than the window's minimum size (by tiling, by the user, by a small
// screen) scrolls the window instead of squashing its controls.

#include <QMdiSubWindow>
#include <QPointer>

namespace velorix {

class ChildFrame final : public QMdiSubWindow
{
    Q_OBJECT

public:
    explicit ChildFrame(QWidget *window, QWidget *parent = nullptr);
    ~ChildFrame() override;

    // The working window this frame holds (not the scroll area around it).
    [[nodiscard]] QWidget *workingWindow() const { return m_window; }

    // The MDI frame that holds `window`, or nullptr.
    [[nodiscard]] static QMdiSubWindow *frameOf(const QWidget *window);
    // The working window in `frame`: a ChildFrame's window, or the widget of
    // any other frame.
    [[nodiscard]] static QWidget *windowIn(const QMdiSubWindow *frame);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
    bool m_frameClosing = false; // the close began at the frame
    bool m_passingOn = false;    // the window's own close event is being delivered
    bool m_windowAgreed = false; // the window has accepted its close already
};

} // namespace velorix
