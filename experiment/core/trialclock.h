#pragma once

// The trials of a session and the rest between them. Every start sets the
// four channels going and begins a trial; the trial is done once each
// channel has given its result. The rest then counts down to the next
// trial, which the operator starts ("Master Start") once the subjects are
// placed. Nothing here talks to the device: the window's ticks drive it.
//
//     stage    until                                  then
//     None     the session's first start              Running
//     Running  every channel's result                 Resting (Ready without a rest)
//              a new start (the trial cut short)      Running, the next trial
//     Resting  the rest has run out (the window beeps) Ready
//     Ready    the next start                         Running
//     any      the session's end                      Over

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace velorix {

class TrialClock
{
public:
    enum class Stage {
        None,
        Running,
        Resting,
        Ready,
        Over
    };

    // Seconds; 0: no rest. A change reaches a rest already counting down.
    void setRest(int seconds) { m_restSeconds = seconds < 0 ? 0 : seconds; }
    [[nodiscard]] int rest() const { return m_restSeconds; }

    // A new session: its first trial is trial 1.
    void startSession();
    // A start set every channel going: the next trial. The session log's
    // lines for it (a trial cut short by it first).
    QStringList begin();
    // A channel's result was recorded. The log line when it was the
    // trial's last one, else empty.
    QString channelDone(int channel, const QDateTime &now);
    // The rest has just run out: its log line, once; else empty.
    QString restEnded(const QDateTime &now);
    void endSession();

    [[nodiscard]] Stage stage() const { return m_stage; }
    [[nodiscard]] int trial() const { return m_trial; }
    // "Trial 2", "Trial 2 done, next in 1:05", ...; empty before a trial.
    [[nodiscard]] QString statusText(const QDateTime &now) const;

private:
    [[nodiscard]] qint64 restLeftMs(const QDateTime &now) const;

    Stage m_stage = Stage::None;
    int m_trial = 0;
    std::uint8_t m_owed = 0; // channels whose result the trial still waits for
    QDateTime m_doneAt;
    int m_restSeconds = 0;
};

} // namespace velorix
