#pragma once

// The device simulator inside a test, on a clock the test moves by hand.
//
// SimRig holds a SimBus: send()/exchange() hand it requests and return its
// replies at once, advance() lets time pass. It can poke and peek device
// memory behind the program's back and lists the requests each address
// got (from the bus's frame log). answerNow() is what simkit.h uses to
// put the rig behind the program's link, so a whole session plays
// deterministically in milliseconds.
// Helpers: a request with its checksum, a reply's tenths and body bytes,
// the quiet configuration (no wire timing, no latency) and firmware records.

#include "simulator/commandset.h"
#include "simulator/simbus.h"

#include <QByteArray>

#include <initializer_list>
#include <memory>
#include <vector>

namespace velorix::testing {

// Wire timing off and no latency: replies are due the moment the request is in.
inline sim::SimConfig quietConfig()
{
    sim::SimConfig config;
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
    return sim::withChecksum(out);
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

// The requests in a frame log to `address` (with this code, or any), oldest first.
inline std::vector<QByteArray> requestsIn(const std::vector<sim::FrameLogEntry> &log, quint8 address,
                                          int code = -1)
{
    std::vector<QByteArray> frames;
    for (const sim::FrameLogEntry &entry : log) {
        if (entry.direction == sim::FrameLogEntry::Direction::ToDevice && entry.bytes.size() >= 2
            && quint8(entry.bytes[0]) == address && (code < 0 || quint8(entry.bytes[1]) == code))
            frames.push_back(entry.bytes);
    }
    return frames;
}

// An Intel HEX record ":LLAAAATT<data>CC" of `data` at `offset`, with its checksum.
inline QByteArray hexRecord(int type, int offset, const QByteArray &data)
{
    QByteArray bytes
            = QByteArray(1, char(data.size())) + char(offset >> 8) + char(offset & 0xFF) + char(type) + data;
    int sum = 0;
    for (const char byte : bytes)
        sum += quint8(byte);
    return ':' + (bytes + char(-sum)).toHex().toUpper();
}

struct PortPeer; // memoryport.h

struct SimRig
{
    SimRig() { build(); }
    explicit SimRig(const sim::SimConfig &given) : config(given) { build(); }

    sim::SimConfig config = quietConfig();
    std::unique_ptr<sim::SimBus> bus; // built anew from `config` by build() and attach()
    qint64 nowUs = 1'000'000;
    std::vector<sim::Transmission> last;

    void build()
    {
        bus = std::make_unique<sim::SimBus>(config);
        bus->setFrameLogEnabled(true);
    }
    // Sends raw bytes and returns every byte the bus sends back for them.
    QByteArray send(const QByteArray &bytes)
    {
        last = bus->receive(bytes, nowUs);
        return joined(last);
    }
    QByteArray exchange(std::initializer_list<int> request) { return send(frame(request)); }
    // Real (and, at scale 1, device) time passes; an unfinished request may
    // expire. Returns what the bus sent meanwhile.
    QByteArray advance(double seconds)
    {
        nowUs += qint64(seconds * 1e6);
        last = bus->poll(nowUs);
        return joined(last);
    }
    // Writes device memory behind the program's back (and out of the log).
    void poke(quint8 address, quint8 location, quint8 value)
    {
        bus->setFrameLogEnabled(false);
        (void)send(frame({address, int(sim::Code::WriteMem), location, value}));
        bus->setFrameLogEnabled(true);
    }
    [[nodiscard]] quint8 peek(quint8 address, quint8 location) const
    {
        return bus->device(address)->memory().at(location);
    }
    [[nodiscard]] std::vector<QByteArray> requestsTo(quint8 address, int code = -1) const
    {
        return requestsIn(bus->frameLog(), address, code);
    }
    [[nodiscard]] std::vector<int> codesSent(quint8 address) const
    {
        std::vector<int> codes;
        for (const QByteArray &request : requestsTo(address))
            codes.push_back(quint8(request[1]));
        return codes;
    }

    // Builds the bus anew from `config` and puts it behind a memory port named "SIM" (`port`, which the test
    // may steer: reply delay, refusal) and returns that port's peer
    // (defined in simkit.h, with the memory port).
    template<class Peer = PortPeer>
    std::shared_ptr<Peer> attach();
    std::shared_ptr<PortPeer> port;

    static QByteArray joined(const std::vector<sim::Transmission> &transmissions)
    {
        QByteArray all;
        for (const sim::Transmission &transmission : transmissions)
            all += transmission.bytes;
        return all;
    }

    // The bytes the bus answers a request with now. A late reply (the Late
    // fault) is dropped: a link has given up on it by then.
    std::vector<std::uint8_t> answerNow(const std::vector<std::uint8_t> &request)
    {
        std::vector<std::uint8_t> reply;
        const QByteArray in(reinterpret_cast<const char *>(request.data()), qsizetype(request.size()));
        for (const sim::Transmission &t : bus->receive(in, nowUs)) {
            if (t.dueUs - nowUs < 90'000)
                reply.insert(reply.end(), t.bytes.cbegin(), t.bytes.cend());
        }
        return reply;
    }
};

} // namespace velorix::testing
