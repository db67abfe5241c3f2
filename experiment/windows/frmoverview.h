#pragma once

// Window > "Experiments Overview": one row per open experiment window, read
// from what each window shows twice a second, so that four devices' runs
// can be followed on a screen where only one experiment window fits. It
// sends nothing to any device; a double-click brings that window forward.

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <vector>

class QLabel;
class QTableWidget;

namespace velorix {

class frmexp;

class frmoverview final : public QWidget
{
    Q_OBJECT
public:
    explicit frmoverview(QWidget *parent = nullptr);

    // The rows again from the open experiment windows (the timer's work).
    void refreshRows();
    [[nodiscard]] frmexp *windowOfRow(int row) const;

    QTableWidget *grdoverview = nullptr;
    QLabel *lblnone = nullptr; // shown while no experiment window is open

private:
    QTimer m_timer;
    std::vector<QPointer<frmexp>> m_windows; // per row
};

} // namespace velorix
