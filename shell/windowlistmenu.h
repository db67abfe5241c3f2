#pragma once

// The list of open child windows at the end of the Window menu. It is built
// afresh each time the menu opens, so it always shows the windows as they
// are; choosing an entry brings that window to the front.

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QMdiArea;
class QMenu;

namespace velorix {

class WindowListMenu final : public QObject
{
    Q_OBJECT

public:
    // The entries follow whatever the menu already holds.
    WindowListMenu(QMenu *menu, QMdiArea *area);

    void rebuild();

private:
    QMenu *m_menu = nullptr;
    QMdiArea *m_area = nullptr;
    QList<QPointer<QAction>> m_entries; // separator first, then one per window
};

} // namespace velorix
