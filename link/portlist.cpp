#include "link/portlist.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSettings>

namespace velorix {

namespace {

struct RegisteredPorts
{
    QStringList first;
    QStringList after;
};

RegisteredPorts &registered()
{
    static RegisteredPorts ports;
    return ports;
}

bool looksLikePath(const QString &name)
{
    return name.contains(QLatin1Char('/'));
}

void appendUnique(QStringList &list, const QString &name)
{
    if (!name.isEmpty() && !list.contains(name))
        list.append(name);
}

} // namespace

void registerExtraPort(const QString &name, PortPlacement placement)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        return;
    RegisteredPorts &ports = registered();
    if (placement == PortPlacement::First) {
        ports.after.removeAll(trimmed);
        ports.first.removeAll(trimmed);
        ports.first.prepend(trimmed);
    } else if (!ports.first.contains(trimmed) && !ports.after.contains(trimmed)) {
        ports.after.append(trimmed);
    }
}

void clearExtraPorts()
{
    registered() = {};
}

QStringList storedExtraPorts()
{
    QSettings settings(QStringLiteral("Velorix"), QStringLiteral("Velorix"));
    settings.beginGroup(QStringLiteral("Settings"));
    const QVariant value = settings.value(QStringLiteral("ExtraPorts"));
    QStringList names;
    const QStringList raw = value.typeId() == QMetaType::QStringList
            ? value.toStringList()
            : value.toString().split(QLatin1Char(','));
    for (const QString &name : raw)
        appendUnique(names, name.trimmed());
    return names;
}

QString permissionDeniedText(const QString &port)
{
    // The device file, as ls and chmod would name it.
    QString location = port;
#ifdef Q_OS_UNIX
    if (!looksLikePath(port))
        location = QStringLiteral("/dev/") + port;
#endif
    // Group membership is read at log-in, hence the last step.
    return QStringLiteral("Permission denied on %1. Add your user to the dialout group "
                          "(sudo usermod -aG dialout $USER), then log out and in again.")
            .arg(location);
}

bool isPermissionDenied(int portErrorNumber)
{
    return portErrorNumber == QSerialPort::PermissionError;
}

QStringList portList()
{
    QStringList extras;
    for (const QString &name : registered().first)
        appendUnique(extras, name);
    QStringList later = registered().after;
    later += storedExtraPorts();

    QStringList list;
    auto addExtra = [&list](const QString &name) {
        if (!looksLikePath(name) || QFileInfo::exists(name))
            appendUnique(list, name);
    };
    for (const QString &name : std::as_const(extras))
        addExtra(name);
    const auto systemPorts = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : systemPorts)
        appendUnique(list, info.portName());
    for (const QString &name : std::as_const(later))
        addExtra(name);
    return list;
}

} // namespace velorix
