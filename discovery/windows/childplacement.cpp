#include "discovery/windows/childplacement.h"

#include <QMdiSubWindow>
#include <QWidget>

#include <algorithm>

namespace velorix {

QWidget *placedFrame(QWidget *window)
{
    // The frame may hold the window through a scroll area of its own.
    for (QWidget *up = window->parentWidget(); up; up = up->parentWidget()) {
        if (auto *frame = qobject_cast<QMdiSubWindow *>(up))
            return frame;
        if (up->isWindow())
            break;
    }
    return window;
}

void centreOverMainWindow(QWidget *window)
{
    QWidget *frame = placedFrame(window);
    QWidget *over = frame->parentWidget();
    if (!over)
        return;
    const QSize own = frame->isWindow() ? frame->frameGeometry().size() : frame->size();
    if (frame->isWindow()) {
        // A top-level window with an owner: centre in screen coordinates.
        const QRect area = over->window()->frameGeometry();
        frame->move(area.left() + area.width() / 2 - own.width() / 2,
                    area.top() + area.height() / 2 - own.height() / 2);
        return;
    }
    const int left = over->width() / 2 - own.width() / 2;
    const int top = over->height() / 2 - own.height() / 2;
    frame->move(std::max(0, left), std::max(0, top));
}

void showWithFrame(QWidget *window)
{
    QWidget *frame = placedFrame(window);
    if (frame != window)
        frame->show();
    window->show();
}

} // namespace velorix
