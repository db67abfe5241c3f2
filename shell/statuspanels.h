#pragma once

// The main window's status bar: panel 1 a text, panel 2 today's date,
// panel 3 the time of day, both in the system's short formats. A timer
// keeps the date and time current.

#include <QObject>

class QLabel;
class QStatusBar;
class QTimer;

namespace velorix {

class StatusPanels final : public QObject
{
    Q_OBJECT

public:
    // Fills the bar with the three panels; the panels belong to the bar.
    explicit StatusPanels(QStatusBar *bar);

    void setText(const QString &text);
    [[nodiscard]] QString text() const;

    // Shows the clock's present date and time (the timer does this itself).
    void refreshClock();

private:
    QLabel *m_text = nullptr;
    QLabel *m_date = nullptr;
    QLabel *m_time = nullptr;
    QTimer *m_clock = nullptr;
};

} // namespace velorix
