#pragma once

// The frame of one child window in the main window's work area.
//
// The program's windows close themselves (their "Exit" buttons call
// close()). A plain QMdiSubWindow only hides its widget then and stays
// behind as an empty frame; this frame closes with its window instead. A
// window that refuses to close (its closeEvent ignores the event) keeps its
// frame, whichever way the close was asked for.

#include <QMdiSubWindow>

namespace velorix {

class ChildFrame final : public QMdiSubWindow
{
    Q_OBJECT

public:
    explicit ChildFrame(QWidget *window, QWidget *parent = nullptr);
    ~ChildFrame() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool m_frameClosing = false;  // the close began at the frame
    bool m_passingOn = false;     // the window's own close event is being delivered
};

} // namespace velorix
