#include "protocol/errordisplay.h"

#include "protocol/resultcodes.h"

namespace velorix {

QString ErrorDisplayText(std::int16_t intCode, ErrorDisplayWindow window, std::uint8_t deviceAddress)
{
    QString word;
    switch (intCode) {
    case rc::BadReply: word = QStringLiteral("S_ERROR"); break;
    case rc::BadChecksum: word = QStringLiteral("C_ERROR"); break;
    case rc::EmptyRecord: word = QStringLiteral("INV_D"); break;
    case rc::NoReply:
        word = window == ErrorDisplayWindow::Addresser
                ? QStringLiteral("COM_ERROR")
                : QStringLiteral("NO DEVICE PRESENT AT ADDRESS ") + QString::number(deviceAddress);
        break;
    default: word = QStringLiteral("ERROR") + QString::number(intCode); break;
    }
    return QStringLiteral("ERROR: ") + word;
}

QString resultCodeMeaning(std::int16_t code)
{
    switch (code) {
    case rc::Busy: return QStringLiteral("link busy, nothing sent");
    case rc::SerialError: return QStringLiteral("the port failed");
    case rc::NoReply: return QStringLiteral("no reply, or a short one");
    case rc::BadReply:
        return QStringLiteral("a bad reply: wrong address, no acknowledgement, wrong echo or status");
    case rc::BadChecksum: return QStringLiteral("a bad checksum");
    case rc::RecordRefused: return QStringLiteral("the device refused the firmware record four times");
    case rc::EmptyRecord: return QStringLiteral("an empty firmware record");
    case rc::BadGroupId: return QStringLiteral("a group ID outside 240 to 254");
    case rc::BusResetFailed: return QStringLiteral("the bus reset could not be sent");
    default: return {};
    }
}

} // namespace velorix
