#pragma once

// What the link needs from a serial port. The link never knows whether its
// bytes go to a real port, a pseudo-terminal or a scripted peer in a test.

#include "link/bytebuffer.h"
#include "link/linesettings.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace velorix {

// Why a port could not be opened; the number is the port component's own.
struct PortError
{
    int number = 0;
    QString text;
};

class SerialBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The names this backend can open, in its own order.
    [[nodiscard]] virtual QStringList availablePorts() const = 0;

    // Opens the named port with the line settings last applied. On failure
    // the port stays closed and `error` (when given) says why.
    [[nodiscard]] virtual bool open(const QString &name, PortError *error) = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;

    // Takes effect at once on an open port and on every later open.
    virtual bool applyLineSettings(const LineSettings &settings) = 0;

    // Drops bytes received and not read. Bytes not yet sent stay: a request
    // that expects no reply (a reset) may still be on its way out, and
    // dropping it would lose it without a trace.
    virtual void discardInput() = 0;
    // Hands the bytes to the port without waiting for them to leave the line.
    [[nodiscard]] virtual bool write(const ByteBuffer &bytes) = 0;
    [[nodiscard]] virtual ByteBuffer readAll() = 0;
    // Appends the bytes received and not read to `sink`. The link reads
    // every reply this way; a backend that can fill the caller's buffer
    // directly spares an exchange its temporary buffers.
    virtual void readInto(ByteBuffer &sink)
    {
        const ByteBuffer bytes = readAll();
        sink.insert(sink.end(), bytes.cbegin(), bytes.cend());
    }

signals:
    void readyRead();
    // The port failed (read, write, device gone). The backend has closed it.
    void failed();
};

using SerialBackendFactory = std::function<std::unique_ptr<SerialBackend>()>;

} // namespace velorix
