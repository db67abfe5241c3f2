#pragma once

// The timed transfers of the set-up, one memory location a tick: the
// upload into the record, the download from it (ending with the device
// reset), and the rocking request a run sends when its interval is due.

#include "experiment/core/expview.h"
#include "experiment/core/rundevice.h"
#include "model/deviceinfo.h"

#include <QDateTime>

#include <cstdint>
#include <functional>

namespace velorix {

class SetupTransfer
{
public:
    static constexpr int kSetupSteps = 13; // the progress bar's end

    enum class Step {
        Failed, // the command failed or may not go out: the tick ends
        Going,  // one more location done
        Done,   // the last step went through
    };

    // `pause` waits with the window shown and the link let go.
    SetupTransfer(RunDevice &device, ExpDisplay &display, RunRecorder &recorder,
                  std::function<void(int milliseconds)> pause)
        : m_device(device), m_display(display), m_recorder(recorder), m_pause(std::move(pause))
    {}

    void restart() { intSetupStep = 0; }
    // One ReadMem; Done once every location is in the record.
    Step uploadStep(DeviceInfo &record);
    // One WriteMem, or at the end the reset between two waits of `waitMs`:
    // Done once the reset went through (the tick then ends).
    Step downloadStep(DeviceInfo &record, int waitMs);
    // The second wait, after the caller has taken the download's end.
    void afterReset(int waitMs);

    // Whether the rocking interval has come round at `now`; the next one is
    // counted from it.
    bool rockingDue(const QDateTime &now);
    // PurgeOFF to a firmware that takes it; Done when no more is to send.
    Step rockingStep(DeviceInfo &record);

    std::int16_t intSetupStep = 0;
    std::int16_t intRockInterval = 0;
    QDateTime dtNextRock; // invalid: due at once

private:
    void showProgress(const QString &text);

    RunDevice &m_device;
    ExpDisplay &m_display;
    RunRecorder &m_recorder;
    std::function<void(int)> m_pause;
};

} // namespace velorix
