#pragma once

// A simulated bus of Velorix-5 devices on a pseudo-terminal, running on a
// thread of its own, so that a program under test that blocks its main
// thread in nested event loops still talks to a live device.
//
//     velorix::sim::SimConfig config;            // four devices 128..131, 2.20
//     config.timeScale = 20;                     // a 60 s session in 3 s
//     config.scenario.addRun(128, 1, {12.5, 4}); // falls at 12.5 s, rotates 4 s
//     velorix::sim::SimulatorHost sim(config);
//     if (!sim.start(&error)) ...;
//     QString port = sim.portPath();             // open this as the serial port
//     sim.injectFault(128, 96, velorix::sim::FaultKind::NoReply, 2);
//     ...
//     for (const auto &run : sim.groundTruth()) ...;
//     sim.unplug();                              // the client's next I/O fails
//
// Every member may be called from any thread except the simulator's own; each
// call is carried out on the simulator's thread and waits for it. Devices are
// named by the address they were configured with (see SimBus).

#include "simulator/faults.h"
#include "simulator/framelog.h"
#include "simulator/groundtruth.h"
#include "simulator/scenario.h"
#include "simulator/simconfig.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThread>

#include <memory>
#include <optional>
#include <vector>

namespace velorix::sim {

class PtyServer;
class SimBus;

struct DeviceStatus
{
    quint8 address = 0;    // as configured
    quint8 busAddress = 0; // memory location 16 now
    int firmwareVersion = 0;
    bool inProgramMode = false;
    bool present = true;
};

class SimulatorHost : public QObject
{
    Q_OBJECT
public:
    explicit SimulatorHost(SimConfig config = {}, QObject *parent = nullptr);
    ~SimulatorHost() override;

    // Starts the thread and opens the pseudo-terminal (and the link of the
    // configuration). False with `error` set when the terminal cannot open.
    [[nodiscard]] bool start(QString *error = nullptr);
    // Closes the terminal, removes the link and ends the thread. Queries keep
    // working on the devices' last state; start() goes on with them.
    void stop();
    [[nodiscard]] bool isRunning() const { return m_thread.isRunning(); }

    // The link when one was configured, else the slave path.
    [[nodiscard]] QString portPath() const;
    [[nodiscard]] QString slavePath() const;
    void unplug();
    // Plugs in again after unplug(); the slave path may change, the link (if
    // any) points to the new one.
    [[nodiscard]] bool replug(QString *error = nullptr);

    void setTimeScale(double scale);
    void setWireTiming(bool on);
    void setLatencyMs(double latency);
    void setFaultRates(const FaultRates &rates);
    void injectFault(const FaultInjection &injection);
    // The next `count` replies to requests with this address (or kAnyAddress)
    // and code (or kAnyCode) get `kind`.
    void injectFault(int address, int code, FaultKind kind, int count = 1);
    void clearInjectedFaults();
    void setDevicePresent(quint8 address, bool present);
    void setScenario(const Scenario &scenario);
    void setNewFirmwareVersion(std::optional<int> hundredths);
    void setFrameLogEnabled(bool enabled);

    [[nodiscard]] std::vector<RunRecord> groundTruth() const;
    [[nodiscard]] std::vector<FrameLogEntry> frameLog() const;
    [[nodiscard]] std::vector<DeviceStatus> devices() const;
    // 256 bytes; empty for an unknown address.
    [[nodiscard]] QByteArray deviceMemory(quint8 address) const;
    [[nodiscard]] DeviceCounters counters(quint8 address) const;

signals:
    // Every frame in and out, from the simulator's thread (connect with a
    // receiver in your thread to get it queued there).
    void frameLogged(const velorix::sim::FrameLogEntry &entry);

private:
    template<typename Work>
    auto onSimulatorThread(Work work) const;

    SimConfig m_config;
    std::unique_ptr<SimBus> m_bus;
    std::unique_ptr<PtyServer> m_server;
    QThread m_thread;
};

} // namespace velorix::sim
