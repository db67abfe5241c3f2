#include "simulator/simchannel.h"

#include <cmath>

namespace velorix::sim {

void SimChannel::start(qint64 now, std::optional<PlannedRun> plan, const RunRecord &identity, int wheelSpeed,
                       RunLog &log)
{
    end(now, RunEnd::Restarted, wheelSpeed, log);
    m_running = true;
    m_start = now;
    m_record = identity;
    m_record.startTenths = int(now);
    m_fallAt.reset();
    m_plannedRotation = 0;
    if (plan) {
        // The device counts in tenths; a fall is at least one tenth after the
        // start so that every run is seen running.
        m_fallAt = now + std::max<qint64>(1, std::llround(plan->fallSeconds * 10));
        m_plannedRotation = int(std::max<qint64>(0, std::llround(plan->rotationSeconds * 10)));
    }
    m_rotationStart = now;
    m_rotationLength = 0;
    m_rotationSpeed = 0;
}

void SimChannel::end(qint64 now, RunEnd why, int wheelSpeed, RunLog &log)
{
    if (m_running) {
        m_running = false;
        m_lastRun = now - m_start;
        m_record.endTenths = int(now);
        m_record.end = why;
        m_record.speedAtEnd = wheelSpeed;
        log.push_back(m_record);
    } else if (isRotating(now)) {
        m_rotationLength = now - m_rotationStart;
        log[m_rotationRecord].rotationTenths = int(m_rotationLength);
    }
}

std::optional<qint64> SimChannel::dueFall(qint64 now) const
{
    if (m_running && m_fallAt && *m_fallAt <= now)
        return m_fallAt;
    return std::nullopt;
}

void SimChannel::fall(int wheelSpeed, RunLog &log)
{
    if (!m_running || !m_fallAt)
        return;
    const qint64 at = *m_fallAt;
    m_running = false;
    m_fallAt.reset();
    ++m_falls;
    m_lastRun = at - m_start;
    m_record.endTenths = int(at);
    m_record.end = RunEnd::Fall;
    m_record.speedAtEnd = wheelSpeed;
    if (m_plannedRotation > 0) {
        m_record.rotationTenths = m_plannedRotation;
        m_record.rotationSpeed = wheelSpeed;
        m_rotationStart = at;
        m_rotationLength = m_plannedRotation;
        m_rotationSpeed = wheelSpeed;
    }
    log.push_back(m_record);
    m_rotationRecord = log.size() - 1;
}

void SimChannel::clearResults(qint64 now)
{
    if (m_running || isRotating(now))
        return;
    m_lastRun = 0;
    m_rotationStart = 0;
    m_rotationLength = 0;
    m_rotationSpeed = 0;
}

bool SimChannel::isRotating(qint64 now) const
{
    return !m_running && m_rotationLength > 0 && now >= m_rotationStart
            && now < m_rotationStart + m_rotationLength;
}

qint64 SimChannel::rotationTime(qint64 now) const
{
    return isRotating(now) ? now - m_rotationStart : m_rotationLength;
}

} // namespace velorix::sim
