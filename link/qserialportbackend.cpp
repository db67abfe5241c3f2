#include "link/qserialportbackend.h"

#include "link/portlist.h"

namespace velorix {

namespace {
constexpr int kDrainMs = 100; // a few requests' worth of line time at 19200 baud
} // namespace

QSerialPortBackend::QSerialPortBackend(QObject *parent) : SerialBackend(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &SerialBackend::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QSerialPortBackend::onError);
}

QSerialPortBackend::~QSerialPortBackend()
{
    m_port.close();
}

QStringList QSerialPortBackend::availablePorts() const
{
    return portList();
}

bool QSerialPortBackend::open(const QString &name, PortError *error)
{
    m_port.close();
    m_port.setPortName(name);
    // The line settings are applied after the open: QSerialPort applies them
    // to an open port, and a pseudo-terminal takes the speed as given.
    // Flow control is off and DTR/RTS are left as the driver has them, since
    // pseudo-terminals refuse those signals.
    if (!m_port.open(QIODevice::ReadWrite)) {
        if (error)
            *error = {static_cast<int>(m_port.error()), m_port.errorString()};
        m_port.clearError();
        return false;
    }
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    applyLineSettings(m_settings);
    // Whatever the line held before we opened it belongs to nobody.
    m_port.clear(QSerialPort::AllDirections);
    m_port.readAll();
    m_port.clearError();
    return true;
}

void QSerialPortBackend::close()
{
    // A reset written just before the last window let go of the port may
    // still wait in the write buffer; closing would drop it.
    if (m_port.isOpen() && m_port.bytesToWrite() > 0)
        m_port.waitForBytesWritten(kDrainMs);
    m_port.close();
}

bool QSerialPortBackend::isOpen() const
{
    return m_port.isOpen();
}

bool QSerialPortBackend::applyLineSettings(const LineSettings &settings)
{
    m_settings = settings;
    if (!m_port.isOpen())
        return true;
    // A pseudo-terminal may refuse a setting; that is no failure of the link.
    bool ok = m_port.setBaudRate(settings.baudRate);
    ok = m_port.setParity(settings.parity) && ok;
    ok = m_port.setDataBits(settings.dataBits) && ok;
    ok = m_port.setStopBits(settings.stopBits) && ok;
    m_port.clearError();
    return ok;
}

void QSerialPortBackend::discardInput()
{
    if (!m_port.isOpen())
        return;
    m_port.clear(QSerialPort::Input);
    m_port.readAll(); // bytes Qt had already taken from the driver
    m_port.clearError();
}

bool QSerialPortBackend::write(const ByteBuffer &bytes)
{
    if (!m_port.isOpen())
        return false;
    const auto size = static_cast<qint64>(bytes.size());
    if (m_port.write(reinterpret_cast<const char *>(bytes.data()), size) != size)
        return false;
    // Hand the bytes to the driver now, not when the event loop next runs: a
    // reset is written and the port may close right after it.
    m_port.flush();
    return m_port.isOpen();
}

ByteBuffer QSerialPortBackend::readAll()
{
    if (!m_port.isOpen())
        return {};
    const QByteArray data = m_port.readAll();
    return ByteBuffer(data.cbegin(), data.cend());
}

void QSerialPortBackend::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError: // only from the blocking calls we do not use
    case QSerialPort::UnsupportedOperationError: // DTR/RTS refused by a pseudo-terminal
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
    case QSerialPort::NotOpenError:
    case QSerialPort::UnknownError:
        break;
    }
    // After a failure the port's state is unknown (a pulled adapter keeps
    // signalling); close it so the next exchange can reopen it cleanly.
    if (m_port.isOpen()) {
        m_port.clearError();
        m_port.close();
        emit failed();
    }
}

} // namespace velorix
