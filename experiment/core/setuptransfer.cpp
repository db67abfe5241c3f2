#include "experiment/core/setuptransfer.h"

#include "experiment/core/setupmemory.h"
#include "protocol/commandtable.h"

#include <algorithm>

namespace velorix {

void SetupTransfer::showProgress(const QString &text)
{
    m_display.lblstatus = text;
    m_display.prbstatus = std::min<int>(intSetupStep, kSetupSteps);
}

SetupTransfer::Step SetupTransfer::uploadStep(DeviceInfo &record)
{
    m_display.statusVisible = true;
    showProgress(QStringLiteral("Please Wait!!!  Uploading Data"));
    if (!m_device.mayGoOn())
        return Step::Failed;
    const std::size_t step = std::min<std::size_t>(intSetupStep, setupmemory::kUploadLocations.size() - 1);
    const std::uint8_t location = setupmemory::kUploadLocations[step];
    std::uint8_t byte = 0;
    m_device.intLastErr = m_device.commands().ReadMem(m_device.address(), location, byte);
    if (!m_device.judge(commands::ReadMem.name, m_device.intLastErr))
        return Step::Failed;
    setupmemory::storeSetupByte(record, location, byte);
    ++intSetupStep;
    if (intSetupStep < static_cast<int>(setupmemory::kUploadLocations.size()))
        return Step::Going;
    m_display.statusVisible = false;
    m_display.prbstatus = 0;
    intSetupStep = 0;
    return Step::Done;
}

SetupTransfer::Step SetupTransfer::downloadStep(DeviceInfo &record, int waitMs)
{
    if (intSetupStep < setupmemory::kRockStep)
        m_display.statusVisible = true;
    showProgress(QStringLiteral("Please Wait!!!  Downloading Data"));
    if (intSetupStep < setupmemory::kResetStep) {
        const setupmemory::Write write = setupmemory::downloadWrite(intSetupStep, record);
        if (write.skip) {
            ++intSetupStep;
            return Step::Going;
        }
        if (!m_device.mayGoOn())
            return Step::Failed;
        m_device.intLastErr = m_device.commands().WriteMem(m_device.address(), write.location, write.value);
        if (!m_device.judge(commands::WriteMem.name, m_device.intLastErr))
            return Step::Failed;
        ++intSetupStep;
        return Step::Going;
    }
    m_pause(waitMs);
    if (!m_device.mayGoOn())
        return Step::Failed;
    m_device.intLastErr = m_device.commands().Reset(m_device.address());
    if (!m_device.judge(commands::Reset.name, m_device.intLastErr))
        return Step::Failed;
    m_recorder.logEvent(QStringLiteral("Reset to %1: the set-up is downloaded").arg(m_device.address()));
    return Step::Done;
}

void SetupTransfer::afterReset(int waitMs)
{
    intSetupStep = 0;
    m_display.statusVisible = false;
    m_display.prbstatus = 0;
    m_pause(waitMs);
}

bool SetupTransfer::rockingDue(const QDateTime &now)
{
    if (intRockInterval <= 0 || (dtNextRock.isValid() && now < dtNextRock))
        return false;
    dtNextRock = now.addSecs(intRockInterval);
    intSetupStep = setupmemory::kRockStep;
    return true;
}

SetupTransfer::Step SetupTransfer::rockingStep(DeviceInfo &record)
{
    // Shown as the download's last step, without the status frame.
    showProgress(QStringLiteral("Please Wait!!!  Downloading Data"));
    if (setupmemory::takesRockingRequest(record.sngVersion)) {
        if (!m_device.mayGoOn())
            return Step::Failed;
        m_device.intLastErr = m_device.commands().PurgeOFF(m_device.address());
        if (!m_device.judge(commands::PurgeOFF.name, m_device.intLastErr))
            return Step::Failed;
        m_display.statusVisible = false;
    }
    intSetupStep = 0;
    return Step::Done;
}

} // namespace velorix
