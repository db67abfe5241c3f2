#include "protocol/errordisplay.h"

#include "protocol/resultcodes.h"

namespace velorix {

QString ErrorDisplayText(std::int16_t intCode, ErrorDisplayWindow window,
                         std::uint8_t deviceAddress)
{
    QString word;
    switch (intCode) {
    case rc::BadReply:
        word = QStringLiteral("S_ERROR");
        break;
    case rc::BadChecksum:
        word = QStringLiteral("C_ERROR");
        break;
    case rc::EmptyRecord:
        word = QStringLiteral("INV_D");
        break;
    case rc::NoReply:
        word = window == ErrorDisplayWindow::Addresser
                   ? QStringLiteral("COM_ERROR")
                   : QStringLiteral("NO DEVICE PRESENT AT ADDRESS ") + QString::number(deviceAddress);
        break;
    default:
        word = QStringLiteral("ERROR") + QString::number(intCode);
        break;
    }
    return QStringLiteral("ERROR: ") + word;
}

} // namespace velorix
