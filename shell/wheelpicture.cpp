#include "shell/wheelpicture.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <QtMath>

namespace velorix {

namespace {

const QColor kSteel(46, 84, 128);
const QColor kSteelLight(120, 160, 205);
const QColor kRung(70, 110, 155);
const QColor kStand(90, 96, 104);

} // namespace

void paintWheel(QPainter &painter, const QRectF &box)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    const qreal side = qMin(box.width(), box.height());
    const QPointF centre(box.center().x(), box.top() + side * 0.44);
    const qreal radius = side * 0.40;
    const qreal rim = qMax<qreal>(1.5, side * 0.035);

    // The stand: two legs from the axle to a foot plate.
    QPen standPen(kStand, qMax<qreal>(1.5, side * 0.045), Qt::SolidLine, Qt::RoundCap);
    painter.setPen(standPen);
    const qreal footY = box.top() + side * 0.95;
    painter.drawLine(centre, QPointF(centre.x() - radius * 0.62, footY));
    painter.drawLine(centre, QPointF(centre.x() + radius * 0.62, footY));
    painter.drawLine(QPointF(centre.x() - radius * 0.80, footY), QPointF(centre.x() + radius * 0.80, footY));

    // The running surface: a light disc inside the rim.
    QRadialGradient glow(centre, radius);
    glow.setColorAt(0.0, QColor(245, 249, 253));
    glow.setColorAt(1.0, QColor(208, 224, 240));
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);

    // Rungs all round the rim, as seen on the tread of a wheel.
    const int rungs = 36;
    painter.setPen(QPen(kRung, qMax<qreal>(1.0, side * 0.012)));
    for (int i = 0; i < rungs; ++i) {
        const qreal angle = 2 * M_PI * i / rungs;
        const QPointF direction(qCos(angle), qSin(angle));
        painter.drawLine(centre + direction * (radius * 0.86), centre + direction * radius);
    }

    // Spokes from the hub.
    painter.setPen(QPen(kSteel, qMax<qreal>(1.2, side * 0.022), Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 6; ++i) {
        const qreal angle = M_PI / 6 + M_PI * i / 3;
        painter.drawLine(centre, centre + QPointF(qCos(angle), qSin(angle)) * (radius * 0.86));
    }

    // Outer and inner rim.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kSteel, rim));
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(QPen(kSteelLight, rim * 0.5));
    painter.drawEllipse(centre, radius * 0.86, radius * 0.86);

    // The hub.
    painter.setPen(QPen(kSteel, rim * 0.6));
    painter.setBrush(kSteelLight);
    painter.drawEllipse(centre, side * 0.06, side * 0.06);

    painter.restore();
}

QIcon wheelIcon()
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintWheel(painter, QRectF(0, 0, side, side));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

WheelPicture::WheelPicture(int side, QWidget *parent) : QWidget(parent)
{
    setFixedSize(side, side);
}

void WheelPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintWheel(painter, QRectF(rect()));
}

} // namespace velorix
