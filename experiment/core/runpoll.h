#pragma once

// The poll a running tick sends: the rotation times and speeds, the beams,
// the wheel speed and the run times, each decoded into the record and the
// display as it comes in. The speed readings are dated so that a fall
// takes the one nearest it.

#include "experiment/core/expview.h"
#include "experiment/core/readout.h"
#include "experiment/core/rundevice.h"
#include "model/deviceinfo.h"

#include <cstdint>

namespace velorix {

class RunPoll
{
public:
    RunPoll(RunDevice &device, ExpDisplay &display) : m_device(device), m_display(display) {}

    void beginTick() { m_timesTaken = false; }
    // update_Rot_Info: Read_ROT_Times and Read_ROT_Speed.
    void readRotation(DeviceInfo &record);
    void readSensors();
    // Read_Speed; a fall of the last poll still owed its speed gets one more
    // try. `stopSent`: the wheel runs down, no fall takes its speed.
    void readSpeed(DeviceInfo &record, bool stopSent);
    // One Read_Speed: true when it got through (the speed is then taken).
    bool readSpeedOnce(DeviceInfo &record, bool afterPoll, bool stopSent);
    // Read_Times with what the run's state says of this poll; true when it
    // got through and was taken.
    bool readTimes(DeviceInfo &record, readout::TimesPoll &poll);
    // A fall seen in this poll without a speed read near it is owed one.
    [[nodiscard]] bool fallOwesSpeed() const { return m_timesTaken && m_fall.owed && !m_speedFresh; }

    // A start has set every channel going, until a reply shows otherwise.
    void channelsStarted() { m_startedUnseen = 0x0F; }
    // The device's session time starts again from 0 (Start_Exp): a fall
    // of the session before still owed its speed gets it from that
    // session's readings (or ramp) now.
    void sessionTimeRestarts(DeviceInfo &record);
    // The speed the runs a stop cuts short are given: the last read before
    // the stop first went out.
    void keepStopSpeed(float speed) { m_stopSpeed = speed; }
    // A new run: no readings, no owed falls.
    void clearFalls() { m_fall = readout::FallSpeeds{}; }

    [[nodiscard]] bool timesTaken() const { return m_timesTaken; }
    [[nodiscard]] bool speedFresh() const { return m_speedFresh; }
    [[nodiscard]] readout::FallSpeeds &fall() { return m_fall; }

private:
    RunDevice &m_device;
    ExpDisplay &m_display;
    readout::FallSpeeds m_fall; // the speed readings dated for the falls
    float m_stopSpeed = 0.0f;
    std::uint8_t m_startedUnseen = 0; // channels started, no reply seen since
    bool m_timesTaken = false;        // Read_Times succeeded in this tick
    bool m_speedFresh = true;         // the last Read_Speed succeeded
};

} // namespace velorix
