#pragma once

// One of a device's four channels: the run of its subject, the passive
// rotation after a fall and the values the time and rotation replies report.
// All times are session times in tenths of a second.

#include "simulator/groundtruth.h"
#include "simulator/scenario.h"

#include <QtGlobal>

#include <cstddef>
#include <optional>
#include <vector>

namespace velorix::sim {

using RunLog = std::vector<RunRecord>;

class SimChannel
{
public:
    // Starts a run at `now`. A run still going on ends there as Restarted; a
    // passive rotation is cut short. `identity` carries the record's device,
    // channel, session and rotation delay.
    void start(qint64 now, std::optional<PlannedRun> plan, const RunRecord &identity, int wheelSpeed,
               RunLog &log);
    // Ends a run or rotation at `now` (stop, reset).
    void end(qint64 now, RunEnd why, int wheelSpeed, RunLog &log);
    // Session time of the planned fall, once `now` has reached it.
    [[nodiscard]] std::optional<qint64> dueFall(qint64 now) const;
    // The planned fall happens; the wheel turned at `wheelSpeed` then.
    void fall(int wheelSpeed, RunLog &log);
    // Forgets the values of a finished run (the `clear` command, a reset);
    // a channel that still runs or rotates keeps them.
    void clearResults(qint64 now);

    [[nodiscard]] int falls() const { return m_falls; }
    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] bool isRotating(qint64 now) const;
    // Read_Times: while running the session time at which the run started,
    // afterwards the length of the run.
    [[nodiscard]] qint64 reportedTime() const { return m_running ? m_start : m_lastRun; }
    // Counted from the fall, the delay of location 47 included.
    [[nodiscard]] qint64 rotationTime(qint64 now) const;
    [[nodiscard]] int rotationSpeed() const { return m_rotationSpeed; }

private:
    bool m_running = false;
    qint64 m_start = 0;
    std::optional<qint64> m_fallAt;
    int m_plannedRotation = 0;
    qint64 m_lastRun = 0;
    qint64 m_rotationStart = 0;
    qint64 m_rotationLength = 0;
    int m_rotationSpeed = 0;
    int m_falls = 0;
    RunRecord m_record;
    std::size_t m_rotationRecord = 0; // index in the log of the run now rotating
};

} // namespace velorix::sim
