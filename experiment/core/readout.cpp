#include "experiment/core/readout.h"

#include "experiment/core/expnumbers.h"
#include "experiment/core/speedtrace.h"
#include "protocol/channelbits.h"

#include <algorithm>
#include <limits>

namespace velorix::readout {

namespace {

float valueAt(const ByteBuffer &body, std::size_t at)
{
    return tenthsValue(body[at], body[at + 1]);
}

// Whether a Read_Times body gives a time for the channel (0 means none).
bool timeGiven(const ByteBuffer &body, int channel)
{
    return body[2 * channel] != 0 || body[2 * channel + 1] != 0;
}

// Readings kept for the falls still to be given a speed: a few polls' worth.
constexpr std::size_t kReadingsKept = 8;
// Session times are tenths carried in floats.
constexpr float kTimeSlack = 0.001f;

std::uint8_t bitOf(int channel)
{
    return std::uint8_t(1u << channel);
}

} // namespace

void SpeedReadings::clear()
{
    m_readings.clear();
    m_lastPoll = 0;
}

void SpeedReadings::read(float speed)
{
    // Readings between the same two polls are dated alike: the newest
    // stands for them all.
    if (!m_readings.empty() && m_readings.back().open) {
        m_readings.back().speed = speed;
        return;
    }
    m_readings.push_back(Reading{speed, m_lastPoll, m_lastPoll, true});
    if (m_readings.size() > kReadingsKept)
        m_readings.erase(m_readings.begin());
}

void SpeedReadings::readAfterPoll(float speed)
{
    read(speed);
    m_readings.back().open = false;
}

void SpeedReadings::polled(float sessionTime, bool speedJustBefore)
{
    if (speedJustBefore && !m_readings.empty() && m_readings.back().open)
        m_readings.back().after = sessionTime;
    for (Reading &reading : m_readings) {
        if (reading.open) {
            reading.before = sessionTime;
            reading.open = false;
        }
    }
    m_lastPoll = sessionTime;
}

std::optional<float> SpeedReadings::near(float at, float reach) const
{
    std::optional<float> best;
    float bestDistance = 0;
    for (const Reading &reading : m_readings) {
        if (reading.open)
            continue; // not dated yet: it may come from long after the fall
        const float distance = std::max(at - reading.after, reading.before - at);
        if (distance > reach + kTimeSlack)
            continue;
        if (!best || distance <= bestDistance) {
            best = reading.speed;
            bestDistance = distance;
        }
    }
    return best;
}

float FallSpeeds::reach(const DeviceInfo &record)
{
    const RampPlan plan = rampPlanOf(record);
    // A wheel that never changes speed has the fall's speed at any time.
    return ramps(plan) ? float(plan.interval) : std::numeric_limits<float>::infinity();
}

void FallSpeeds::settle(DeviceInfo &record, bool final)
{
    for (int c = 0; c < kChannels; ++c)
        settle(record, c, final);
}

void FallSpeeds::settle(DeviceInfo &record, int channel, bool final)
{
    const std::uint8_t bit = bitOf(channel);
    if (!(owed & bit))
        return;
    if (const std::optional<float> speed = readings.near(fallTime[channel], reach(record))) {
        record.sngChanSpeed[channel] = *speed;
    } else if (final) {
        // The device follows its ramp, so the ramp at the fall is the
        // speed the wheel had then.
        record.sngChanSpeed[channel] = float(rampSpeedAt(rampPlanOf(record), fallTime[channel]));
        fromRamp |= bit;
    } else {
        return;
    }
    owed &= std::uint8_t(~bit);
}

QString runningCaption(int channel)
{
    // Channel 2's caption has always been written this way.
    if (channel == 1)
        return QStringLiteral("CH2 Running");
    return QStringLiteral("Ch%1 Running").arg(channel + 1);
}

QString rotationCaption(int channel)
{
    return channel == 3 ? QStringLiteral("Pas.Rotation") : QStringLiteral("Pas. Rotation");
}

QString sensorText(int channel, std::uint8_t byte)
{
    QString text = QStringLiteral("m");
    for (int k = 1; k <= 6; ++k) {
        const int bit = channel < 2 ? k : 7 - k;
        text += bitSet(byte, bit) ? QLatin1Char('l') : QLatin1Char('m');
    }
    text += QLatin1Char('m');
    return text;
}

float speedOf(const ByteBuffer &body)
{
    return body.size() >= kSpeedBytes ? valueAt(body, 0) : 0.0f;
}

void takeRotationTimes(DeviceInfo &record, const ByteBuffer &body, ChannelViews &views)
{
    if (body.size() < kRotTimesBytes)
        return;
    const float delay = record.intRotDelay / 10.0f;
    for (int c = 0; c < kChannels; ++c) {
        float rotation = valueAt(body, 2 * c) - delay;
        if (rotation < 0)
            rotation = 0;
        record.sngRotTime[c] = rotation;
        views[c].rotTime = format1(rotation);
        record.sngTotalTime[c] = record.sngRotTime[c] + record.sngRunTime[c];
    }
    record.bytRotBits = body[8];
}

void takeRotationSpeeds(DeviceInfo &record, const ByteBuffer &body, ChannelViews &views)
{
    if (body.size() < kRotSpeedBytes)
        return;
    for (int c = 0; c < kChannels; ++c) {
        record.sngRotSpeed[c] = valueAt(body, 2 * c);
        views[c].rotSpeed = format1(record.sngRotSpeed[c]);
    }
}

namespace {

// The speeds owed to earlier falls that a reading of this poll settles.
void settleOwedSpeeds(DeviceInfo &record, ChannelViews &views, FallSpeeds &speeds)
{
    const std::uint8_t owed = speeds.owed;
    speeds.settle(record, false);
    for (int c = 0; c < kChannels; ++c) {
        if (bitSet(owed & ~speeds.owed, c))
            views[c].chSpeed = format1(record.sngChanSpeed[c]);
    }
}

// The speed of a channel that ran in the reply before.
void takeChannelSpeed(DeviceInfo &record, int c, float channelTime, bool runsOn, const TimesPoll &poll)
{
    if (poll.speeds && runsOn) {
        // While it runs the device gives the session time it began at.
        poll.speeds->startTime[c] = channelTime;
        poll.speeds->owed &= std::uint8_t(~bitOf(c));
        poll.speeds->fromRamp &= std::uint8_t(~bitOf(c));
    }
    // Once Stop_Exp has gone out the wheel stands still, so the speed read
    // in this poll is 0; a run cut short by the stop gets the speed the
    // wheel turned at when the stop went out.
    if (poll.BolStopping || (poll.stopSent && !runsOn)) {
        record.sngChanSpeed[c] = poll.stopSpeed;
    } else if (poll.speeds && !runsOn) {
        // The fall: once stopped the device gives the run's length.
        FallSpeeds &speeds = *poll.speeds;
        speeds.fallTime[c] = speeds.startTime[c] + channelTime;
        speeds.owed |= bitOf(c);
        speeds.fromRamp &= std::uint8_t(~bitOf(c));
        speeds.settle(record, c, false);
    } else {
        record.sngChanSpeed[c] = record.sngSpeed;
    }
}

// A channel that ran in the reply before: its time so far, or its run's.
void takeRunningChannel(DeviceInfo &record, const ByteBuffer &body, ChannelView &view, int c,
                        const TimesPoll &poll)
{
    if (record.bolChanArmed[c]) {
        record.dtChanStart[c] = poll.now;
        record.bolChanArmed[c] = false;
    }
    view.caption = runningCaption(c);
    const bool given = timeGiven(body, c);
    const float channelTime = given ? valueAt(body, 2 * c) : 0.0f;
    record.sngRunTime[c] = given ? channelTime : record.sngElapsed;
    takeChannelSpeed(record, c, channelTime, bitSet(record.bytChanBits, c), poll);
    view.chSpeed = format1(record.sngChanSpeed[c]);
    record.bolResultReady[c] = true;
}

// A channel idle in the reply before: rotating, or ready for a subject;
// a result it holds is recorded.
void takeIdleChannel(DeviceInfo &record, ChannelView &view, int c, const TimesPoll &poll)
{
    if (bitSet(record.bytRotBits, c)) {
        view.caption = rotationCaption(c);
    } else {
        view.caption = QStringLiteral("Subject ID");
        view.buttonEnabled = true;
        record.bolChanArmed[c] = true;
    }
    if (record.bolResultReady[c]) {
        if (poll.updateexpdata)
            poll.updateexpdata(c, false);
        view.runTime = format1(record.sngRunTime[c]);
    }
}

// The run is over: every channel still on or still rotating gives its
// result now. One whose rotation bit a device keeps set after the stop is
// recorded as far as it got, since no later poll will come for it.
void recordStoppedRuns(DeviceInfo &record, const ByteBuffer &body, const TimesPoll &poll)
{
    for (int c = 0; c < kChannels; ++c) {
        if (!bitSet(record.bytPrevChanBits, c) && !bitSet(record.bytRotBits, c))
            continue;
        if (!record.bolResultReady[c])
            continue;
        record.sngRunTime[c] = valueAt(body, 2 * c);
        // The total was summed before this reply came; sum it again so it
        // matches the run time recorded with it.
        record.sngTotalTime[c] = record.sngRotTime[c] + record.sngRunTime[c];
        if (poll.updateexpdata)
            poll.updateexpdata(c, true);
    }
}

} // namespace

void takeTimes(DeviceInfo &record, const ByteBuffer &body, ChannelViews &views, TimesPoll &poll)
{
    if (body.size() < kTimesBytes)
        return;
    record.sngElapsed = valueAt(body, 9);
    if (poll.speeds) {
        poll.speeds->readings.polled(record.sngElapsed, poll.speedJustRead);
        settleOwedSpeeds(record, views, *poll.speeds);
    }

    if (record.intDuration > 0 && record.intDuration <= record.sngElapsed && !poll.BolStopping) {
        // Stop_Exp goes out at the next tick; the channels wait for the
        // poll in which it has succeeded.
        poll.bolstop = true;
        return;
    }

    record.bytPrevChanBits = record.bytChanBits;
    record.bytChanBits = body[8];
    for (int c = 0; c < kChannels; ++c) {
        if (bitSet(poll.startedUnseen, c) && (bitSet(record.bytChanBits, c) || timeGiven(body, c)))
            record.bytPrevChanBits |= std::uint8_t(1u << c);
    }
    for (int c = 0; c < kChannels; ++c) {
        if (bitSet(record.bytPrevChanBits, c))
            takeRunningChannel(record, body, views[c], c, poll);
        else
            takeIdleChannel(record, views[c], c, poll);
    }
    if (poll.BolStopping)
        recordStoppedRuns(record, body, poll);
}

float liveRunTime(const DeviceInfo &record, int channel)
{
    const float start = record.sngRunTime[channel];
    return record.sngElapsed == start ? start : record.sngElapsed - start;
}

void updatetimes(const DeviceInfo &record, ChannelViews &views, QString &txttime, QString &txtch_enables)
{
    for (int c = 0; c < kChannels; ++c) {
        if (bitSet(record.bytPrevChanBits, c))
            views[c].runTime = format1(liveRunTime(record, c));
    }
    txttime = format1(record.sngElapsed);
    txtch_enables = QString::number(record.bytPrevChanBits);
}

} // namespace velorix::readout
