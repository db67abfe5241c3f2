#include "shell/windowlistmenu.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

namespace velorix {

WindowListMenu::WindowListMenu(QMenu *menu, QMdiArea *area) : QObject(menu), m_menu(menu), m_area(area)
{
    connect(menu, &QMenu::aboutToShow, this, &WindowListMenu::rebuild);
}

void WindowListMenu::rebuild()
{
    for (const QPointer<QAction> &entry : std::as_const(m_entries))
        delete entry.data();
    m_entries.clear();

    QList<QMdiSubWindow *> windows;
    const auto all = m_area->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *window : all) {
        if (!window->isHidden())
            windows << window;
    }
    if (windows.isEmpty())
        return;

    m_entries << m_menu->addSeparator();
    QMdiSubWindow *current = m_area->currentSubWindow();
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow *window = windows[i];
        // The first nine get their number as access key.
        QString title = window->windowTitle();
        title.replace(QLatin1Char('&'), QLatin1String("&&"));
        const QString caption = i < 9 ? QStringLiteral("&%1 %2").arg(i + 1).arg(title)
                                      : QStringLiteral("%1 %2").arg(i + 1).arg(title);
        QAction *entry = m_menu->addAction(caption);
        entry->setCheckable(true);
        entry->setChecked(window == current);
        QPointer<QMdiSubWindow> target(window);
        connect(entry, &QAction::triggered, this, [this, target] {
            if (target)
                m_area->setActiveSubWindow(target);
        });
        m_entries << entry;
    }
}

} // namespace velorix
