#pragma once

// Shared ground of the discovery tests: clean shared state (statekit.h), a
// scripted bus on which devices answer by address on COM2, and a log of what
// a port search or a bus scan reported, one line per signal ("status
// Scanning Complete.", "device 2 identified", "found 1", ...).

#include "scriptedbus.h"
#include "statekit.h"

#include "discovery/core/busscan.h"
#include "discovery/core/portsearch.h"

#include <QRegularExpression>

namespace velorix::testing {

inline QString logText(const QString &text)
{
    return text;
}
inline QString logText(int value)
{
    return QString::number(value);
}
inline QString logText(BusScan::Check check)
{
    return QStringList{"silent", "identified", "wrong product"}[int(check)];
}

class DiscoveryTest : public SharedStateTest
{
protected:
    void SetUp() override
    {
        SharedStateTest::SetUp();
        setSerialBackendFactory(memoryPorts(bus));
    }
    // Device `number` of the table at `address`, answering with `identity` (when given).
    void device(int number, std::uint8_t address, const char *identity = nullptr,
                std::int16_t type = kDevTypeVelorix5)
    {
        configure(number, address, type, 1.5f);
        answer(address, identity);
    }
    void answer(std::uint8_t address, const char *identity)
    {
        if (identity)
            bus->identities["COM2"][address] = QLatin1String(identity);
    }
    // Logs each signal given after its name, with its values.
    template<class Source, class Signal, class... More>
    void note(Source *source, const char *name, Signal signal, More... more)
    {
        QObject::connect(source, signal, [this, name](auto... values) {
            log << (QStringList{QLatin1String(name)} << ... << logText(values)).join(QLatin1Char(' '));
        });
        if constexpr (sizeof...(More) > 0)
            note(source, more...);
    }
    void record(PortSearch *search)
    {
        note(search, "status", &PortSearch::statusChanged, "found", &PortSearch::found, "missed",
             &PortSearch::deviceMissed, "nothing found", &PortSearch::nothingFound);
    }
    void record(BusScan *scan)
    {
        note(scan, "started", &BusScan::started, "status", &BusScan::statusChanged, "range",
             &BusScan::progressRange, "progress", &BusScan::progress, "cleared", &BusScan::checksCleared,
             "cleared", &BusScan::listCleared, "device", &BusScan::deviceChecked, "found",
             &BusScan::deviceFound, "finished", &BusScan::finished);
    }
    [[nodiscard]] QStringList logged(const char *kind) const
    {
        return log.filter(QRegularExpression(QLatin1Char('^') + QLatin1String(kind)));
    }

    std::shared_ptr<ScriptedBus> bus = std::make_shared<ScriptedBus>();
    QStringList log;
};

} // namespace velorix::testing
