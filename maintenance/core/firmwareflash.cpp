#include "maintenance/core/firmwareflash.h"

#include "base/delay.h"
#include "model/prompter.h"
#include "protocol/multivelorix.h"
#include "protocol/resultcodes.h"

#include <cmath>

namespace velorix {

// A record the device refused four times reads as a bad file, as one without ":".
static_assert(flash::InvalidFormat == rc::RecordRefused);

QString sendErrorText(std::int16_t code, std::uint8_t address)
{
    QString meaning;
    switch (code) {
    case flash::EmptyFile: meaning = QStringLiteral("File is empty"); break;
    case flash::InvalidFormat: // also ProgramData's "refused four times"
        meaning = QStringLiteral("Invalid file format");
        break;
    case rc::NoReply: meaning = QStringLiteral("No response from device address %1").arg(address); break;
    default: meaning = QString::number(code); break;
    }
    return QStringLiteral("Error sending data file. ") + meaning;
}

QString fileErrorText(const HexImage &image)
{
    switch (image.fault) {
    case HexImage::Fault::None: return {};
    case HexImage::Fault::Empty: return sendErrorText(flash::EmptyFile, 0);
    case HexImage::Fault::BadRecord:
        return sendErrorText(flash::InvalidFormat, 0)
                + (image.badLine > 0 ? QStringLiteral("\nLine %1: %2").arg(image.badLine).arg(image.reason)
                                     : QStringLiteral("\nThe file is %1.").arg(image.reason));
    case HexImage::Fault::NotFound:
    case HexImage::Fault::Unreadable: return unreadableText(image);
    }
    return {};
}

FirmwareFlash::FirmwareFlash(multiVelorix &device, FlashView view, FlashPacing pacing)
    : m_device(device), m_view(std::move(view)), m_pacing(pacing)
{}

void FirmwareFlash::message(const QString &text)
{
    showMessage(m_view.parent ? m_view.parent() : nullptr, text);
}

void FirmwareFlash::resetBus()
{
    // A bus reset is answered by nobody; its result says nothing.
    static_cast<void>(m_device.BusRESET());
}

void FirmwareFlash::flash(const QString &fileName, std::uint8_t address)
{
    const HexImage image = readHexFile(fileName);
    if (!image.isGood()) {
        message(fileErrorText(image));
        m_view.beep();
        return;
    }

    m_view.showText(QStringLiteral("Programming device"));
    m_view.showPercent(QString());
    if (m_device.WriteMem(address, kProgramModeLocation, kProgramModeValue) != rc::Ok) {
        message(QStringLiteral("Error Setting Device to Program Mode. "));
        resetBus();
        Delay(m_pacing.afterResetMs);
    }
    Delay(m_pacing.afterModeSwitchMs);
    resetBus();
    Delay(m_pacing.afterResetMs);

    const std::int16_t result = SendHexFile(image.records, address);
    if (result == flash::Stopped)
        return;
    if (result != flash::Ok) {
        message(sendErrorText(result, address));
        m_view.showText(QString());
        m_view.beep();
        return;
    }

    Delay(m_pacing.beforeFinalResetMs);
    resetBus();
    Delay(m_pacing.afterFinalResetMs);
    QString identity;
    message(m_device.ReturnID(address, identity) == rc::Ok
                    ? QStringLiteral("Device programing successful")
                    : QStringLiteral("ReturnID failure. Device program not successful"));
    m_view.showText(QString());
    m_view.showPercent(QString());
}

std::int16_t FirmwareFlash::SendHexFile(const QStringList &records, std::uint8_t address)
{
    m_view.showPercent(QString());
    const auto total = static_cast<double>(records.size());
    for (qsizetype k = 0; k < records.size(); ++k) {
        if (m_view.carryOn && !m_view.carryOn())
            return flash::Stopped;
        const std::int16_t result = m_device.ProgramData(records[k], address);
        Delay(m_pacing.afterLineMs);
        if (result != rc::Ok)
            return result;
        m_view.showPercent(QString::number(std::lround((k + 1) / total * 100.0)));
    }
    m_view.showPercent(QStringLiteral("100"));
    return flash::Ok;
}

} // namespace velorix
