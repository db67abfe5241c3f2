#include "shell/mdiarrange.h"

#include <QMdiArea>
#include <QMdiSubWindow>

namespace velorix {

namespace {

QList<QMdiSubWindow *> visibleChildren(const QMdiArea &area, bool minimised)
{
    QList<QMdiSubWindow *> result;
    const auto all = area.subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *child : all) {
        if (!child->isHidden() && child->isMinimized() == minimised)
            result << child;
    }
    return result;
}

// Lines the minimised windows up from the bottom-left corner, row above row
// when one row is full; returns the top of the highest row (the area's
// height when nothing is minimised), the space that tiling may use.
int lineUpIcons(QMdiArea &area)
{
    const QRect space = area.viewport()->rect();
    int x = 0;
    int rowBottom = space.height();
    int rowHeight = 0;
    int top = space.height();
    for (QMdiSubWindow *icon : visibleChildren(area, true)) {
        const QSize size = icon->size();
        if (x > 0 && x + size.width() > space.width()) {
            rowBottom -= rowHeight;
            x = 0;
            rowHeight = 0;
        }
        icon->move(x, rowBottom - size.height());
        x += size.width();
        rowHeight = qMax(rowHeight, size.height());
        top = qMin(top, rowBottom - size.height());
    }
    return qMax(top, 0);
}

void tile(QMdiArea &area, Qt::Orientation stacking)
{
    const int usableHeight = lineUpIcons(area);
    const QList<QMdiSubWindow *> windows = visibleChildren(area, false);
    if (windows.isEmpty())
        return;
    const int count = static_cast<int>(windows.size());
    const int width = area.viewport()->width();
    for (int i = 0; i < count; ++i) {
        QMdiSubWindow *window = windows[i];
        if (window->isMaximized())
            window->showNormal();
        QRect slot;
        if (stacking == Qt::Vertical) {
            const int top = usableHeight * i / count;
            slot = QRect(0, top, width, usableHeight * (i + 1) / count - top);
        } else {
            const int left = width * i / count;
            slot = QRect(left, 0, width * (i + 1) / count - left, usableHeight);
        }
        window->setGeometry(slot);
    }
}

} // namespace

void arrangeChildren(QMdiArea &area, ArrangeStyle style)
{
    switch (style) {
    case ArrangeStyle::Cascade: area.cascadeSubWindows(); break;
    case ArrangeStyle::TileHorizontal: tile(area, Qt::Vertical); break;
    case ArrangeStyle::TileVertical: tile(area, Qt::Horizontal); break;
    case ArrangeStyle::ArrangeIcons: lineUpIcons(area); break;
    }
}

} // namespace velorix
