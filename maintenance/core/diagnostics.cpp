#include "maintenance/core/diagnostics.h"

#include "base/ccrptimer.h"
#include "base/delay.h"
#include "experiment/core/expnumbers.h"
#include "experiment/core/readout.h"
#include "experiment/core/setupmemory.h"
#include "experiment/core/setupvalues.h"
#include "link/linkturns.h"
#include "maintenance/core/addresser.h"
#include "maintenance/core/diagnosticsturnhold.h"
#include "protocol/channelbits.h"
#include "protocol/errordisplay.h"
#include "protocol/multidevmod.h"
#include "protocol/multivelorix.h"
#include "protocol/resultcodes.h"

#include <QPointer>
#include <QtGlobal>

#include <utility>

namespace velorix {

namespace {

const QString kSuccessful = QStringLiteral("successful");
const QString kReadSuccessful = QStringLiteral("READ successful");
constexpr int kTimerSetting = 200;

using Phase = DiagnosticsSession::Phase;

// The table of phases in the header.
bool mayGo(Phase from, Phase to)
{
    if (to == Phase::Unloaded)
        return from != Phase::Unloaded;
    switch (from) {
    case Phase::Idle: return to == Phase::Polling || to == Phase::AwaitingTurn || to == Phase::Reading;
    case Phase::Polling: return to == Phase::AwaitingTurn || to == Phase::Reading;
    case Phase::AwaitingTurn: return to == Phase::Reading;
    case Phase::Reading: return to == Phase::Polling || to == Phase::Stopping;
    case Phase::Stopping: return to == Phase::Idle || to == Phase::Polling;
    case Phase::Unloaded: return false;
    }
    return false;
}

} // namespace

DiagnosticsSession::DiagnosticsSession(DiagnosticsPacing pacing, QObject *parent)
    : QObject(parent), m_pacing(pacing), objDevice(std::make_unique<multiVelorix>())
{
    objTimer = new ccrpTimer(this);
    objTimer->setStats(kTimerSetting);
    objTimer->setInterval(m_pacing.firstTickMs);
    connect(objTimer, &ccrpTimer::Timer, this, [this] { tick(); });
}

DiagnosticsSession::~DiagnosticsSession() = default;

void DiagnosticsSession::enter(Phase next)
{
    static const char *const names[] = {"Idle", "Polling", "AwaitingTurn", "Reading", "Stopping", "Unloaded"};
    if (!mayGo(m_phase, next)) {
        qWarning("Diagnostics session: no change of phase from %s to %s", names[int(m_phase)],
                 names[int(next)]);
        Q_ASSERT_X(false, "DiagnosticsSession::enter", "a change of phase outside the table");
        return;
    }
    m_phase = next;
}

LinkTurns *DiagnosticsSession::linkTurns()
{
    return objComm ? &objComm->turns() : nullptr;
}

bool DiagnosticsSession::openPort(const QString &port, PortError *error)
{
    return objDevice->CommPort(port, error);
}

bool DiagnosticsSession::isPolling() const
{
    return objTimer->Enabled();
}

void DiagnosticsSession::show(const QString &text)
{
    m_view.txtDisplay = text;
    emit changed();
}

void DiagnosticsSession::showResult(std::int16_t result, const QString &success)
{
    show(result == rc::Ok ? success : errorNumberText(result));
}

void DiagnosticsSession::showError(std::int16_t result)
{
    show(ErrorDisplayText(result, ErrorDisplayWindow::Diagnostics, bytDevAddr));
    emit beep();
}

void DiagnosticsSession::identify()
{
    QString identity;
    intLastErr = objDevice->ReturnID(bytDevAddr, identity);
    if (intLastErr != rc::Ok) {
        showError(intLastErr);
        return;
    }
    const IdentityVerdict verdict = identityVerdict(identity, objDevice->IDString());
    show(verdict.text);
    if (verdict.beep)
        emit beep();
    std::uint8_t byte = 0;
    intLastErr = objDevice->ReadMem(bytDevAddr, setupmemory::kOptions, byte);
    if (intLastErr == rc::Ok)
        m_record.bytExpOptions = byte;
    intLastErr = objDevice->ReadMem(bytDevAddr, setupmemory::kDirection, byte);
    if (intLastErr == rc::Ok)
        m_record.bytDirection = byte;
    emit changed();
}

void DiagnosticsSession::reset()
{
    intLastErr = objDevice->Reset(bytDevAddr);
    if (intLastErr == rc::Ok)
        show(QStringLiteral("RESET successful"));
    else
        showError(intLastErr);
}

void DiagnosticsSession::busReset()
{
    // Nobody answers a bus reset; its result says nothing.
    static_cast<void>(objDevice->BusRESET());
}

void DiagnosticsSession::readSensors()
{
    ByteBuffer beams(readout::kSensorBytes);
    intLastErr = objDevice->Read_Sensor(bytDevAddr, beams);
    if (intLastErr != rc::Ok) {
        showResult(intLastErr, QString());
        return;
    }
    for (int c = 0; c < kChannels; ++c)
        m_view.sensor[c] = readout::sensorText(c, beams[c]);
    show(kReadSuccessful);
}

void DiagnosticsSession::readSpeed()
{
    ByteBuffer speed(readout::kSpeedBytes);
    intLastErr = objDevice->Read_Speed(bytDevAddr, speed);
    if (intLastErr == rc::Ok) {
        m_record.sngSpeed = readout::speedOf(speed);
        m_view.txtspeed = formatSpeed(m_record.sngSpeed);
        show(kReadSuccessful);
    } else {
        showResult(intLastErr, QString());
    }
}

void DiagnosticsSession::readTimes()
{
    ByteBuffer times(readout::kTimesBytes);
    intLastErr = objDevice->Read_Times(bytDevAddr, times);
    if (intLastErr != rc::Ok) {
        showResult(intLastErr, QString());
        return;
    }
    m_record.sngElapsed = tenthsValue(times[9], times[10]);
    m_record.bytChanBits = times[8];
    for (int c = 0; c < kChannels; ++c) {
        if (bitSet(m_record.bytChanBits, c)) {
            m_view.channelCaption[c] = QStringLiteral("Ch%1 Running").arg(c + 1);
            m_record.sngRunTime[c] = m_record.sngElapsed - tenthsValue(times[2 * c], times[2 * c + 1]);
            m_record.sngChanSpeed[c] = m_record.sngSpeed;
            m_view.chSpeed[c] = format1(m_record.sngChanSpeed[c]);
        } else {
            m_view.channelCaption[c] = QStringLiteral("Channel %1").arg(c + 1);
            m_view.channelEnabled[c] = true;
        }
    }
    show(kReadSuccessful);
}

void DiagnosticsSession::startDiag()
{
    bolStopDiag = false;
    intLastErr = objDevice->Start_Diag(bytDevAddr);
    showResult(intLastErr, kSuccessful);
    pollingStarted();
}

void DiagnosticsSession::stopDiag()
{
    bolStopDiag = true;
    showResult(intLastErr, kSuccessful);
}

void DiagnosticsSession::startChannel(int channel)
{
    std::int16_t (multiVelorix::*const starts[kChannels])(std::uint8_t)
            = {&multiVelorix::Start_CH1, &multiVelorix::Start_CH2, &multiVelorix::Start_CH3,
               &multiVelorix::Start_CH4};
    if (channel < 0 || channel >= kChannels)
        return;
    intLastErr = (objDevice.get()->*starts[channel])(bytDevAddr);
    showResult(intLastErr, kSuccessful);
}

void DiagnosticsSession::speedUp()
{
    intLastErr = objDevice->Inc_Speed(bytDevAddr);
    showResult(intLastErr, kReadSuccessful);
    if (intLastErr == rc::Ok)
        readSpeed();
}

void DiagnosticsSession::speedDown()
{
    intLastErr = objDevice->Dec_Speed(bytDevAddr);
    showResult(intLastErr, kReadSuccessful);
    if (intLastErr == rc::Ok)
        readSpeed();
}

void DiagnosticsSession::upload()
{
    // The experiment's upload, but for the passive-rotation delay, which
    // this window does not show.
    for (const std::uint8_t location : setupmemory::kUploadLocations) {
        if (location == setupmemory::kRotDelay)
            continue;
        std::uint8_t byte = 0;
        intLastErr = objDevice->ReadMem(bytDevAddr, location, byte);
        if (intLastErr == rc::Ok)
            setupmemory::storeSetupByte(m_record, location, byte);
    }
    emit changed();
}

void DiagnosticsSession::download()
{
    // 34 to 41 as the experiment's download writes them, then the direction;
    // every write is tried even after one failed.
    for (int step = 0; step <= 7; ++step) {
        const setupmemory::Write write = setupmemory::downloadWrite(step, m_record);
        if (!write.skip)
            intLastErr = objDevice->WriteMem(bytDevAddr, write.location, write.value);
    }
    intLastErr = objDevice->WriteMem(bytDevAddr, setupmemory::kDirection, m_record.bytDirection);
}

void DiagnosticsSession::saveSetup()
{
    intLastErr = objDevice->WriteMem(bytDevAddr, setupmemory::kOptions, m_record.bytExpOptions);
    intLastErr = objDevice->WriteMem(bytDevAddr, setupmemory::kDirection, m_record.bytDirection);
    if (!waitAndCarryOn(m_pacing.setupResetGapMs))
        return;
    intLastErr = objDevice->Reset(bytDevAddr);
    static_cast<void>(waitAndCarryOn(m_pacing.setupResetGapMs));
}

void DiagnosticsSession::startExperiment()
{
    for (int c = 0; c < kChannels; ++c)
        m_view.channelEnabled[c] = true;
    download();
    intLastErr = objDevice->Start_Exp(bytDevAddr);
    showResult(intLastErr, kSuccessful);
    pollingStarted();
}

void DiagnosticsSession::pollingStarted()
{
    if (m_phase == Phase::Unloaded)
        return;
    objTimer->setEnabled(true);
    if (m_phase == Phase::Idle)
        enter(Phase::Polling);
    else if (m_phase == Phase::Stopping)
        m_pollAfterStop = true; // the stop's reset still goes out; polling goes on after it
    // Otherwise polling already, or in a tick that ends as the stop request has it.
}

void DiagnosticsSession::stopExperiment()
{
    intLastErr = objDevice->Stop_Exp(bytDevAddr);
    showResult(intLastErr, kSuccessful);
}

QString DiagnosticsSession::packSetup(const DiagnosticsSetup &setup)
{
    // The experiment's own check, with the boxes this window does not have
    // at values that always fit.
    SetupTexts texts;
    texts.startSpeed = setup.startSpeed;
    texts.endSpeed = setup.endSpeed;
    texts.accInterval = setup.accInterval;
    texts.accStep = setup.accStep;
    texts.duration = QStringLiteral("0");
    texts.rotDelay = QStringLiteral("0");
    texts.rpm = m_record.bytExpOptions & kOptionRpm;
    if (std::optional<SetupProblem> problem = checkSetup(texts)) {
        // This window calls the end speed's box "Stop Speed".
        if (problem->box == QLatin1String("Max Speed"))
            problem->text.replace(problem->box, QStringLiteral("Stop Speed"));
        return problem->text;
    }
    DeviceInfo packed = m_record;
    std::int16_t rockInterval = 0;
    velorix::packSetup(texts, packed, rockInterval);
    m_record.intStartSpeed = packed.intStartSpeed;
    m_record.intEndSpeed = packed.intEndSpeed;
    m_record.intAccInterval = packed.intAccInterval;
    m_record.intAccStep = packed.intAccStep;
    m_record.bytDirection = setup.ccw ? 1 : 0;
    return {};
}

void DiagnosticsSession::packOptions(bool rpm, bool mouseWheel, bool ccw)
{
    std::uint8_t options = m_record.bytExpOptions;
    options = rpm ? (options | kOptionRpm) : (options & ~kOptionRpm);
    options = mouseWheel ? (options | kOptionMouseWheel) : (options & ~kOptionMouseWheel);
    m_record.bytExpOptions = options;
    m_record.bytDirection = ccw ? 1 : 0;
}

DiagnosticsSetup DiagnosticsSession::shownSetup() const
{
    return {format1(m_record.intStartSpeed / 10.0), format1(m_record.intEndSpeed / 10.0),
            format1(m_record.intAccInterval / 10.0), format1(m_record.intAccStep / 10.0),
            m_record.bytDirection != 0};
}

bool DiagnosticsSession::waitAndCarryOn(int milliseconds)
{
    const QPointer<DiagnosticsSession> self(this);
    Delay(milliseconds);
    return self && m_phase != Phase::Unloaded;
}

bool DiagnosticsSession::pause(int milliseconds, TurnHold &hold)
{
    hold.letGo();
    const bool carryOn = waitAndCarryOn(milliseconds); // false: `this` may be gone
    hold.take();
    return carryOn;
}

void DiagnosticsSession::tick()
{
    switch (m_phase) {
    case Phase::Idle:
    case Phase::Polling: break;
    case Phase::AwaitingTurn: // in line already: the tick comes in its turn
    case Phase::Reading:
    case Phase::Stopping: // the tick never runs inside itself
    case Phase::Unloaded: return;
    }
    LinkTurns *turns = linkTurns();
    if (turns && !turns->isFree()) {
        // Another window's exchange holds the link, or others wait for it.
        enter(Phase::AwaitingTurn);
        turns->awaitTurn(this, [this] {
            if (m_phase == Phase::AwaitingTurn)
                runTick();
        });
        return;
    }
    runTick();
}

void DiagnosticsSession::runTick()
{
    enter(Phase::Reading);
    TurnHold hold(linkTurns());
    readSensors();
    if (!pause(m_pacing.readGapMs, hold))
        return;
    readSpeed();
    if (!pause(m_pacing.readGapMs, hold))
        return;
    readTimes();
    if (bolStopDiag) {
        stopAfterReads(hold);
        return;
    }
    objTimer->setInterval(m_pacing.tickMs);
    objTimer->setEnabled(true);
    enter(Phase::Polling);
}

void DiagnosticsSession::stopAfterReads(TurnHold &hold)
{
    enter(Phase::Stopping);
    objTimer->setEnabled(false);
    if (!pause(m_pacing.readGapMs, hold))
        return;
    intLastErr = objDevice->Reset(bytDevAddr);
    if (intLastErr == rc::Ok) {
        m_view.clearChannels();
        emit changed();
    }
    if (!pause(m_pacing.readGapMs, hold))
        return;
    enter(std::exchange(m_pollAfterStop, false) ? Phase::Polling : Phase::Idle);
}

void DiagnosticsSession::unload()
{
    if (m_phase == Phase::Unloaded)
        return;
    enter(Phase::Unloaded);
    objTimer->setEnabled(false);
    if (LinkTurns *turns = linkTurns())
        turns->leave(this);
    Delay(m_pacing.unloadMs);
}

} // namespace velorix
