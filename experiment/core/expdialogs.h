#pragma once

// The dialogs a core procedure shows for a window: they go through the
// prompter with the window as their parent, and after each one the
// procedure asks whether the window is still open (it may be closed while
// a dialog waits) before it touches anything more.

#include "model/prompter.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace velorix {

class DialogOwner
{
public:
    // No window: dialogs without a parent, and never gone.
    DialogOwner() = default;
    // The window as a widget (the dialogs' parent) and as an object (whose
    // end is watched); a window passes itself twice.
    DialogOwner(QWidget *widget, QObject *window) : m_widget(widget), m_window(window), m_watched(true) {}

    [[nodiscard]] bool gone() const { return m_watched && m_window.isNull(); }
    MessageAnswer ask(const MessageRequest &request) const { return prompter().message(m_widget, request); }
    [[nodiscard]] QString fileName(const FileRequest &request) const
    {
        return prompter().fileName(m_widget, request);
    }

private:
    QWidget *m_widget = nullptr;
    QPointer<QObject> m_window;
    bool m_watched = false;
};

// What the user is told when a file could not be chosen, read or written.
[[nodiscard]] inline MessageRequest fileAccessError()
{
    return MessageRequest{QStringLiteral("File Access Error!"), QStringLiteral("File Error!"),
                          MessageRequest::Buttons::Ok, MessageRequest::Icon::Critical};
}

} // namespace velorix
