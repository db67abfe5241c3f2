#include "simulator/simulatorhost.h"

#include "simulator/ptyserver.h"
#include "simulator/simbus.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cmath>
#include <type_traits>

namespace velorix::sim {

SimulatorHost::SimulatorHost(SimConfig config, QObject *parent)
    : QObject(parent), m_config(std::move(config)), m_bus(std::make_unique<SimBus>(m_config)),
      m_server(std::make_unique<PtyServer>(*m_bus))
{
    qRegisterMetaType<FrameLogEntry>();
    m_thread.setObjectName(QStringLiteral("velorix-sim"));
    m_bus->setFrameObserver([this](const FrameLogEntry &entry) { emit frameLogged(entry); });
}

SimulatorHost::~SimulatorHost()
{
    stop();
}

// Runs `work` on the simulator's thread and waits for its result; directly
// when that thread is not running (the objects then belong to the caller's).
template<typename Work>
auto SimulatorHost::onSimulatorThread(Work work) const
{
    using Result = std::invoke_result_t<Work>;
    if (!m_thread.isRunning() || QThread::currentThread() == &m_thread)
        return work();
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(m_server.get(), work, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(
                m_server.get(), [&] { result = work(); }, Qt::BlockingQueuedConnection);
        return result;
    }
}

bool SimulatorHost::start(QString *error)
{
    if (m_thread.isRunning())
        return true;
    m_server->moveToThread(&m_thread);
    m_thread.start();
    QString why;
    const bool opened = onSimulatorThread([&] { return m_server->open(m_config.linkPath, &why); });
    if (!opened) {
        stop();
        if (error)
            *error = why;
    }
    return opened;
}

void SimulatorHost::stop()
{
    if (!m_thread.isRunning())
        return;
    QThread *home = thread();
    onSimulatorThread([&] {
        m_server->unplug();
        m_server->moveToThread(home);
    });
    m_thread.quit();
    m_thread.wait();
}

QString SimulatorHost::portPath() const
{
    return onSimulatorThread(
            [&] { return m_server->linkPath().isEmpty() ? m_server->slavePath() : m_server->linkPath(); });
}

QString SimulatorHost::slavePath() const
{
    return onSimulatorThread([&] { return m_server->slavePath(); });
}

void SimulatorHost::unplug()
{
    onSimulatorThread([&] { m_server->unplug(); });
}

bool SimulatorHost::replug(QString *error)
{
    QString why;
    const bool opened = onSimulatorThread([&] { return m_server->open(m_config.linkPath, &why); });
    if (!opened && error)
        *error = why;
    return opened;
}

void SimulatorHost::setTimeScale(double scale)
{
    onSimulatorThread([&] { m_bus->setTimeScale(scale, m_server->nowUs()); });
}

void SimulatorHost::setWireTiming(bool on)
{
    onSimulatorThread([&] { m_bus->setWireTiming(on); });
}

void SimulatorHost::setLatencyMs(double latency)
{
    onSimulatorThread([&] { m_bus->setLatencyUs(std::llround(latency * 1000)); });
}

void SimulatorHost::setFaultRates(const FaultRates &rates)
{
    onSimulatorThread([&] { m_bus->setFaultRates(rates); });
}

void SimulatorHost::injectFault(const FaultInjection &injection)
{
    onSimulatorThread([&] { m_bus->injectFault(injection); });
}

void SimulatorHost::injectFault(int address, int code, FaultKind kind, int count)
{
    injectFault(FaultInjection{address, code, kind, count});
}

void SimulatorHost::clearInjectedFaults()
{
    onSimulatorThread([&] { m_bus->clearInjectedFaults(); });
}

void SimulatorHost::setDevicePresent(quint8 address, bool present)
{
    onSimulatorThread([&] { m_bus->setDevicePresent(address, present); });
}

void SimulatorHost::setScenario(const Scenario &scenario)
{
    onSimulatorThread([&] { m_bus->setScenario(scenario); });
}

void SimulatorHost::setNewFirmwareVersion(std::optional<int> hundredths)
{
    onSimulatorThread([&] { m_bus->setNewFirmwareVersion(hundredths); });
}

void SimulatorHost::setFrameLogEnabled(bool enabled)
{
    onSimulatorThread([&] { m_bus->setFrameLogEnabled(enabled); });
}

std::vector<RunRecord> SimulatorHost::groundTruth() const
{
    return onSimulatorThread([&] { return m_bus->groundTruth(m_server->nowUs()); });
}

std::vector<FrameLogEntry> SimulatorHost::frameLog() const
{
    return onSimulatorThread([&] { return m_bus->frameLog(); });
}

std::vector<DeviceStatus> SimulatorHost::devices() const
{
    return onSimulatorThread([&] {
        std::vector<DeviceStatus> all;
        for (const auto &device : m_bus->devices()) {
            all.push_back({device->homeAddress(), device->busAddress(), device->firmwareVersion(),
                           device->isInProgramMode(), device->isPresent()});
        }
        return all;
    });
}

QByteArray SimulatorHost::deviceMemory(quint8 address) const
{
    return onSimulatorThread([&] {
        const SimDevice *device = m_bus->device(address);
        return device ? device->memory().bytes() : QByteArray();
    });
}

DeviceCounters SimulatorHost::counters(quint8 address) const
{
    return onSimulatorThread([&] {
        const SimDevice *device = m_bus->device(address);
        return device ? device->counters() : DeviceCounters{};
    });
}

} // namespace velorix::sim
