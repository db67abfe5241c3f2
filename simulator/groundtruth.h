#pragma once

// What really happened on the simulated devices, for tests to compare with
// what the program recorded.

#include <QtGlobal>

namespace velorix::sim {

enum class RunEnd {
    Fall,      // the subject fell: the end the scenario planned
    Stopped,   // Stop_Exp or Stop_Diag while the subject was still on
    Restarted, // a new session (Start_Exp, Start_Diag), Start_ALL or Start_CHn
               // while the subject was still on
    Reset,     // the device was reset
};

// One run of one channel. Times are session times in tenths of a second and
// speeds tenths of the set-up's speed unit, exactly the values the device
// reports; the *Seconds()/*Units() helpers give them as the program shows them.
struct RunRecord
{
    quint8 address = 0;  // the address the device was configured with
    int channel = 0;     // 1 to 4
    int session = 0;     // 1 for the device's first Start_Exp or Start_Diag
    int startTenths = 0; // session time at which the channel started
    int endTenths = 0;   // session time of the fall (or of the other end)
    RunEnd end = RunEnd::Fall;
    int speedAtEnd = 0; // wheel speed at the fall
    // Passive rotation after a fall: how long the rotation bit was set (the
    // device's own count, which includes the delay of location 47) and the
    // speed. A rotation cut short by a stop or restart counts as far as it got.
    int rotationTenths = 0;
    int rotationSpeed = 0;
    int rotationDelayTenths = 0; // location 47 when the session started

    [[nodiscard]] int runTenths() const { return endTenths - startTenths; }
    [[nodiscard]] double startSeconds() const { return startTenths / 10.0; }
    [[nodiscard]] double runSeconds() const { return runTenths() / 10.0; }
    [[nodiscard]] double speedAtEndUnits() const { return speedAtEnd / 10.0; }
    [[nodiscard]] double rotationSeconds() const { return rotationTenths / 10.0; }
    [[nodiscard]] double rotationSpeedUnits() const { return rotationSpeed / 10.0; }
    // The passive-rotation time the program derives: the device's count less
    // the delay, never below zero.
    [[nodiscard]] double rotationAfterDelaySeconds() const
    {
        return qMax(0, rotationTenths - rotationDelayTenths) / 10.0;
    }
};

struct DeviceCounters
{
    int rockingRequests = 0; // PurgeOFF on firmware above 2.1
    int resets = 0;          // addressed and bus resets
    int startExpSeen = 0;
    int firmwareRecords = 0; // records taken (L, S, H) in program mode
    int firmwareUpdates = 0; // program mode left with new firmware
};

} // namespace velorix::sim
