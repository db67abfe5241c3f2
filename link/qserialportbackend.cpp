#include "link/qserialportbackend.h"

#include "link/portlist.h"

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <termios.h>
#include <unistd.h>
#endif

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
        if (error) {
            // A refused permission has a fix the operator can apply; say it
            // where the error is shown, not only "Permission denied".
            const QSerialPort::SerialPortError why = m_port.error();
            *error = {static_cast<int>(why),
                      why == QSerialPort::PermissionError ? permissionDeniedText(name)
                                                          : m_port.errorString()};
        }
        m_port.clearError();
        return false;
    }
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    applyLineSettings(m_settings);
    // Whatever the line held before we opened it belongs to nobody.
    m_port.clear(QSerialPort::AllDirections);
    m_port.skip(m_port.bytesAvailable());
    clearError();
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
    clearError();
    return ok;
}

void QSerialPortBackend::discardInput()
{
    if (!m_port.isOpen())
        return;
#ifdef Q_OS_UNIX
    // The driver's input goes with tcflush(); QSerialPort::clear() would
    // also free the port's read buffer, to be allocated anew for the reply.
    // Should the flush fail, clear() does it again and reports the failure
    // the usual way.
    if (::tcflush(m_port.handle(), TCIFLUSH) != 0)
        m_port.clear(QSerialPort::Input);
#else
    m_port.clear(QSerialPort::Input);
#endif
    // Bytes Qt had already taken from the driver. Skipped, not read: a
    // readAll() would allocate a buffer of a whole read chunk every time.
    if (const qint64 taken = m_port.bytesAvailable(); taken > 0)
        m_port.skip(taken);
    clearError();
}

bool QSerialPortBackend::write(const ByteBuffer &bytes)
{
    if (!m_port.isOpen())
        return false;
    const char *data = reinterpret_cast<const char *>(bytes.data());
    auto size = static_cast<qint64>(bytes.size());
#ifdef Q_OS_UNIX
    // A request is a few bytes and the driver takes them at once, so they go
    // to it here, unless earlier bytes still wait in QSerialPort's buffer.
    // Through QSerialPort they would arm its write notifier for one pass of
    // the event loop that finds nothing left to write: an allocation and
    // three wake-ups of the loop per exchange. What the driver does not take
    // goes through QSerialPort after all, which also reports a failure.
    if (m_port.bytesToWrite() == 0) {
        ssize_t taken = -1;
        do
            taken = ::write(m_port.handle(), data, static_cast<std::size_t>(size));
        while (taken < 0 && errno == EINTR);
        if (taken > 0) {
            data += taken;
            size -= taken;
        }
        if (size == 0)
            return true;
    }
#endif
    if (m_port.write(data, size) != size)
        return false;
    // Hand the bytes to the driver now, not when the event loop next runs: a
    // reset is written and the port may close right after it.
    m_port.flush();
    return m_port.isOpen();
}

ByteBuffer QSerialPortBackend::readAll()
{
    ByteBuffer bytes;
    readInto(bytes);
    return bytes;
}

void QSerialPortBackend::readInto(ByteBuffer &sink)
{
    if (!m_port.isOpen())
        return;
    // Straight from the port's buffer into the caller's, sized to what has
    // arrived: QSerialPort::readAll() would allocate a QByteArray of a whole
    // read chunk on every call, however few bytes there are.
    const qint64 available = m_port.bytesAvailable();
    if (available <= 0)
        return;
    const std::size_t before = sink.size();
    sink.resize(before + static_cast<std::size_t>(available));
    const qint64 got = m_port.read(reinterpret_cast<char *>(sink.data() + before), available);
    sink.resize(before + static_cast<std::size_t>(std::max<qint64>(got, 0)));
}

void QSerialPortBackend::clearError()
{
    if (m_port.error() != QSerialPort::NoError)
        m_port.clearError();
}

void QSerialPortBackend::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:              // only from the blocking calls we do not use
    case QSerialPort::UnsupportedOperationError: // DTR/RTS refused by a pseudo-terminal
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError:
    case QSerialPort::NotOpenError:
    case QSerialPort::UnknownError: break;
    }
    // After a failure the port's state is unknown (a pulled adapter keeps
    // signalling); close it so the next exchange can reopen it cleanly.
    if (m_port.isOpen()) {
        clearError();
        m_port.close();
        emit failed();
    }
}

} // namespace velorix
