#include "shell/childframe.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QScrollArea>

namespace velorix {

namespace {

// Asks for the room the whole window needs, so that a frame opens without
// scroll bars where the work area allows it (a plain scroll area asks for
// a fixed modest size whatever it holds).
class WindowScroller final : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;

    QSize sizeHint() const override
    {
        const QWidget *window = widget();
        if (!window)
            return QScrollArea::sizeHint();
        const int frame = 2 * frameWidth();
        return window->sizeHint().expandedTo(window->minimumSizeHint()).expandedTo(window->minimumSize())
                + QSize(frame, frame);
    }
};

} // namespace

ChildFrame::ChildFrame(QWidget *window, QWidget *parent) : QMdiSubWindow(parent), m_window(window)
{
    setAttribute(Qt::WA_DeleteOnClose);

    auto *scroller = new WindowScroller;
    scroller->setObjectName(QStringLiteral("childScroller"));
    scroller->setFrameShape(QFrame::NoFrame);
    // The window fills the frame and is never made smaller than its minimum.
    scroller->setWidgetResizable(true);
    scroller->setWidget(window);
    scroller->setFocusProxy(window);
    // The frame's caption is its window's, and so is its icon when the
    // window has one of its own (else the main window's shows).
    scroller->setWindowTitle(window->windowTitle());
    if (window->testAttribute(Qt::WA_SetWindowIcon))
        scroller->setWindowIcon(window->windowIcon());
    connect(window, &QWidget::windowTitleChanged, scroller, &QWidget::setWindowTitle);
    connect(window, &QWidget::windowIconChanged, scroller, [scroller, window](const QIcon &icon) {
        if (window->testAttribute(Qt::WA_SetWindowIcon))
            scroller->setWindowIcon(icon);
    });
    setWidget(scroller);
    window->installEventFilter(this);
}

ChildFrame::~ChildFrame()
{
    // The window goes with the frame; it must not call back into a frame
    // that is half destroyed.
    if (m_window)
        m_window->removeEventFilter(this);
}

QMdiSubWindow *ChildFrame::frameOf(const QWidget *window)
{
    for (QWidget *up = window ? window->parentWidget() : nullptr; up; up = up->parentWidget()) {
        if (auto *frame = qobject_cast<QMdiSubWindow *>(up))
            return frame;
        if (up->isWindow())
            break;
    }
    return nullptr;
}

QWidget *ChildFrame::windowIn(const QMdiSubWindow *frame)
{
    if (const auto *own = qobject_cast<const ChildFrame *>(frame))
        return own->workingWindow();
    return frame ? frame->widget() : nullptr;
}

void ChildFrame::closeEvent(QCloseEvent *event)
{
    // The window is asked first and keeps the frame when it refuses.
    m_frameClosing = true;
    const bool agreed = m_windowAgreed || !m_window || m_window->close();
    m_frameClosing = false;
    if (!agreed) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

bool ChildFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Close || m_frameClosing || m_passingOn)
        return QMdiSubWindow::eventFilter(watched, event);

    // The window asked to close itself. Let it decide as usual, then take
    // the frame along when it agreed.
    m_passingOn = true;
    QCoreApplication::sendEvent(watched, event);
    m_passingOn = false;
    if (event->isAccepted()) {
        m_windowAgreed = true;
        close();
    }
    return true;
}

} // namespace velorix
