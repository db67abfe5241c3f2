#pragma once

// When and in which pieces a reply reaches the line. The request is counted
// as if it had gone over the wire from the moment its last bytes arrived,
// then comes the device's processing latency, then the reply's own bytes; a
// reply is handed out whole at the moment its last byte would have arrived,
// so the program sees the exchange time of a real line. Device replies never
// overlap: a reply waits until the one before it has left.

#include "simulator/faults.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QtGlobal>

#include <optional>
#include <vector>

namespace velorix::sim {

struct Transmission
{
    qint64 dueUs = 0; // when the bytes are handed to the line
    QByteArray bytes;
};

class ReplyShaper
{
public:
    static constexpr qint64 kLateMarginUs = 50'000;

    void setWireTiming(bool on) { m_wireTiming = on; }
    [[nodiscard]] bool wireTiming() const { return m_wireTiming; }
    void setLatencyUs(qint64 latency) { m_latencyUs = qMax<qint64>(0, latency); }
    [[nodiscard]] qint64 latencyUs() const { return m_latencyUs; }

    // 10 bits a byte at 19200 baud, or nothing with wire timing off.
    [[nodiscard]] qint64 wireUs(qsizetype bytes) const;

    // The transmissions of `reply` (address to checksum, correct) to a
    // request of `requestLength` bytes whose last byte came at `requestEndUs`,
    // with `fault` applied. `timeoutMs` is how long the program waits.
    [[nodiscard]] std::vector<Transmission> shape(const QByteArray &reply, qsizetype requestLength,
                                                  int timeoutMs, std::optional<FaultKind> fault,
                                                  qint64 requestEndUs, QRandomGenerator &random);

private:
    bool m_wireTiming = true;
    qint64 m_latencyUs = 2'000;
    qint64 m_lineFreeUs = 0;
};

} // namespace velorix::sim
