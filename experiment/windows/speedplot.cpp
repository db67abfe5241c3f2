#include "experiment/windows/speedplot.h"

#include <QChart>
#include <QChartView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPen>
#include <QScatterSeries>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace velorix {

namespace {

// How often the last point moving on by itself is drawn.
constexpr qint64 kSteadyRedrawMs = 1000;

// One colour per channel, the same in the legend and at the falls.
const std::array<QColor, kChannels> kChannelColours{QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
                                                    QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd)};

// An axis from 0 to at least `value` in at most five round steps (1, 2 or
// 5 times a power of ten), ticked at every step; returns its top.
double setRoundRange(QValueAxis *axis, double value)
{
    if (value <= 0)
        value = 1;
    const double rough = value / 5;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= rough)
            break;
    }
    const double top = std::ceil(value / step - 1e-9) * step;
    axis->setRange(0, top);
    axis->setTickAnchor(0);
    axis->setTickInterval(step);
    return top;
}

double highest(const QList<QPointF> &points)
{
    double top = 0;
    for (const QPointF &p : points)
        top = std::max(top, p.y());
    return top;
}

} // namespace

SpeedPlot::SpeedPlot(Kind kind, QWidget *parent) : QWidget(parent), m_kind(kind)
{
    m_chart = new QChart;
    m_chart->setMargins(QMargins(2, 2, 2, 2));
    m_chart->setBackgroundRoundness(0);
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_chart->legend()->setFont(small);

    m_time = new QValueAxis;
    m_time->setTitleText(QStringLiteral("Session Time (sec)"));
    m_time->setLabelFormat(QStringLiteral("%g"));
    m_speed = new QValueAxis;
    m_speed->setLabelFormat(QStringLiteral("%g"));
    for (QValueAxis *axis : {m_time, m_speed}) {
        axis->setTitleFont(small);
        axis->setLabelsFont(small);
        axis->setTickType(QValueAxis::TicksDynamic);
    }
    m_chart->addAxis(m_time, Qt::AlignBottom);
    m_chart->addAxis(m_speed, Qt::AlignLeft);

    m_planned = new QLineSeries;
    QPen plan(QColor(0x60, 0x60, 0x60), 1, Qt::DashLine);
    m_planned->setPen(plan);
    m_measured = new QLineSeries;
    m_measured->setPen(QPen(QColor(0x1f, 0x77, 0xb4), 2));
    if (kind == Kind::Run) {
        m_planned->setName(QStringLiteral("Planned ramp"));
        m_measured->setName(QStringLiteral("Wheel speed"));
    } else {
        m_time->setTitleText(QStringLiteral("Time (sec)"));
        m_planned->setName(QStringLiteral("Computed ramp"));
        m_measured->setName(QStringLiteral("Wanted ramp"));
        m_measured->setPen(QPen(QColor(0x1f, 0x77, 0xb4), 1));
    }
    for (QLineSeries *series : {m_planned, m_measured}) {
        m_chart->addSeries(series);
        series->attachAxis(m_time);
        series->attachAxis(m_speed);
    }
    if (kind == Kind::Run) {
        for (int c = 0; c < kChannels; ++c) {
            auto *falls = new QScatterSeries;
            falls->setName(QStringLiteral("Ch%1").arg(c + 1));
            falls->setMarkerShape(QScatterSeries::MarkerShapeCircle);
            falls->setMarkerSize(9);
            falls->setColor(kChannelColours[c]);
            falls->setBorderColor(kChannelColours[c].darker(140));
            // Each fall says whose it was, also where markers crowd.
            falls->setPointLabelsFormat(QStringLiteral("Ch%1").arg(c + 1));
            falls->setPointLabelsColor(kChannelColours[c].darker(140));
            falls->setPointLabelsFont(small);
            falls->setPointLabelsVisible(true);
            falls->setPointLabelsClipping(false);
            m_chart->addSeries(falls);
            falls->attachAxis(m_time);
            falls->attachAxis(m_speed);
            // The labels name the channels; the legend keeps to the two lines.
            for (QLegendMarker *marker : m_chart->legend()->markers(falls))
                marker->setVisible(false);
            m_falls[c] = falls;
        }
    }
    setUnits(QStringLiteral("RPM"));
    m_time->setRange(0, 1);
    m_speed->setRange(0, 1);

    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(kind == Kind::Run ? QStringLiteral("speedplot") : QStringLiteral("rampplot"));
    m_view->setFrameShape(QFrame::StyledPanel);
    // The lines change as a run goes on; the view's background never does.
    m_view->setCacheMode(QGraphicsView::CacheBackground);
    m_view->setMinimumSize(kind == Kind::Run ? QSize(320, 200) : QSize(300, 190));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

QSize SpeedPlot::sizeHint() const
{
    // Room for a run's steps and falls to be told apart.
    return m_kind == Kind::Run ? QSize(460, 300) : QSize(340, 220);
}

void SpeedPlot::setUnits(const QString &units)
{
    m_speed->setTitleText(QStringLiteral("Speed (%1)").arg(units));
}

void SpeedPlot::setTrace(const SpeedTrace *trace)
{
    m_trace = trace;
    m_generation = -1;
    follow(true);
}

void SpeedPlot::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    follow(true);
}

void SpeedPlot::rebuild()
{
    m_generation = m_trace->generation();
    m_planned->replace(m_trace->planned());
    m_measured->replace(m_trace->line());
    m_shownPoints = m_trace->line().size();
    std::array<QList<QPointF>, kChannels> falls;
    for (const SpeedTrace::Fall &fall : m_trace->falls())
        falls[fall.channel].append(QPointF(fall.time, fall.speed));
    for (int c = 0; c < kChannels; ++c)
        m_falls[c]->replace(falls[c]);
    m_shownFalls = m_trace->falls().size();
    // A new run starts on axes made for its plan.
    m_timeTop = m_speedTop = 0;
    const QList<QPointF> &plan = m_trace->planned();
    fitAxes(plan.isEmpty() ? 0 : plan.constLast().x(), highest(plan));
}

void SpeedPlot::follow(bool now)
{
    if (m_kind != Kind::Run || !m_trace || !isVisible())
        return;
    if (m_generation != m_trace->generation()) {
        rebuild();
    } else {
        const QList<QPointF> &line = m_trace->line();
        const bool grown = line.size() > m_shownPoints || m_trace->falls().size() > m_shownFalls;
        if (!grown && !now && m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < kSteadyRedrawMs)
            return;
        // Only the last point shown may have moved on since.
        if (m_shownPoints > 0 && m_shownPoints <= line.size()
            && m_measured->at(int(m_shownPoints - 1)) != line.at(m_shownPoints - 1))
            m_measured->replace(int(m_shownPoints - 1), line.at(m_shownPoints - 1));
        if (line.size() > m_shownPoints) {
            m_measured->append(line.mid(m_shownPoints));
            m_shownPoints = line.size();
        }
        const std::vector<SpeedTrace::Fall> &falls = m_trace->falls();
        for (; m_shownFalls < falls.size(); ++m_shownFalls) {
            const SpeedTrace::Fall &fall = falls[m_shownFalls];
            m_falls[fall.channel]->append(fall.time, fall.speed);
        }
    }
    fitAxes(m_trace->lastTime(), m_trace->topSpeed());
    m_sinceDrawn.start();
}

void SpeedPlot::fitAxes(double time, double speed)
{
    if (time > m_timeTop) {
        // Past the plan, the run goes on: leave room for a quarter more.
        const bool pastPlan
                = m_trace && !m_trace->planned().isEmpty() && time > m_trace->planned().constLast().x();
        m_timeTop = setRoundRange(m_time, pastPlan ? time * 1.25 : time);
    }
    if (speed * 1.05 > m_speedTop)
        m_speedTop = setRoundRange(m_speed, speed * 1.1);
}

void SpeedPlot::showRamp(const QList<QPointF> &computed, const QList<QPointF> &wanted)
{
    m_planned->replace(computed);
    m_measured->replace(wanted);
    double end = 0;
    for (const QList<QPointF> *points : {&computed, &wanted}) {
        if (!points->isEmpty())
            end = std::max(end, points->constLast().x());
    }
    m_timeTop = setRoundRange(m_time, end);
    m_speedTop = setRoundRange(m_speed, std::max(highest(computed), highest(wanted)) * 1.1);
}

qsizetype SpeedPlot::shownPoints() const
{
    return m_measured->count();
}

qsizetype SpeedPlot::shownPlanPoints() const
{
    return m_planned->count();
}

int SpeedPlot::shownFalls() const
{
    int n = 0;
    for (const QScatterSeries *falls : m_falls)
        n += falls ? falls->count() : 0;
    return n;
}

} // namespace velorix
