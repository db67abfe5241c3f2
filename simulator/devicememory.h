#pragma once

// The 256 memory locations of one device and the meaning of the few that the
// device itself acts on.

#include <QByteArray>
#include <QtGlobal>

#include <array>

namespace velorix::sim {

// The experiment set-up as the device takes it from memory when a session
// starts: speeds in tenths of the speed unit, times in tenths of a second.
struct SessionSetup
{
    int startSpeed = 0;
    int endSpeed = 0;
    int accIntervalTenths = 0;
    int accStep = 0;
    int rotationDelayTenths = 0;
};

class DeviceMemory
{
public:
    static constexpr int kSize = 256;
    static constexpr quint8 kBusAddress = 16;
    static constexpr quint8 kProgramSwitch = 18;
    static constexpr quint8 kProgramArmValue = 19;
    static constexpr quint8 kStartSpeed = 34;  // two bytes, low first
    static constexpr quint8 kEndSpeed = 36;    // two bytes
    static constexpr quint8 kAccInterval = 38; // two bytes
    static constexpr quint8 kAccStep = 40;
    static constexpr quint8 kOptions = 41;
    static constexpr quint8 kDirection = 46;
    static constexpr quint8 kRotationDelay = 47;
    static constexpr quint8 kCalibration = 48; // eight constants, 48 to 55

    // Factory contents: the given bus address and a usable set-up (5.0 to
    // 40.0 RPM in steps of 0.5 every 10 s, mouse wheel, rotation delay 2.0 s).
    explicit DeviceMemory(quint8 busAddress);

    [[nodiscard]] quint8 at(quint8 location) const { return m_bytes[location]; }
    void set(quint8 location, quint8 value) { m_bytes[location] = value; }

    [[nodiscard]] SessionSetup sessionSetup() const;
    [[nodiscard]] QByteArray bytes() const;

private:
    [[nodiscard]] int word(quint8 lowLocation) const;
    void setWord(quint8 lowLocation, int value);

    std::array<quint8, kSize> m_bytes{};
};

} // namespace velorix::sim
