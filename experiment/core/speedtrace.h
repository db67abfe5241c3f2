#pragma once

// The wheel speed of a run over its session time, as the polls read it,
// beside the ramp the set-up plans, with the moment each subject fell.
// Widget-free, so that the poll only hands numbers in: appending costs the
// same at the end of a long session as at its start, and the plot takes
// from here only what changed since it last looked.
//
// The measured line keeps only its corners: a sample at the speed of the
// two points before it moves the last point on instead of adding one, so a
// long session at a steady speed stays a handful of points and the only
// point that ever changes in place is the last one. A line of thousands of
// points is thinned in its older half, and of thousands of falls only the
// newer half stays: a trace's memory is bounded.

#include "model/deviceinfo.h"

#include <QList>
#include <QPointF>

#include <cstdint>
#include <vector>

namespace velorix {

struct AccelInputs;
struct AccelLabels;

// The ramp a set-up asks of the device: the wheel turns at the start speed,
// and every interval the speed moves by the step towards the end speed,
// never past it. Speeds in the set-up's unit, times in seconds; a duration
// of 0 or less has no end.
struct RampPlan
{
    double startSpeed = 0;
    double endSpeed = 0;
    double interval = 0;
    double step = 0;
    double duration = 0;
    // A session stops at its duration, before a step due at that moment;
    // the calculator's ramp ends with that step (its end speed reached).
    bool stepAtEnd = false;
};

// The plan of a device record's set-up. The step is the byte the device
// receives (tenths modulo 256), so the plan shows what the device will do.
[[nodiscard]] RampPlan rampPlanOf(const DeviceInfo &record);
// The plan of the calculator's result: its speeds and period, and the
// interval and step it found (labels that hold no number give 0).
[[nodiscard]] RampPlan rampPlanOf(const AccelInputs &inputs, const AccelLabels &labels);

// The speed the plan gives at a session time (seconds): the start speed
// moved by one step for every whole interval passed, never past the end
// speed, as the device ramps.
[[nodiscard]] double rampSpeedAt(const RampPlan &plan, double at);
// Whether the plan changes the speed at all.
[[nodiscard]] bool ramps(const RampPlan &plan);

// The planned speed over time as a staircase, from 0 to the duration, or
// (without one) one interval past the moment the end speed is reached. A
// ramp of more steps than a plot can show is drawn straight.
[[nodiscard]] QList<QPointF> rampPoints(const RampPlan &plan);

class SpeedTrace
{
public:
    struct Fall
    {
        int channel = 0; // 0 to 3
        double time = 0; // session seconds
        double speed = 0;
    };

    // A new run on this plan: what the last run left is dropped.
    void start(const RampPlan &plan);

    // One poll's reply: the session time, the wheel speed and the running
    // bits. A reply with no new session time (a failed read) adds nothing;
    // a time that runs backwards is a new session on the device ("ReStart
    // Exp"), which starts the trace over on the same plan. A running bit
    // that clears is a fall, unless `stopped`: the stop clears every bit,
    // and those runs were cut short, not ended by their subjects.
    void observe(double sessionTime, double speed, std::uint8_t runningBits, bool stopped = false);

    [[nodiscard]] const QList<QPointF> &planned() const { return m_planned; }
    [[nodiscard]] const QList<QPointF> &line() const { return m_line; }
    [[nodiscard]] const std::vector<Fall> &falls() const { return m_falls; }
    // Polls taken since the start (the line holds fewer points).
    [[nodiscard]] long samples() const { return m_samples; }
    [[nodiscard]] double lastTime() const { return m_line.isEmpty() ? 0 : m_line.constLast().x(); }
    [[nodiscard]] double topSpeed() const { return m_topSpeed; }
    // Grows whenever the trace starts over or is thinned: a plot that
    // showed an older generation shows everything again.
    [[nodiscard]] int generation() const { return m_generation; }

private:
    void restart();
    void thin();

    QList<QPointF> m_planned;
    QList<QPointF> m_line;
    std::vector<Fall> m_falls;
    long m_samples = 0;
    double m_topSpeed = 0;
    std::uint8_t m_bits = 0;
    int m_generation = 0;
};

} // namespace velorix
