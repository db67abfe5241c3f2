#pragma once

// How the subjects behave: per device and channel, the runs one after the
// other. A run is how long the subject stays on after its channel starts and
// how long the wheel then turns passively.

#include <QString>
#include <QtGlobal>

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace velorix::sim {

struct PlannedRun
{
    double fallSeconds = 0;     // device seconds after the channel's start
    double rotationSeconds = 0; // 0: the channel goes idle at the fall
};

// Runs are numbered per device and channel from 0, across sessions. Run n of
// a channel is the n-th scripted run; past the script it is drawn from the
// random generator when one is set, else there is none and the subject stays
// on until the channel is stopped. A run is used up only by its fall: a run
// cut short by a stop, restart or reset is tried again at the next start, so
// a repeated Start_Exp (a lost acknowledgement) does not skip scripted falls.
// Random runs depend only on the seed, the device, the channel and n, so a
// session replays identically however the requests of different devices
// interleave.
class Scenario
{
public:
    // Random runs only: falls 5 to 120 s, about a third of them followed by a
    // passive rotation of 2 to 10 s.
    [[nodiscard]] static Scenario random(quint32 seed);

    // The script format, one run per line, in order per channel:
    //     ADDR CHANNEL FALL_SECONDS [ROT_SECONDS]
    // ADDR 0 to 254, CHANNEL 1 to 4, FALL_SECONDS above 0, ROT_SECONDS 0 or
    // more (0 or missing: no passive rotation). '#' starts a comment; blank
    // lines are skipped. On a bad line: empty, and `error` says which line.
    [[nodiscard]] static std::optional<Scenario> fromScript(const QString &text, QString *error);

    void addRun(quint8 address, int channel, PlannedRun run);
    void setRandomSeed(std::optional<quint32> seed) { m_seed = seed; }

    [[nodiscard]] std::optional<PlannedRun> run(quint8 address, int channel, int index) const;
    [[nodiscard]] bool isEmpty() const { return m_scripted.empty() && !m_seed; }

private:
    [[nodiscard]] PlannedRun randomRun(quint8 address, int channel, int index) const;

    std::map<std::pair<quint8, int>, std::vector<PlannedRun>> m_scripted;
    std::optional<quint32> m_seed;
};

} // namespace velorix::sim
