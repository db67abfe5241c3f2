#pragma once

// A frame that floats over the experiment window (calculator, channel
// labels, channel select, subject ID): it paints its whole area itself,
// title row included, so that the grid below never shows through.

#include <QGroupBox>
#include <QPainter>

namespace velorix {

class FloatingFrame : public QGroupBox
{
public:
    explicit FloatingFrame(const QString &title, QWidget *parent = nullptr) : QGroupBox(title, parent)
    {
        hide();
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        {
            QPainter painter(this);
            painter.fillRect(rect(), palette().window());
        }
        QGroupBox::paintEvent(event);
    }
};

} // namespace velorix
