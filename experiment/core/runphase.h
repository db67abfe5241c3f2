#pragma once

// Where a window's run is, written down once. Every change of phase goes
// through RunPhaseMachine::moveTo, which refuses one the table does not
// list; the tick looks at the phase to decide what to send.
//
//   phase        what the tick sends                      goes to
//   Idle         nothing (a stop asked for: Stop_Exp)     Uploading ("Upload", the load)
//                                                         Downloading ("Download")
//                                                         Arming (Start)
//                                                         Cancelling (Stop_Exp through)
//   Uploading    one ReadMem a tick                       Idle (all read)
//   Downloading  one WriteMem a tick, then the reset      Idle (reset through)
//   Arming       the same, for a start                    Starting (reset through)
//                                                         Idle (reset through, a stop asked for)
//                                                         Cancelling (Stop_Exp through)
//   Starting     Start_Exp                                Running (through)
//                                                         StartUnsure (failed, may have arrived)
//                                                         Cancelling (Stop_Exp through)
//   StartUnsure  Read_Times first: started or not         Running (started, or Start_Exp through)
//                                                         Starting (Start_Exp refused as busy)
//                                                         Cancelling (Stop_Exp through)
//   Running      the poll; Start_Exp, Start_ALL,          Stopping (Stop_Exp through)
//                PurgeOFF and Stop_Exp as asked for       Idle (a close gave up on the stop)
//   Stopping     the poll for the run's final times       Idle (read, or given up)
//   Cancelling   the poll after a stop with no run        Idle (read, or given up)
//
// A stop, a restart, a Master Start and the rocking request are the
// buttons' (and the duration's) requests, kept beside the phase in
// RunRequests: they ask for something; the phase says where the run is.

#include <QString>

#include <cstdint>

namespace velorix {

enum class RunPhase : std::uint8_t {
    Idle,
    Uploading,
    Downloading,
    Arming,
    Starting,
    StartUnsure,
    Running,
    Stopping,
    Cancelling,
};

[[nodiscard]] QString phaseName(RunPhase phase);
// Whether the table above lists the change.
[[nodiscard]] bool mayMove(RunPhase from, RunPhase to);

class RunPhaseMachine
{
public:
    [[nodiscard]] RunPhase phase() const { return m_phase; }
    // False, and the phase kept, for a change the table does not list.
    bool moveTo(RunPhase to);

    [[nodiscard]] bool is(RunPhase phase) const { return m_phase == phase; }
    // A timed transfer of the set-up is under way (Start waits for its end).
    [[nodiscard]] bool transferring() const;
    // From a start that got through until the run's final times are in.
    [[nodiscard]] bool running() const { return is(RunPhase::Running) || is(RunPhase::Stopping); }
    // Stop_Exp got through; the final reads are still to come.
    [[nodiscard]] bool stopConfirmed() const { return is(RunPhase::Stopping) || is(RunPhase::Cancelling); }
    // A start is on its way: the download before it, or Start_Exp itself.
    [[nodiscard]] bool starting() const;

private:
    RunPhase m_phase = RunPhase::Idle;
};

// What the buttons ask for, carried out by the next tick.
struct RunRequests
{
    enum class Stop : std::uint8_t {
        None,
        Wanted,       // "Stop Experiment", the close, or the duration's end
        SentUnproven, // a Stop_Exp went out and its answer was lost
    };
    enum class MasterStart : std::uint8_t {
        None,
        Wanted,
        AnswerLost, // the poll after it tells whether it arrived
    };
    Stop stop = Stop::None;
    MasterStart masterStart = MasterStart::None;
    bool restart = false; // "ReStart Exp" while running
    bool rocking = false; // the rocking interval is due: PurgeOFF

    [[nodiscard]] bool stopWanted() const { return stop != Stop::None; }
};

// Which buttons and frames a phase allows.
class ExpControls
{
public:
    enum Control : std::uint16_t {
        StartExp = 1 << 0,  // cmdstartexp
        StopExp = 1 << 1,   // cmdstop_exp
        Restart = 1 << 2,   // cmdrestart
        StartAll = 1 << 3,  // cmdStartall
        Setup = 1 << 4,     // frmexpsetup
        CalcAccel = 1 << 5, // cmdCalc_Accel
        Load = 1 << 6,      // cmdload
        Template = 1 << 7,  // cmdch_template
        Transfers = 1 << 8, // the set-up frame's Upload and Download
    };
    static ExpControls forPhase(RunPhase phase);
    [[nodiscard]] ExpControls without(Control control) const
    {
        ExpControls less = *this;
        less.m_enabled &= std::uint16_t(~control);
        return less;
    }

    [[nodiscard]] bool enabled(Control control) const { return (m_enabled & control) != 0; }
    bool operator==(const ExpControls &other) const { return m_enabled == other.m_enabled; }

private:
    std::uint16_t m_enabled = 0;
};

} // namespace velorix
