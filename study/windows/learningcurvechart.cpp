#include "study/windows/learningcurvechart.h"

#include "base/safefile.h"

#include <QBuffer>
#include <QChart>
#include <QGraphicsScene>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <map>

namespace velorix {

namespace {

const std::array<QColor, 8> kGroupColours{QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                          QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                                          QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
                                          QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f)};

void hideFromLegend(QChart *chart, QAbstractSeries *series)
{
    for (QLegendMarker *marker : chart->legend()->markers(series))
        marker->setVisible(false);
}

void attach(QChart *chart, QAbstractSeries *series, QValueAxis *x, QValueAxis *y)
{
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

// One standard-error bar with its caps, as one line: top cap, upright,
// bottom cap.
QLineSeries *errorBar(double x, double mean, double sem, const QColor &colour)
{
    constexpr double kCap = 0.06;
    auto *bar = new QLineSeries;
    bar->append({QPointF(x - kCap, mean + sem), QPointF(x + kCap, mean + sem), QPointF(x, mean + sem),
                 QPointF(x, mean - sem), QPointF(x - kCap, mean - sem), QPointF(x + kCap, mean - sem)});
    bar->setPen(QPen(colour, 1.5));
    return bar;
}

} // namespace

QChart *makeLearningCurveChart(const std::vector<Curve> &curves, const QString &axisTitle)
{
    auto *chart = new QChart;
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto *x = new QValueAxis;
    x->setTitleText(axisTitle);
    x->setLabelFormat(QStringLiteral("%.0f"));
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(1);
    x->setTickInterval(1);
    auto *y = new QValueAxis;
    y->setTitleText(QStringLiteral("Latency to fall (s)"));
    y->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);

    std::map<QString, QColor> colours;
    int groups = 0;
    for (const Curve &curve : curves) {
        if (!curve.subject)
            colours.emplace(curve.group, kGroupColours[std::size_t(groups++) % kGroupColours.size()]);
    }
    double lastX = 1;
    double top = 1;
    int groupIndex = 0;
    // The subjects' lines first, so that the groups' are drawn over them.
    std::vector<const Curve *> order;
    for (const Curve &curve : curves)
        if (curve.subject)
            order.push_back(&curve);
    for (const Curve &curve : curves)
        if (!curve.subject)
            order.push_back(&curve);
    for (const Curve *curve : order) {
        const auto found = colours.find(curve->group);
        QColor colour = found == colours.end() ? QColor(0x7f, 0x7f, 0x7f) : found->second;
        // Groups side by side at a point, so that their bars do not hide each other.
        const double shift = curve->subject ? 0 : (groupIndex++ - (groups - 1) / 2.0) * 0.08;
        auto *line = new QLineSeries;
        line->setName(curve->name);
        for (const CurvePoint &point : curve->points) {
            line->append(point.x + shift, point.mean);
            lastX = std::max(lastX, point.x);
            top = std::max(top, point.mean + point.sem.value_or(0));
        }
        if (curve->subject) {
            colour.setAlpha(70);
            line->setPen(QPen(colour, 1));
            attach(chart, line, x, y);
            hideFromLegend(chart, line);
            continue;
        }
        line->setPen(QPen(colour, 2.5));
        attach(chart, line, x, y);
        auto *dots = new QScatterSeries;
        dots->setMarkerSize(8);
        dots->setColor(colour);
        dots->setBorderColor(colour.darker(130));
        for (const CurvePoint &point : curve->points) {
            dots->append(point.x + shift, point.mean);
            if (point.sem) {
                QLineSeries *bar = errorBar(point.x + shift, point.mean, *point.sem, colour);
                attach(chart, bar, x, y);
                hideFromLegend(chart, bar);
            }
        }
        attach(chart, dots, x, y);
        hideFromLegend(chart, dots);
    }
    x->setRange(0.5, lastX + 0.5);
    y->setRange(0, top * 1.05);
    y->applyNiceNumbers();
    return chart;
}

bool saveLearningCurve(const std::vector<Curve> &curves, const QString &axisTitle, const QString &path,
                       QString *why, QSize size)
{
    QGraphicsScene scene;
    QChart *chart = makeLearningCurveChart(curves, axisTitle);
    scene.addItem(chart); // the scene owns it from here
    chart->resize(size);
    const QRectF area(QPointF(0, 0), QSizeF(size));
    QByteArray bytes;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setTitle(QStringLiteral("Learning curve"));
        QPainter painter(&svg);
        scene.render(&painter, area, area);
    } else {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            scene.render(&painter, area, area);
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) {
            if (why)
                *why = QStringLiteral("the image could not be made");
            return false;
        }
    }
    return replaceFile(path, bytes, why);
}

} // namespace velorix
