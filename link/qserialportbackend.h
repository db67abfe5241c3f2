#pragma once

#include "link/serialbackend.h"

#include <QSerialPort>

namespace velorix {

// The backend for real serial ports and pseudo-terminals. Port names are
// those of the port list: system port names ("ttyS0", "COM3") or paths.
class QSerialPortBackend final : public SerialBackend
{
    Q_OBJECT
public:
    explicit QSerialPortBackend(QObject *parent = nullptr);
    ~QSerialPortBackend() override;

    [[nodiscard]] QStringList availablePorts() const override;
    [[nodiscard]] bool open(const QString &name, PortError *error) override;
    void close() override;
    [[nodiscard]] bool isOpen() const override;
    bool applyLineSettings(const LineSettings &settings) override;
    void discardInput() override;
    [[nodiscard]] bool write(const ByteBuffer &bytes) override;
    [[nodiscard]] ByteBuffer readAll() override;
    void readInto(ByteBuffer &sink) override;

private:
    void onError(QSerialPort::SerialPortError error);
    // QSerialPort::clearError() builds its translated "No error" text each
    // time; an exchange that went well has nothing to clear.
    void clearError();

    QSerialPort m_port;
    LineSettings m_settings;
};

} // namespace velorix
