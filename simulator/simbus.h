#pragma once

// The devices on one line and the line itself: bytes come in with the real
// time they arrived at, replies go out as timed transmissions. The bus has no
// clock and no timers of its own, so it can be driven step by step in tests;
// PtyServer drives it from a pseudo-terminal.
//
// Devices are named by the address they were configured with; a device whose
// bus address has since changed is still found by that address, and by its
// new one when no other device was configured with it.

#include "simulator/deviceclock.h"
#include "simulator/faults.h"
#include "simulator/framelog.h"
#include "simulator/groundtruth.h"
#include "simulator/replyshaper.h"
#include "simulator/requestassembler.h"
#include "simulator/scenario.h"
#include "simulator/simconfig.h"
#include "simulator/simdevice.h"

#include <QByteArrayView>
#include <QtGlobal>

#include <memory>
#include <optional>
#include <vector>

namespace velorix::sim {

class SimBus
{
public:
    explicit SimBus(const SimConfig &config);
    SimBus(const SimBus &) = delete;
    SimBus &operator=(const SimBus &) = delete;

    // Bytes written by the program, arrived at `nowUs` (real time).
    [[nodiscard]] std::vector<Transmission> receive(QByteArrayView bytes, qint64 nowUs);
    // Lets a request that stopped mid-way expire; call at nextDeadlineUs().
    [[nodiscard]] std::vector<Transmission> poll(qint64 nowUs);
    [[nodiscard]] std::optional<qint64> nextDeadlineUs() const { return m_assembler.deadlineUs(); }

    bool setTimeScale(double scale, qint64 nowUs) { return m_clock.setScale(scale, nowUs); }
    [[nodiscard]] double timeScale() const { return m_clock.scale(); }
    void setWireTiming(bool on) { m_shaper.setWireTiming(on); }
    void setLatencyUs(qint64 latency) { m_shaper.setLatencyUs(latency); }
    void setFaultRates(const FaultRates &rates) { m_faults.setRates(rates); }
    void injectFault(const FaultInjection &injection);
    void clearInjectedFaults() { m_faults.clearInjections(); }
    // A device that is not present neither acts nor answers. False when no
    // such device is on the bus.
    bool setDevicePresent(quint8 address, bool present);
    void setScenario(const Scenario &scenario) { m_scenario = scenario; }
    void setNewFirmwareVersion(std::optional<int> version);
    void setFrameLogEnabled(bool enabled) { m_log.setEnabled(enabled); }
    void setFrameObserver(FrameLog::Observer observer) { m_log.setObserver(std::move(observer)); }

    // Every finished run on every device up to `nowUs`, device by device in
    // configuration order, each device's runs in the order they ended.
    [[nodiscard]] RunLog groundTruth(qint64 nowUs);
    [[nodiscard]] std::vector<FrameLogEntry> frameLog() const { return m_log.entries(); }
    [[nodiscard]] SimDevice *device(quint8 address);
    [[nodiscard]] const std::vector<std::unique_ptr<SimDevice>> &devices() const { return m_devices; }
    [[nodiscard]] qint64 deviceUs(qint64 nowUs) const { return m_clock.deviceUs(nowUs); }

private:
    void process(qint64 nowUs, std::vector<Transmission> &out);
    void handleRequest(const QByteArray &request, qint64 nowUs, std::vector<Transmission> &out);
    [[nodiscard]] bool isProgramModeAddress(quint8 address) const;

    Scenario m_scenario; // the devices borrow it
    std::vector<std::unique_ptr<SimDevice>> m_devices;
    DeviceClock m_clock;
    RequestAssembler m_assembler;
    FaultPlan m_faults;
    ReplyShaper m_shaper;
    FrameLog m_log;
};

} // namespace velorix::sim
