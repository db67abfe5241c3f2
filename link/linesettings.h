#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

namespace velorix {

// Line settings in the text form "speed,parity,data bits,stop bits", for
// example "19200,n,8,1".
struct LineSettings
{
    qint32 baudRate = 19200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

inline const QString kDefaultLineSettings = QStringLiteral("19200,n,8,1");

// Empty when the text is not of that form or names a value the port
// cannot take.
[[nodiscard]] std::optional<LineSettings> parseLineSettings(const QString &text);

} // namespace velorix
