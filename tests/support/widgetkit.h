#pragma once

// Looking into windows from widget tests.
//
// part<T>(window, "name") finds a child by its object name and fails the
// test when there is none; text(), click() and type() are the common uses.
// waitFor() lets the windows run (a nested event loop that sleeps between
// events, never a busy loop) until a condition holds or the time is up.
// closeFrame() closes a child window the way the user does, by its frame.
// texts() and captions() list the texts of chosen parts or of a menu's
// items, so a test compares them with one table instead of line by line.

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>

namespace velorix::testing {

template<class T = QWidget>
T *part(const QObject *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// The text of a label, box, button or menu item.
inline QString text(const QObject *window, const char *name)
{
    const QObject *found = part<QObject>(window, name);
    return found ? found->property("text").toString() : QString();
}

inline void click(const QObject *window, const char *name)
{
    if (auto *button = part<QAbstractButton>(window, name))
        button->click();
}

inline void type(const QObject *window, const char *box, const QString &text)
{
    if (auto *edit = part<QLineEdit>(window, box))
        edit->setText(text);
}

inline bool waitFor(const std::function<bool()> &done, int milliseconds = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

inline void closeFrame(QWidget *window)
{
    // The frame may hold the window through a scroll area.
    for (QWidget *up = window->parentWidget(); up && !up->isWindow(); up = up->parentWidget()) {
        if (auto *frame = qobject_cast<QMdiSubWindow *>(up)) {
            frame->close();
            return;
        }
    }
}

// The texts of the named parts, in the order named.
inline QStringList texts(const QObject *window, std::initializer_list<const char *> names)
{
    QStringList all;
    for (const char *name : names)
        all << text(window, name);
    return all;
}

// The texts of a menu's items, separators as "-".
inline QStringList captions(const QMenu *menu)
{
    QStringList texts;
    for (const QAction *action : menu->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace velorix::testing
