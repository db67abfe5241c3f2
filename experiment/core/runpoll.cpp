#include "experiment/core/runpoll.h"

#include "experiment/core/expnumbers.h"
#include "protocol/commandtable.h"

#include <utility>

namespace velorix {

namespace {

const QString kReadSuccessful = QStringLiteral("READ successful");

} // namespace

void RunPoll::readRotation(DeviceInfo &record)
{
    if (!m_device.mayGoOn())
        return;
    ByteBuffer times(readout::kRotTimesBytes);
    m_device.intLastErr = m_device.commands().Read_ROT_Times(m_device.address(), times);
    if (m_device.judge(commands::Read_ROT_Times.name, m_device.intLastErr))
        readout::takeRotationTimes(record, times, m_display.channels);
    if (!m_device.mayGoOn())
        return;
    ByteBuffer speeds(readout::kRotSpeedBytes);
    m_device.intLastErr = m_device.commands().Read_ROT_Speed(m_device.address(), speeds);
    if (m_device.judge(commands::Read_ROT_Speed.name, m_device.intLastErr))
        readout::takeRotationSpeeds(record, speeds, m_display.channels);
}

void RunPoll::readSensors()
{
    if (!m_device.mayGoOn())
        return;
    ByteBuffer beams(readout::kSensorBytes);
    m_device.intLastErr = m_device.commands().Read_Sensor(m_device.address(), beams);
    if (!m_device.judge(commands::Read_Sensor.name, m_device.intLastErr))
        return;
    m_display.txtDisplay = kReadSuccessful;
    for (int c = 0; c < kChannels; ++c)
        m_display.channels[c].sensor = readout::sensorText(c, beams[c]);
}

void RunPoll::readSpeed(DeviceInfo &record, bool stopSent)
{
    if (!m_device.mayGoOn())
        return;
    if (!readSpeedOnce(record, false, stopSent) && m_fall.owed && !stopSent && m_device.mayGoOn())
        (void)readSpeedOnce(record, false, stopSent);
}

bool RunPoll::readSpeedOnce(DeviceInfo &record, bool afterPoll, bool stopSent)
{
    if (!m_device.mayGoOn())
        return false;
    ByteBuffer speed(readout::kSpeedBytes);
    m_device.intLastErr = m_device.commands().Read_Speed(m_device.address(), speed);
    // A failed read keeps the last speed: taking 0 instead would record a
    // run that ends in this poll with a speed of 0.0.
    m_speedFresh = m_device.judge(commands::Read_Speed.name, m_device.intLastErr);
    if (m_speedFresh) {
        m_display.txtDisplay = kReadSuccessful;
        record.sngSpeed = readout::speedOf(speed);
        if (!stopSent) {
            if (afterPoll) {
                m_fall.readings.readAfterPoll(record.sngSpeed);
                m_fall.settle(record, false);
            } else {
                m_fall.readings.read(record.sngSpeed);
            }
        }
    }
    m_display.txtspeed = formatSpeed(record.sngSpeed);
    return m_speedFresh;
}

bool RunPoll::readTimes(DeviceInfo &record, readout::TimesPoll &poll)
{
    if (!m_device.mayGoOn())
        return false;
    ByteBuffer times(readout::kTimesBytes);
    m_device.intLastErr = m_device.commands().Read_Times(m_device.address(), times);
    if (!m_device.judge(commands::Read_Times.name, m_device.intLastErr))
        return false;
    m_timesTaken = true;
    poll.stopSpeed = m_stopSpeed;
    poll.startedUnseen = std::exchange(m_startedUnseen, 0);
    poll.speeds = &m_fall;
    poll.speedJustRead = m_speedFresh && !poll.stopSent; // (after a stop it was not taken)
    readout::takeTimes(record, times, m_display.channels, poll);
    m_display.txtDisplay = kReadSuccessful;
    return true;
}

void RunPoll::sessionTimeRestarts(DeviceInfo &record)
{
    m_fall.settle(record, true);
    m_fall.readings.clear();
    m_fall.startTime.fill(0.0f);
}

} // namespace velorix
