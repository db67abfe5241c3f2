#pragma once

// One simulated Velorix-5: its memory, firmware version and modes, and the
// reply it gives to each request addressed to it.
//
// Choices of this device where the command table only gives the frames:
// - `clear` forgets the times and rotation values of channels that neither
//   run nor rotate; `Read` returns the 16-byte status block below, `ReadClear`
//   returns it and then clears, `ReSend` repeats the last block sent (zeros
//   before the first).
//   Status block: bytes 0-7 the four channel times as in Read_Times, 8 the
//   running bits, 9 the rotation bits, 10-11 the session time, 12-13 the wheel
//   speed, 14 bit 0 session live, bit 1 diagnostic mode, bit 2 calibration
//   mode, 15 zero.
// - `PurgeON` is acknowledged and does nothing.
// - `CalModeON`/`CalModeOFF` switch a calibration flag (payload 0x55 on, any
//   other off) and echo bytes 1 and 2; `PumpSelect` echoes bytes 1 to 3.
// - `Program` (any key) arms program mode for the next reset, as writing 19
//   to location 18 does, and is acknowledged.
// - `SetGroupID` with 240 to 254 makes the device also answer frames sent to
//   that group address (reply byte 0 is then the group address); any other id
//   is refused with a NAK in reply byte 1. The group id survives resets.
// - `WriteMem` replies with the location and the value now stored there, so a
//   refused write shows in the echo: location 16 does not take 255 (that
//   address belongs to every device).
// - `Inc_Speed`/`Dec_Speed` act only in diagnostic mode; outside it they are
//   acknowledged without effect. `Stop_Diag` outside diagnostic mode likewise.
// - `Start_CHn`/`Start_ALL` act only while a session (experiment or
//   diagnostic) runs.
// - A reset in program mode before the end record keeps the device in program
//   mode (its firmware is incomplete); the loader starts over.

#include "simulator/devicememory.h"
#include "simulator/experimentsession.h"
#include "simulator/firmwareloader.h"
#include "simulator/groundtruth.h"
#include "simulator/scenario.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace velorix::sim {

class SimDevice
{
public:
    // `firmwareVersion` in hundredths (220 for 2.20). `scenario` is borrowed.
    SimDevice(quint8 address, int firmwareVersion, const Scenario *scenario);

    [[nodiscard]] quint8 homeAddress() const { return m_homeAddress; }
    [[nodiscard]] quint8 busAddress() const { return m_memory.at(DeviceMemory::kBusAddress); }
    [[nodiscard]] std::optional<quint8> groupAddress() const { return m_groupAddress; }
    [[nodiscard]] bool answersTo(quint8 address) const;
    [[nodiscard]] bool isInProgramMode() const { return m_programMode; }
    [[nodiscard]] int firmwareVersion() const { return m_firmwareVersion; }
    [[nodiscard]] bool isPresent() const { return m_present; }
    void setPresent(bool present) { m_present = present; }

    void setScenario(const Scenario *scenario) { m_session.setScenario(scenario); }
    // The version the device runs after a completed firmware transfer;
    // empty: it keeps its version.
    void setNewFirmwareVersion(std::optional<int> version) { m_newFirmwareVersion = version; }
    void failFlashWrites(int count) { m_loader.failNextWrites(count); }

    // Acts on a well-formed request addressed to this device and returns the
    // reply body (the bytes between address and checksum), or nothing when
    // the device does not answer.
    [[nodiscard]] std::optional<QByteArray> handle(QByteArrayView request, qint64 deviceUs);
    void reset(qint64 deviceUs);
    void advance(qint64 deviceUs) { m_session.advance(deviceUs); }

    [[nodiscard]] const DeviceMemory &memory() const { return m_memory; }
    [[nodiscard]] const DeviceCounters &counters() const { return m_counters; }
    [[nodiscard]] const ExperimentSession &session() const { return m_session; }
    [[nodiscard]] QString identity() const;

private:
    [[nodiscard]] std::optional<QByteArray> handleProgramMode(QByteArrayView request, qint64 deviceUs);
    [[nodiscard]] QByteArray handleNormal(QByteArrayView request, qint64 deviceUs);
    [[nodiscard]] QByteArray writeMemory(quint8 location, quint8 value);
    [[nodiscard]] QByteArray setGroup(quint8 group);
    [[nodiscard]] QByteArray statusBlock() const;
    [[nodiscard]] QByteArray timesReply() const;
    [[nodiscard]] QByteArray rotationTimesReply() const;
    [[nodiscard]] QByteArray rotationSpeedReply() const;
    [[nodiscard]] QByteArray sensorReply() const;

    quint8 m_homeAddress;
    int m_firmwareVersion;
    std::optional<int> m_newFirmwareVersion;
    DeviceMemory m_memory;
    ExperimentSession m_session;
    FirmwareLoader m_loader;
    DeviceCounters m_counters;
    std::optional<quint8> m_groupAddress;
    QByteArray m_lastBlock = QByteArray(16, '\0');
    bool m_programMode = false;
    bool m_calibrationMode = false;
    bool m_present = true;
};

} // namespace velorix::sim
