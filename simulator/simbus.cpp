#include "simulator/simbus.h"

#include "simulator/commandset.h"

#include <cmath>

namespace velorix::sim {

SimBus::SimBus(const SimConfig &config)
    : m_scenario(config.scenario),
      m_assembler([this](quint8 address) { return isProgramModeAddress(address); }),
      m_faults(config.faultSeed)
{
    for (const DeviceSpec &wanted : config.devices) {
        m_devices.push_back(std::make_unique<SimDevice>(wanted.address, wanted.firmwareVersion, &m_scenario));
    }
    m_clock.setScale(config.timeScale, 0);
    m_shaper.setWireTiming(config.wireTiming);
    m_shaper.setLatencyUs(std::llround(config.latencyMs * 1000));
    m_faults.setRates(config.faultRates);
    m_log.setEnabled(config.frameLog);
    setNewFirmwareVersion(config.newFirmwareVersion);
}

std::vector<Transmission> SimBus::receive(QByteArrayView bytes, qint64 nowUs)
{
    std::vector<Transmission> out;
    m_assembler.push(bytes, nowUs);
    process(nowUs, out);
    return out;
}

std::vector<Transmission> SimBus::poll(qint64 nowUs)
{
    std::vector<Transmission> out;
    m_assembler.expire(nowUs);
    process(nowUs, out);
    return out;
}

void SimBus::process(qint64 nowUs, std::vector<Transmission> &out)
{
    while (const auto piece = m_assembler.next()) {
        if (piece->kind == RequestAssembler::Piece::Kind::Request) {
            handleRequest(piece->bytes, nowUs, out);
        } else {
            m_log.add({nowUs, FrameLogEntry::Direction::ToDevice, piece->bytes,
                       QStringLiteral("dropped: %1").arg(piece->reason)});
        }
    }
}

void SimBus::handleRequest(const QByteArray &request, qint64 nowUs, std::vector<Transmission> &out)
{
    m_log.add({nowUs, FrameLogEntry::Direction::ToDevice, request, {}});
    const quint8 address = byteAt(request, 0);
    const quint8 code = byteAt(request, 1);
    const qint64 deviceUs = m_clock.deviceUs(nowUs);

    if (address == kBroadcastAddress) {
        // Of the frames to everybody only the reset counts, and nobody answers.
        if (code == Code::Reset) {
            for (const auto &device : m_devices) {
                if (device->isPresent())
                    device->reset(deviceUs);
            }
        }
        return;
    }

    // Every device that answers to the address acts (a group address reaches
    // several); the first of them in configuration order replies.
    std::optional<QByteArray> body;
    bool responded = false;
    bool isRecord = false;
    for (const auto &device : m_devices) {
        if (!device->isPresent() || !device->answersTo(address))
            continue;
        const bool record = code == Code::WriteMem && device->isInProgramMode();
        auto reply = device->handle(request, deviceUs);
        if (!responded) {
            responded = true;
            body = std::move(reply);
            isRecord = record;
        }
    }
    if (!body)
        return;

    const QByteArray reply = withChecksum(QByteArray(1, char(address)) + *body);
    const int timeoutMs = isRecord ? kRecordTimeoutMs : commandInfo(code)->timeoutMs;
    const auto fault = m_faults.faultFor(address, code);
    const auto transmissions
            = m_shaper.shape(reply, request.size(), timeoutMs, fault, nowUs, m_faults.random());
    const QString note = fault ? QStringLiteral("fault: %1").arg(faultName(*fault)) : QString();
    using Direction = FrameLogEntry::Direction;
    if (transmissions.empty())
        m_log.add({nowUs, Direction::FromDevice, reply, note + QStringLiteral(", not sent")});
    for (const Transmission &transmission : transmissions) {
        m_log.add({transmission.dueUs, Direction::FromDevice, transmission.bytes, note});
        out.push_back(transmission);
    }
}

bool SimBus::isProgramModeAddress(quint8 address) const
{
    for (const auto &device : m_devices) {
        if (device->isPresent() && device->answersTo(address) && device->isInProgramMode())
            return true;
    }
    return false;
}

void SimBus::injectFault(const FaultInjection &injection)
{
    if (injection.kind != FaultKind::FlashWriteFailure) {
        m_faults.inject(injection);
        return;
    }
    for (const auto &device : m_devices) {
        if (injection.address == kAnyAddress || device->answersTo(quint8(injection.address))
            || device->homeAddress() == injection.address)
            device->failFlashWrites(injection.count);
    }
}

bool SimBus::setDevicePresent(quint8 address, bool present)
{
    SimDevice *found = device(address);
    if (found)
        found->setPresent(present);
    return found != nullptr;
}

void SimBus::setNewFirmwareVersion(std::optional<int> version)
{
    for (const auto &device : m_devices)
        device->setNewFirmwareVersion(version);
}

RunLog SimBus::groundTruth(qint64 nowUs)
{
    const qint64 deviceUs = m_clock.deviceUs(nowUs);
    RunLog all;
    for (const auto &device : m_devices) {
        device->advance(deviceUs);
        const RunLog &runs = device->session().runs();
        all.insert(all.end(), runs.begin(), runs.end());
    }
    return all;
}

SimDevice *SimBus::device(quint8 address)
{
    for (const auto &device : m_devices) {
        if (device->homeAddress() == address)
            return device.get();
    }
    for (const auto &device : m_devices) {
        if (device->busAddress() == address)
            return device.get();
    }
    return nullptr;
}

} // namespace velorix::sim
