#pragma once

// A chart of wheel speed over session time. In the experiment window it
// follows a run (the speed the polls read, the planned ramp beside it and a
// marker at each subject's fall, labelled with its channel); in the
// acceleration calculator it shows the computed ramp beside the wanted one.
//
// Following costs little: each call hands the chart only what the trace
// gained since the last one (a batch of new points, the last point moved
// on), the axes change only when the run outgrows them, and nothing is
// handed over while the plot is hidden; it catches up when shown again.
// A new corner of the line or a fall is drawn at once; the last point
// merely moving on at a steady speed is drawn once a second, so the chart
// is not repainted at every poll.

#include "experiment/core/speedtrace.h"

#include <QElapsedTimer>
#include <QList>
#include <QPointF>
#include <QWidget>

#include <array>

class QChart;
class QChartView;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace velorix {

class SpeedPlot final : public QWidget
{
    Q_OBJECT
public:
    enum class Kind {
        Run,
        Calculator
    };
    explicit SpeedPlot(Kind kind, QWidget *parent = nullptr);

    // The unit in the speed axis's title.
    void setUnits(const QString &units);

    // Run: the trace this plot follows (it must outlive the plot or be
    // replaced), and the catching up with it.
    void setTrace(const SpeedTrace *trace);
    // `now`: draw what is new even if it is only the last point moving on
    // (the run has ended, or the plot has just been shown).
    void follow(bool now = false);

    // Calculator: the staircase the device would run, and the straight ramp
    // that was asked for.
    void showRamp(const QList<QPointF> &computed, const QList<QPointF> &wanted);

    // What the chart holds, for the tests.
    [[nodiscard]] qsizetype shownPoints() const;
    [[nodiscard]] qsizetype shownPlanPoints() const;
    [[nodiscard]] int shownFalls() const;

    [[nodiscard]] QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuild();
    // Widens an axis once the data outgrows it, with room to spare so that
    // a growing run re-lays the chart out seldom.
    void fitAxes(double time, double speed);

    Kind m_kind;
    QChart *m_chart = nullptr;
    QChartView *m_view = nullptr;
    QLineSeries *m_measured = nullptr; // Run: the speed read; Calculator: the wanted ramp
    QLineSeries *m_planned = nullptr;
    std::array<QScatterSeries *, kChannels> m_falls{};
    QValueAxis *m_time = nullptr;
    QValueAxis *m_speed = nullptr;
    double m_timeTop = 0;
    double m_speedTop = 0;

    const SpeedTrace *m_trace = nullptr;
    int m_generation = -1;       // of the trace as shown
    qsizetype m_shownPoints = 0; // of its line
    std::size_t m_shownFalls = 0;
    QElapsedTimer m_sinceDrawn;
};

} // namespace velorix
