#include "simulator/devicememory.h"

namespace velorix::sim {

DeviceMemory::DeviceMemory(quint8 busAddress)
{
    m_bytes[kBusAddress] = busAddress;
    setWord(kStartSpeed, 50);
    setWord(kEndSpeed, 400);
    setWord(kAccInterval, 100);
    m_bytes[kAccStep] = 5;
    m_bytes[kOptions] = 0x11; // RPM, mouse wheel
    m_bytes[42] = 144;
    m_bytes[43] = 76;
    m_bytes[44] = 96;
    m_bytes[kDirection] = 0;
    m_bytes[kRotationDelay] = 20;
    // Calibration constants differ per location so that a reader that mixes
    // them up is caught.
    for (int i = 0; i < 8; ++i)
        m_bytes[kCalibration + i] = static_cast<quint8>(100 + 7 * i);
}

SessionSetup DeviceMemory::sessionSetup() const
{
    return {word(kStartSpeed), word(kEndSpeed), word(kAccInterval), m_bytes[kAccStep],
            m_bytes[kRotationDelay]};
}

QByteArray DeviceMemory::bytes() const
{
    return QByteArray(reinterpret_cast<const char *>(m_bytes.data()), kSize);
}

int DeviceMemory::word(quint8 lowLocation) const
{
    return m_bytes[lowLocation] + 256 * m_bytes[lowLocation + 1];
}

void DeviceMemory::setWord(quint8 lowLocation, int value)
{
    m_bytes[lowLocation] = static_cast<quint8>(value & 0xFF);
    m_bytes[lowLocation + 1] = static_cast<quint8>((value >> 8) & 0xFF);
}

} // namespace velorix::sim
