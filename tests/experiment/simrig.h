#pragma once

// A simulated bus inside the test, on a clock the test moves by hand. The
// program's link reaches it through a port component that hands each
// request to the bus and delivers the reply at once (or after a set delay),
// so a whole session plays deterministically in milliseconds.

#include "link/serialbackend.h"
#include "protocol/multidevmod.h"
#include "simulator/commandset.h"
#include "simulator/simbus.h"

#include <QTimer>

#include <memory>
#include <utility>

namespace velorix::testing {

struct SimRig
{
    sim::SimConfig config = [] {
        sim::SimConfig quiet;
        quiet.wireTiming = false;
        quiet.latencyMs = 0;
        return quiet;
    }();
    std::unique_ptr<sim::SimBus> bus;
    qint64 nowUs = 1'000'000;
    int replyDelayMs = 0;
    bool refuseOpen = false; // the system refuses the port

    void build()
    {
        bus = std::make_unique<sim::SimBus>(config);
        bus->setFrameLogEnabled(true);
    }
    void advance(double seconds)
    {
        nowUs += qint64(seconds * 1e6);
        (void)bus->poll(nowUs);
    }
    // Writes device memory behind the program's back (and out of the log).
    void poke(quint8 address, quint8 location, quint8 value)
    {
        bus->setFrameLogEnabled(false);
        const char frame[] = {char(address), char(sim::Code::WriteMem), char(location), char(value)};
        (void)bus->receive(sim::withChecksum(QByteArray(frame, 4)), nowUs);
        bus->setFrameLogEnabled(true);
    }
    [[nodiscard]] quint8 peek(quint8 address, quint8 location) const
    {
        return bus->device(address)->memory().at(location);
    }
    // The requests to `address` (with this code, or any), oldest first.
    [[nodiscard]] std::vector<QByteArray> requestsTo(quint8 address, int code = -1) const
    {
        std::vector<QByteArray> frames;
        for (const sim::FrameLogEntry &entry : bus->frameLog()) {
            if (entry.direction == sim::FrameLogEntry::Direction::ToDevice && entry.bytes.size() >= 2
                && quint8(entry.bytes[0]) == address && (code < 0 || quint8(entry.bytes[1]) == code))
                frames.push_back(entry.bytes);
        }
        return frames;
    }
    [[nodiscard]] std::vector<int> codesSent(quint8 address) const
    {
        std::vector<int> codes;
        for (const QByteArray &frame : requestsTo(address))
            codes.push_back(quint8(frame[1]));
        return codes;
    }
};

class SimRigBackend final : public SerialBackend
{
public:
    explicit SimRigBackend(std::shared_ptr<SimRig> rig) : m_rig(std::move(rig)) {}

    [[nodiscard]] QStringList availablePorts() const override { return {QStringLiteral("SIM")}; }
    [[nodiscard]] bool open(const QString &name, PortError *error) override
    {
        if (m_rig->refuseOpen && error)
            *error = PortError{5, QStringLiteral("Access denied")};
        return m_open = !m_rig->refuseOpen && name == QStringLiteral("SIM");
    }
    void close() override
    {
        m_open = false;
        ++m_generation;
    }
    [[nodiscard]] bool isOpen() const override { return m_open; }
    bool applyLineSettings(const LineSettings &) override { return true; }
    void discardInput() override { m_input.clear(); }
    [[nodiscard]] bool write(const ByteBuffer &bytes) override
    {
        if (!m_open)
            return false;
        QByteArray reply;
        // A late reply (the Late fault) is dropped: the link gave up on it.
        for (const sim::Transmission &t : m_rig->bus->receive(
                 QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())), m_rig->nowUs)) {
            if (t.dueUs - m_rig->nowUs < 90'000)
                reply += t.bytes;
        }
        if (!reply.isEmpty()) {
            QTimer::singleShot(m_rig->replyDelayMs, this, [this, generation = m_generation, reply] {
                if (generation != m_generation)
                    return;
                m_input.insert(m_input.end(), reply.cbegin(), reply.cend());
                emit readyRead();
            });
        }
        return true;
    }
    [[nodiscard]] ByteBuffer readAll() override { return std::exchange(m_input, {}); }

private:
    std::shared_ptr<SimRig> m_rig;
    ByteBuffer m_input;
    bool m_open = false;
    int m_generation = 0;
};

} // namespace velorix::testing
