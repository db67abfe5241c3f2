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

struct TimesPoll
{
    bool BolStopping = false; // Stop_Exp succeeded in this tick
    // The wheel speed read last before Stop_Exp went out: the speed of the
    // runs the stop cuts short (the wheel stands still once it has gone).
    float stopSpeed = 0.0f;
    // A Stop_Exp went out (its answer may have been lost): channels seen
    // stopping now were stopped by it, at the speed it went out at.
    bool stopSent = false;
    // The poll before this one got no times (a lost reply, a pulled cable):
    // a channel seen stopped now fell meanwhile, at a speed this poll's
    // speed no longer shows; it keeps the speed last seen while it ran.
    bool afterGap = false;
    // Channels a start command (Start_Exp, Master Start) has just set going,
    // not yet seen in a reply: they count as running in the reply before, so
    // a subject that fell before the first poll still gives its result (a
    // channel that shows no time at all never ran and is left alone).
    std::uint8_t startedUnseen = 0;
    bool bolstop = false;     // in: as it is; out: set when the duration is reached
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
void updatetimes(const DeviceInfo &record, ChannelViews &views, QString &txttime,
                 QString &txtch_enables);

} // namespace readout

} // namespace velorix
