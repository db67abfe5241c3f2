#include "shell/frmsplash.h"

#include "model/version.h"
#include "shell/wheelpicture.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace velorix {

namespace {

constexpr int kSplashMs = 2000;

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, qreal scale, bool bold)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

} // namespace

frmSplash::frmSplash(QWidget *parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(programTitle());
    setFocusPolicy(Qt::StrongFocus);

    // A framed panel, since the window itself has no frame.
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("fraMainFrame"));
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setLineWidth(1);

    auto *picture = new WheelPicture(150, panel);
    picture->setObjectName(QStringLiteral("imgLogo"));

    auto *product = makeLabel(panel, "lblProductName", QStringLiteral("The Velorix-5 Interface"), 1.9, true);
    auto *platform
            = makeLabel(panel, "lblPlatform", QStringLiteral("for Windows 98/XP/Win7/Win8"), 1.1, false);
    m_lblVersion = makeLabel(panel, "lblVersion", versionText(), 1.0, false);

    auto *texts = new QVBoxLayout;
    texts->addStretch(1);
    texts->addWidget(product);
    texts->addWidget(platform);
    texts->addSpacing(18);
    texts->addWidget(m_lblVersion);
    texts->addStretch(1);

    auto *inner = new QHBoxLayout(panel);
    inner->setContentsMargins(24, 20, 32, 20);
    inner->setSpacing(24);
    inner->addWidget(picture, 0, Qt::AlignVCenter);
    inner->addLayout(texts, 1);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(panel);

    m_tmrsplash = new QTimer(this);
    m_tmrsplash->setObjectName(QStringLiteral("tmrsplash"));
    m_tmrsplash->setInterval(kSplashMs);
    m_tmrsplash->setSingleShot(true);
    connect(m_tmrsplash, &QTimer::timeout, this, &QWidget::close);
}

void frmSplash::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_loaded)
        return;
    m_loaded = true;
    adjustSize();
    if (const QScreen *where = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect box = rect();
        box.moveCenter(where->availableGeometry().center());
        move(box.topLeft());
    }
    m_tmrsplash->start();
}

bool frmSplash::event(QEvent *event)
{
    if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::FocusOut)
        holdOpen();
    return QWidget::event(event);
}

void frmSplash::keyPressEvent(QKeyEvent *event)
{
    holdOpen();
    QWidget::keyPressEvent(event);
}

void frmSplash::mousePressEvent(QMouseEvent *event)
{
    holdOpen();
    QWidget::mousePressEvent(event);
}

void frmSplash::holdOpen()
{
    m_tmrsplash->stop();
}

} // namespace velorix
