#include "shell/childframe.h"

#include <QCloseEvent>
#include <QCoreApplication>

namespace velorix {

ChildFrame::ChildFrame(QWidget *window, QWidget *parent)
    : QMdiSubWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(window);
    window->installEventFilter(this);
}

ChildFrame::~ChildFrame()
{
    // The window goes with the frame; it must not call back into a frame
    // that is half destroyed.
    if (widget())
        widget()->removeEventFilter(this);
}

void ChildFrame::closeEvent(QCloseEvent *event)
{
    // QMdiSubWindow asks the window first and keeps the frame when it refuses.
    m_frameClosing = true;
    QMdiSubWindow::closeEvent(event);
    m_frameClosing = false;
}

bool ChildFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != widget() || event->type() != QEvent::Close || m_frameClosing || m_passingOn)
        return QMdiSubWindow::eventFilter(watched, event);

    // The window asked to close itself. Let it decide as usual, then take
    // the frame along when it agreed.
    m_passingOn = true;
    QCoreApplication::sendEvent(watched, event);
    m_passingOn = false;
    if (event->isAccepted())
        close();
    return true;
}

} // namespace velorix
