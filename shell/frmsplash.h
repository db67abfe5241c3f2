#pragma once

// The splash window of the start-up: title, picture and version. It closes
// itself after two seconds, unless the operator has touched it (a key, a
// click, or another window taking the focus); then it stays until start-up
// closes it.

#include <QWidget>

class QLabel;
class QTimer;

namespace velorix {

class frmSplash final : public QWidget
{
    Q_OBJECT

public:
    explicit frmSplash(QWidget *parent = nullptr);

    [[nodiscard]] QTimer *splashTimer() const { return m_tmrsplash; }

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void holdOpen();

    QTimer *m_tmrsplash = nullptr;
    QLabel *m_lblVersion = nullptr;
    bool m_loaded = false; // the timer runs from the first showing on
};

} // namespace velorix
