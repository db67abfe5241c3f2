#pragma once

// The run-time readout of a poll: decoding the device's time, rotation and
// sensor replies into the device record, the per-channel decisions on the
// running bits of the reply before, and the texts the channel area shows.
// Pure: the controller sends the commands and hands the replies in.

#include "model/deviceinfo.h"
#include "link/bytebuffer.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace velorix {

// What the channel area shows of one channel.
struct ChannelView
{
    QString sensor = QStringLiteral("mmmmmmmm"); // "l" a broken beam, "m" a clear one
    QString caption = QStringLiteral("Subject ID");
    bool buttonEnabled = true;
    QString runTime;  // txtrun_time
    QString chSpeed;  // txtch_speed
    QString rotTime;  // txtrot_time
    QString rotSpeed; // txtrot_speed
};

using ChannelViews = std::array<ChannelView, kChannels>;

namespace readout {

// Reply bodies (data bytes) of the poll's commands.
constexpr std::size_t kTimesBytes = 11;
constexpr std::size_t kRotTimesBytes = 9;
constexpr std::size_t kRotSpeedBytes = 8;
constexpr std::size_t kSensorBytes = 4;
constexpr std::size_t kSpeedBytes = 2;

[[nodiscard]] QString runningCaption(int channel);
[[nodiscard]] QString rotationCaption(int channel);

// The eight-character beam text of a channel's sensor byte: "m", bits 1 to
// 6 ("l" set, "m" clear), "m". Channels 1 and 2 show bit 1 on the left,
// channels 3 and 4 bit 6, as the beams face each other on the device.
[[nodiscard]] QString sensorText(int channel, std::uint8_t byte);

// The wheel speed of a Read_Speed body.
[[nodiscard]] float speedOf(const ByteBuffer &body);

// update_Rot_Info with the Read_ROT_Times body: passive-rotation times less
// the delay (never below 0), totals, and the rotation bits.
void takeRotationTimes(DeviceInfo &record, const ByteBuffer &body, ChannelViews &views);
// update_Rot_Info with the Read_ROT_Speed body.
void takeRotationSpeeds(DeviceInfo &record, const ByteBuffer &body, ChannelViews &views);

// The wheel speed readings of one device session, each dated by the
// session times of the good Read_Times replies around it (the poll reads
// the speed before the times), so that a fall gets only a speed known to
// have been read near it.
class SpeedReadings
{
public:
    // The device's session time starts again from 0 (Start_Exp).
    void clear();
    // A Read_Speed got through: read after the last poll, before the next.
    void read(float speed);
    // A Read_Speed right after this tick's poll: dated at its session time.
    void readAfterPoll(float speed);
    // A Read_Times got through with this session time; `speedJustBefore`:
    // the exchange before it was a Read_Speed that got through, which is
    // then dated at this poll.
    void polled(float sessionTime, bool speedJustBefore);
    [[nodiscard]] float lastPoll() const { return m_lastPoll; }
    // The speed of the reading that was surely taken within `reach` seconds
    // of session time `at`, the nearest one; none when no reading was.
    [[nodiscard]] std::optional<float> near(float at, float reach) const;

private:
    struct Reading
    {
        float speed = 0;
        float after = 0;  // session time of the poll before the reading
        float before = 0; // ... of the poll after it
        bool open = true; // that poll has not come yet
    };
    std::vector<Reading> m_readings; // oldest first, the last few
    float m_lastPoll = 0;
};

// What the speed of a fall needs from one poll to the next.
struct FallSpeeds
{
    SpeedReadings readings;
    std::array<float, kChannels> startTime{}; // session time the channel's run began at
    std::array<float, kChannels> fallTime{};  // session time of the fall whose speed is owed
    std::uint8_t owed = 0;                    // channels whose fall has no speed read near it yet
    std::uint8_t fromRamp = 0;                // channels whose fall got the set-up's ramp instead

    // Gives the owed channels the speed read nearest their fall where one
    // was read within one acceleration interval of it; `final`: the others
    // get the speed the set-up's ramp has at the fall.
    void settle(DeviceInfo &record, bool final);
    // Of one channel only.
    void settle(DeviceInfo &record, int channel, bool final);
    // How far from a fall a reading may be and still be the fall's speed:
    // one acceleration interval, within which the wheel moves one step.
    [[nodiscard]] static float reach(const DeviceInfo &record);
};

struct TimesPoll
{
    bool BolStopping = false; // Stop_Exp succeeded in this tick
    // The wheel speed read last before Stop_Exp went out: the speed of the
    // runs the stop cuts short (the wheel stands still once it has gone).
    float stopSpeed = 0.0f;
    // A Stop_Exp went out (its answer may have been lost): channels seen
    // stopping now were stopped by it, at the speed it went out at.
    bool stopSent = false;
    // Channels a start command (Start_Exp, Master Start) has just set going,
    // not yet seen in a reply: they count as running in the reply before, so
    // a subject that fell before the first poll still gives its result (a
    // channel that shows no time at all never ran and is left alone).
    std::uint8_t startedUnseen = 0;
    // The speed readings dated by session time: with them a fall takes the
    // reading nearest it (after a gap of failed polls, too), and one with
    // none near it is owed; without them, the speed this poll read.
    FallSpeeds *speeds = nullptr;
    bool speedJustRead = false; // the exchange before this Read_Times was a good Read_Speed
    bool bolstop = false;       // in: as it is; out: set when the duration is reached
    QDateTime now;
    // updateexpdata(channel, runOver): records the channel's result unless
    // it is still in passive rotation and the run is not over.
    std::function<void(int, bool)> updateexpdata;
};

// Read_Times with a successful reply body: session time, the duration stop,
// the running bits and each channel's decision, the final results at a stop.
void takeTimes(DeviceInfo &record, const ByteBuffer &body, ChannelViews &views, TimesPoll &poll);

// The run time a running channel has reached by the last reply: the
// session time less the channel's start, or the session time itself for a
// channel that started with the session.
[[nodiscard]] float liveRunTime(const DeviceInfo &record, int channel);

// updatetimes: the live run times, the session time and the running bits.
void updatetimes(const DeviceInfo &record, ChannelViews &views, QString &txttime, QString &txtch_enables);

} // namespace readout

} // namespace velorix
