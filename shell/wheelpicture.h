#pragma once

// The program's picture: a running wheel on its stand, drawn rather than
// shipped so that it is sharp at any size. The splash window shows it large;
// the windows use it as their icon.

#include <QIcon>
#include <QWidget>

class QPainter;
class QRectF;

namespace velorix {

void paintWheel(QPainter &painter, const QRectF &box);
[[nodiscard]] QIcon wheelIcon();

class WheelPicture final : public QWidget
{
    Q_OBJECT

public:
    explicit WheelPicture(int side, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace velorix
