#include "simulator/simdevice.h"

#include "simulator/commandset.h"

namespace velorix::sim {

namespace {

constexpr int kSpeedStep = 10;            // Inc_Speed/Dec_Speed: 1.0 unit
constexpr int kFirstRockingVersion = 211; // PurgeOFF rocks on firmware above 2.1
constexpr quint8 kCalibrationOn = 0x55;

QByteArray ack()
{
    return QByteArray(1, char(kAck));
}

} // namespace

SimDevice::SimDevice(quint8 address, int firmwareVersion, const Scenario *scenario)
    : m_homeAddress(address), m_firmwareVersion(firmwareVersion), m_memory(address),
      m_session(address, scenario)
{}

bool SimDevice::answersTo(quint8 address) const
{
    return address == busAddress() || (m_groupAddress && address == *m_groupAddress);
}

QString SimDevice::identity() const
{
    const int version = qBound(0, m_firmwareVersion, 9999);
    return QStringLiteral("0254%1").arg(version, 4, 10, QLatin1Char('0'));
}

std::optional<QByteArray> SimDevice::handle(QByteArrayView request, qint64 deviceUs)
{
    if (request.size() < 2)
        return std::nullopt;
    advance(deviceUs);
    if (m_programMode)
        return handleProgramMode(request, deviceUs);
    if (byteAt(request, 1) == Code::Reset) {
        reset(deviceUs);
        return std::nullopt;
    }
    return handleNormal(request, deviceUs);
}

std::optional<QByteArray> SimDevice::handleProgramMode(QByteArrayView request, qint64 deviceUs)
{
    // In program mode the device hears nothing but records and resets.
    const quint8 code = byteAt(request, 1);
    if (code == Code::Reset) {
        reset(deviceUs);
        return std::nullopt;
    }
    if (code != Code::WriteMem)
        return std::nullopt;
    const auto status = m_loader.take(request.sliced(2));
    if (!status)
        return std::nullopt;
    if (*status != RecordStatus::BadRecord && *status != RecordStatus::FlashFailed)
        ++m_counters.firmwareRecords;
    return QByteArray(1, *status);
}

QByteArray SimDevice::handleNormal(QByteArrayView request, qint64 deviceUs)
{
    const quint8 code = byteAt(request, 1);
    const auto payload = [&](int index) { return byteAt(request, 1 + index); };
    switch (code) {
    case Code::ReturnId: return identity().toLatin1();
    case Code::SetGroupId: return setGroup(payload(1));
    case Code::Program:
        m_memory.set(DeviceMemory::kProgramSwitch, DeviceMemory::kProgramArmValue);
        return ack();
    case Code::WriteMem: return writeMemory(payload(1), payload(2));
    case Code::ReadMem: {
        QByteArray reply;
        reply.append(char(payload(1)));
        reply.append(char(m_memory.at(payload(1))));
        return reply;
    }
    case Code::ReSend: return m_lastBlock;
    case Code::Clear: m_session.clearResults(); return ack();
    case Code::ReadClear:
        m_lastBlock = statusBlock();
        m_session.clearResults();
        return m_lastBlock;
    case Code::Read: m_lastBlock = statusBlock(); return m_lastBlock;
    case Code::PurgeOn: return ack();
    case Code::CalMode:
        m_calibrationMode = payload(1) == kCalibrationOn;
        return request.sliced(1, 2).toByteArray();
    case Code::PumpSelect: return request.sliced(1, 3).toByteArray();
    case Code::StartDiag: m_session.startDiagnostics(deviceUs, m_memory.sessionSetup()); return ack();
    case Code::StopDiag:
        if (m_session.isDiagnostics())
            m_session.stop();
        return ack();
    case Code::ReadSensor: return sensorReply();
    case Code::IncSpeed: m_session.stepManualSpeed(kSpeedStep); return ack();
    case Code::DecSpeed: m_session.stepManualSpeed(-kSpeedStep); return ack();
    case Code::ReadSpeed: {
        QByteArray reply;
        appendTenths(reply, m_session.wheelSpeed());
        return reply;
    }
    case Code::ReadTimes: return timesReply();
    case Code::StartAll: m_session.startAllChannels(); return ack();
    case Code::StartExp:
        ++m_counters.startExpSeen;
        m_session.startExperiment(deviceUs, m_memory.sessionSetup());
        return ack();
    case Code::StopExp: m_session.stop(); return ack();
    case Code::ReadRotTimes: return rotationTimesReply();
    case Code::ReadRotSpeed: return rotationSpeedReply();
    case Code::PurgeOff:
        if (m_firmwareVersion >= kFirstRockingVersion)
            ++m_counters.rockingRequests;
        return ack();
    default: break;
    }
    if (code >= Code::StartCh1 && code <= Code::StartCh4) {
        m_session.startChannel(code - Code::StartCh1);
        return ack();
    }
    // Only codes of the command table get here, and all of them are above;
    // an unknown one is refused rather than left silent.
    return QByteArray(1, char(kNak));
}

void SimDevice::reset(qint64 deviceUs)
{
    advance(deviceUs);
    ++m_counters.resets;
    m_session.reset();
    m_calibrationMode = false;
    if (m_programMode) {
        if (!m_loader.isComplete()) {
            m_loader.restart();
            return;
        }
        m_programMode = false;
        ++m_counters.firmwareUpdates;
        if (m_newFirmwareVersion)
            m_firmwareVersion = *m_newFirmwareVersion;
        return;
    }
    if (m_memory.at(DeviceMemory::kProgramSwitch) == DeviceMemory::kProgramArmValue) {
        m_memory.set(DeviceMemory::kProgramSwitch, 0);
        m_programMode = true;
        m_loader.restart();
    }
}

QByteArray SimDevice::writeMemory(quint8 location, quint8 value)
{
    // A new bus address takes effect once this reply is built; the reply
    // still goes out under the address the request used.
    if (location != DeviceMemory::kBusAddress || value != kBroadcastAddress)
        m_memory.set(location, value);
    QByteArray reply;
    reply.append(char(location));
    reply.append(char(m_memory.at(location)));
    return reply;
}

QByteArray SimDevice::setGroup(quint8 group)
{
    if (group < 240 || group > 254)
        return QByteArray(1, char(kNak));
    m_groupAddress = group;
    return QByteArray(1, char(group));
}

QByteArray SimDevice::statusBlock() const
{
    QByteArray block = timesReply().first(8);
    block.append(char(m_session.runningBits()));
    block.append(char(m_session.rotationBits()));
    appendTenths(block, m_session.sessionTenths());
    appendTenths(block, m_session.wheelSpeed());
    const int flags = (m_session.isLive() ? 1 : 0) | (m_session.isDiagnostics() ? 2 : 0)
            | (m_calibrationMode ? 4 : 0);
    block.append(char(flags));
    block.append('\0');
    return block;
}

QByteArray SimDevice::timesReply() const
{
    QByteArray reply;
    for (int c = 0; c < ExperimentSession::kChannels; ++c)
        appendTenths(reply, m_session.channelTime(c));
    reply.append(char(m_session.runningBits()));
    appendTenths(reply, m_session.sessionTenths());
    return reply;
}

QByteArray SimDevice::rotationTimesReply() const
{
    QByteArray reply;
    for (int c = 0; c < ExperimentSession::kChannels; ++c)
        appendTenths(reply, m_session.rotationTime(c));
    reply.append(char(m_session.rotationBits()));
    return reply;
}

QByteArray SimDevice::rotationSpeedReply() const
{
    QByteArray reply;
    for (int c = 0; c < ExperimentSession::kChannels; ++c)
        appendTenths(reply, m_session.rotationSpeed(c));
    return reply;
}

QByteArray SimDevice::sensorReply() const
{
    QByteArray reply;
    for (int c = 0; c < ExperimentSession::kChannels; ++c)
        reply.append(char(m_session.sensorByte(c)));
    return reply;
}

} // namespace velorix::sim
