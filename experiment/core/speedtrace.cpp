#include "experiment/core/speedtrace.h"

#include "base/leadingnumber.h"
#include "experiment/core/accelcalc.h"

#include <algorithm>
#include <cmath>

namespace velorix {

namespace {

// More steps than this make a staircase no plot can tell from a slope.
constexpr long kMostDrawnSteps = 2000;
// A plan that never changes speed and never ends is shown over a minute.
constexpr double kFlatSpan = 60;
// A session of hours at a speed that changes with every poll would add a
// point a poll: past this many the line keeps every other point of its
// older half, and past this many falls the oldest half goes, so that the
// memory of a trace stays bounded however long the session runs.
constexpr qsizetype kMostLinePoints = 4000;
constexpr std::size_t kMostFalls = 4000;

// Steps until the end speed is reached.
long stepsToEnd(const RampPlan &plan)
{
    const double steps = std::ceil(std::fabs(plan.endSpeed - plan.startSpeed) / plan.step - 1e-6);
    return steps > 1e9 ? long(1e9) : long(steps);
}

double speedAfter(const RampPlan &plan, double steps)
{
    const double distance = std::fabs(plan.endSpeed - plan.startSpeed);
    const double moved = std::min(steps * plan.step, distance);
    return plan.endSpeed >= plan.startSpeed ? plan.startSpeed + moved : plan.startSpeed - moved;
}

// How long the staircase of rampPoints() runs.
double rampSpan(const RampPlan &plan)
{
    if (plan.duration > 0)
        return plan.duration;
    if (!ramps(plan))
        return kFlatSpan;
    return double(stepsToEnd(plan) + 1) * plan.interval;
}

} // namespace

bool ramps(const RampPlan &plan)
{
    return plan.interval > 0 && plan.step > 0 && plan.startSpeed != plan.endSpeed;
}

double rampSpeedAt(const RampPlan &plan, double at)
{
    if (!ramps(plan) || at <= 0)
        return plan.startSpeed;
    // Session times come in tenths; the margin keeps 20.0 / 10.0 at 2 steps.
    return speedAfter(plan, std::floor(at / plan.interval + 1e-6));
}

RampPlan rampPlanOf(const DeviceInfo &record)
{
    RampPlan plan;
    plan.startSpeed = record.intStartSpeed / 10.0;
    plan.endSpeed = record.intEndSpeed / 10.0;
    plan.interval = record.intAccInterval / 10.0;
    plan.step = std::uint8_t(record.intAccStep & 0xFF) / 10.0;
    plan.duration = record.intDuration;
    return plan;
}

RampPlan rampPlanOf(const AccelInputs &inputs, const AccelLabels &labels)
{
    // Read as the calculator reads them; a box it refuses draws as 0.
    const auto number = [](const QString &text) { return readTypedNumber(text).value; };
    RampPlan plan;
    plan.startSpeed = number(inputs.startSpeed);
    plan.endSpeed = number(inputs.endSpeed);
    plan.interval = number(labels.lblAcc_int);
    plan.step = number(labels.lblAcc_Step);
    plan.duration = number(inputs.period);
    plan.stepAtEnd = true;
    return plan;
}

QList<QPointF> rampPoints(const RampPlan &plan)
{
    const double span = rampSpan(plan);
    QList<QPointF> points{QPointF(0, plan.startSpeed)};
    if (!ramps(plan)) {
        points.append(QPointF(span, plan.startSpeed));
        return points;
    }
    const long steps = stepsToEnd(plan);
    // Steps that come within the span.
    const double inSpan = plan.stepAtEnd ? std::floor(span / plan.interval + 1e-6)
                                         : std::ceil(span / plan.interval - 1e-6) - 1;
    const long shown = std::min<long>(steps, long(std::min(inSpan, 1e9)));
    if (shown > kMostDrawnSteps) {
        const double reached = double(shown) * plan.interval;
        points.append(QPointF(reached, speedAfter(plan, double(shown))));
    } else {
        points.reserve(2 * shown + 2);
        for (long k = 1; k <= shown; ++k) {
            const double at = double(k) * plan.interval;
            points.append(QPointF(at, speedAfter(plan, double(k - 1))));
            points.append(QPointF(at, speedAfter(plan, double(k))));
        }
    }
    if (points.constLast().x() < span)
        points.append(QPointF(span, points.constLast().y()));
    return points;
}

void SpeedTrace::start(const RampPlan &plan)
{
    m_planned = rampPoints(plan);
    restart();
}

void SpeedTrace::restart()
{
    m_line.clear();
    m_falls.clear();
    m_samples = 0;
    m_topSpeed = 0;
    m_bits = 0;
    ++m_generation;
}

void SpeedTrace::observe(double sessionTime, double speed, std::uint8_t runningBits, bool stopped)
{
    if (m_samples > 0) {
        const double last = lastTime();
        if (sessionTime == last)
            return;
        if (sessionTime < last)
            restart();
    }
    ++m_samples;
    m_topSpeed = std::max(m_topSpeed, speed);
    const qsizetype n = m_line.size();
    if (n >= 2 && m_line[n - 1].y() == speed && m_line[n - 2].y() == speed)
        m_line[n - 1].setX(sessionTime);
    else
        m_line.append(QPointF(sessionTime, speed));

    const std::uint8_t ended = m_bits & ~runningBits & 0x0F;
    if (!stopped) {
        for (int c = 0; c < kChannels; ++c) {
            if ((ended >> c) & 1)
                m_falls.push_back(Fall{c, sessionTime, speed});
        }
    }
    m_bits = runningBits;
    if (m_line.size() > kMostLinePoints || m_falls.size() > kMostFalls)
        thin();
}

void SpeedTrace::thin()
{
    if (m_line.size() > kMostLinePoints) {
        // The first point and every other one of the older half stay; the
        // newer half keeps all its points, the last one among them.
        const qsizetype older = m_line.size() / 2;
        QList<QPointF> kept;
        kept.reserve(m_line.size() - older / 2);
        for (qsizetype i = 0; i < older; i += 2)
            kept.append(m_line[i]);
        kept.append(m_line.mid(older));
        m_line.swap(kept);
    }
    if (m_falls.size() > kMostFalls)
        m_falls.erase(m_falls.begin(), m_falls.begin() + std::ptrdiff_t(m_falls.size() / 2));
    ++m_generation; // the plot draws it anew
}

} // namespace velorix
