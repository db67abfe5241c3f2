#include "shell/statuspanels.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QTimer>

namespace velorix {

namespace {

QLabel *makePanel(QStatusBar *bar, const char *name)
{
    auto *panel = new QLabel(bar);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    panel->setContentsMargins(6, 1, 6, 1);
    return panel;
}

} // namespace

StatusPanels::StatusPanels(QStatusBar *bar) : QObject(bar)
{
    m_text = makePanel(bar, "sbStatusBarText");
    m_date = makePanel(bar, "sbStatusBarDate");
    m_time = makePanel(bar, "sbStatusBarTime");
    m_date->setAlignment(Qt::AlignCenter);
    m_time->setAlignment(Qt::AlignCenter);
    // Wide enough for the widest date and time of the locale, so the panels
    // do not twitch as the clock runs.
    const QLocale locale;
    const QFontMetrics metrics(m_date->font());
    const int padding = 2 * m_date->frameWidth() + 16;
    m_date->setMinimumWidth(
            metrics.horizontalAdvance(locale.toString(QDate(2028, 12, 28), QLocale::ShortFormat)) + padding);
    m_time->setMinimumWidth(
            metrics.horizontalAdvance(locale.toString(QTime(23, 58, 58), QLocale::ShortFormat)) + padding);
    // The text panel takes the room the date and time leave.
    bar->addWidget(m_text, 1);
    bar->addPermanentWidget(m_date);
    bar->addPermanentWidget(m_time);

    m_clock = new QTimer(this);
    m_clock->setTimerType(Qt::CoarseTimer);
    connect(m_clock, &QTimer::timeout, this, &StatusPanels::refreshClock);
    refreshClock();
}

void StatusPanels::setText(const QString &text)
{
    m_text->setText(text);
}

QString StatusPanels::text() const
{
    return m_text->text();
}

void StatusPanels::refreshClock()
{
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale locale;
    m_date->setText(locale.toString(now.date(), QLocale::ShortFormat));
    m_time->setText(locale.toString(now.time(), QLocale::ShortFormat));
    // Next tick just after the coming full second, so the minute turns
    // over on time rather than up to a second late.
    m_clock->start(1000 - now.time().msec() + 20);
}

} // namespace velorix
