#pragma once

// Drives a SimBus in-process with a hand-moved clock: requests in, replies
// out, no pseudo-terminal and no real waiting.

#include "simulator/commandset.h"
#include "simulator/simbus.h"

#include <QByteArray>

#include <initializer_list>
#include <vector>

namespace velorix::sim::testing {

// Wire timing off and no latency: replies are due the moment the request is in.
inline SimConfig quietConfig()
{
    SimConfig config;
    config.wireTiming = false;
    config.latencyMs = 0;
    return config;
}

// A request with its checksum appended.
inline QByteArray frame(std::initializer_list<int> bytes)
{
    QByteArray out;
    for (const int byte : bytes)
        out.append(char(byte));
    return withChecksum(out);
}

// The tenths value at body position `at` of a reply (reply byte at + 1).
inline int tenthsAt(const QByteArray &reply, int at)
{
    return quint8(reply.at(1 + at)) + 256 * quint8(reply.at(2 + at));
}

inline quint8 bodyByte(const QByteArray &reply, int at)
{
    return quint8(reply.at(1 + at));
}

class BusDriver
{
public:
    explicit BusDriver(const SimConfig &config = quietConfig()) : bus(config) {}

    // Sends raw bytes and returns every byte the bus sends back for them.
    QByteArray send(const QByteArray &bytes)
    {
        last = bus.receive(bytes, nowUs);
        return joined(last);
    }
    QByteArray exchange(std::initializer_list<int> request) { return send(frame(request)); }

    // Real time passes; an unfinished request may expire.
    QByteArray wait(double seconds)
    {
        nowUs += qint64(seconds * 1e6);
        last = bus.poll(nowUs);
        return joined(last);
    }

    static QByteArray joined(const std::vector<Transmission> &transmissions)
    {
        QByteArray all;
        for (const Transmission &transmission : transmissions)
            all += transmission.bytes;
        return all;
    }

    SimBus bus;
    qint64 nowUs = 1'000'000;
    std::vector<Transmission> last;
};

} // namespace velorix::sim::testing
