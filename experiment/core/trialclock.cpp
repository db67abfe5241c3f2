#include "experiment/core/trialclock.h"

#include "experiment/core/expnumbers.h"
#include "model/deviceinfo.h"
#include "protocol/channelbits.h"

#include <algorithm>

namespace velorix {

namespace {

constexpr std::uint8_t kAllChannels = (1u << kChannels) - 1;

QString trialName(int trial)
{
    return QStringLiteral("Trial %1").arg(trial);
}

} // namespace

void TrialClock::startSession()
{
    m_stage = Stage::None;
    m_trial = 0;
    m_owed = 0;
}

QStringList TrialClock::begin()
{
    QStringList lines;
    if (m_stage == Stage::Running) {
        QStringList waiting;
        for (int c = 0; c < kChannels; ++c) {
            if (bitSet(m_owed, c))
                waiting << QString::number(c + 1);
        }
        lines << trialName(m_trial)
                        + QStringLiteral(" cut short by a new start; no result from channel(s) %1")
                                  .arg(waiting.join(QStringLiteral(", ")));
    }
    ++m_trial;
    m_owed = kAllChannels;
    m_stage = Stage::Running;
    lines << trialName(m_trial) + QStringLiteral(" started");
    return lines;
}

QString TrialClock::channelDone(int channel, const QDateTime &now)
{
    if (m_stage != Stage::Running || !bitSet(m_owed, channel))
        return {};
    m_owed = std::uint8_t(m_owed & ~(1u << channel));
    if (m_owed != 0)
        return {};
    m_doneAt = now;
    m_stage = m_restSeconds > 0 ? Stage::Resting : Stage::Ready;
    return trialName(m_trial) + QStringLiteral(" done");
}

QString TrialClock::restEnded(const QDateTime &now)
{
    if (m_stage != Stage::Resting || restLeftMs(now) > 0)
        return {};
    m_stage = Stage::Ready;
    return trialName(m_trial) + QStringLiteral(": rest over");
}

void TrialClock::endSession()
{
    if (m_stage != Stage::None)
        m_stage = Stage::Over;
}

qint64 TrialClock::restLeftMs(const QDateTime &now) const
{
    return now.msecsTo(m_doneAt.addSecs(m_restSeconds));
}

QString TrialClock::statusText(const QDateTime &now) const
{
    switch (m_stage) {
    case Stage::None: return {};
    case Stage::Running: return trialName(m_trial);
    case Stage::Resting: {
        // Whole seconds, rounded up: "0:00" only once the rest is over.
        const qint64 left = (std::max<qint64>(restLeftMs(now), 0) + 999) / 1000;
        return trialName(m_trial) + QStringLiteral(" done, next in ") + clockText(double(left));
    }
    case Stage::Ready:
        return trialName(m_trial)
                + (m_restSeconds > 0 ? QStringLiteral(" done, rest over") : QStringLiteral(" done"));
    case Stage::Over: return trialName(m_trial) + QStringLiteral(" done");
    }
    return {};
}

} // namespace velorix
