#include "simulator/ptyserver.h"

#include "simulator/simbus.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace velorix::sim {

namespace {

// Bytes due within this go out now: the timer cannot wait less than a
// millisecond, and half of one early is nothing on a line of 0.5 ms a byte.
constexpr qint64 kTimerSlackUs = 500;

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

bool isSymlink(const QString &path)
{
    struct stat info
    {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool exists(const QString &path)
{
    struct stat info
    {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

// No echo, no line editing, no character translation: the line carries
// binary frames.
void makeRaw(int fd)
{
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return;
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    ::tcsetattr(fd, TCSANOW, &settings);
}

} // namespace

PtyServer::PtyServer(SimBus &bus, QObject *parent) : QObject(parent), m_bus(bus), m_timer(new QTimer(this))
{
    m_clock.start();
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &PtyServer::onTimer);
}

PtyServer::~PtyServer()
{
    unplug();
}

bool PtyServer::open(const QString &linkPath, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        unplug();
        return false;
    };
    unplug();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return fail(systemError("posix_openpt"));
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail(systemError("grantpt/unlockpt"));
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(systemError("ptsname_r"));
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
    m_slaveHold = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveHold < 0)
        return fail(systemError("open slave"));
    makeRaw(m_slaveHold);

    if (!linkPath.isEmpty()) {
        if (exists(linkPath) && !isSymlink(linkPath))
            return fail(QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(linkPath));
        const QByteArray link = QFile::encodeName(linkPath);
        ::unlink(link.constData());
        if (::symlink(name, link.constData()) != 0)
            return fail(systemError("symlink"));
        m_linkPath = linkPath;
    }

    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyServer::onReadable);
    return true;
}

void PtyServer::unplug()
{
    delete m_notifier;
    m_notifier = nullptr;
    m_timer->stop();
    m_pending.clear();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slaveHold >= 0)
        ::close(m_slaveHold);
    m_master = m_slaveHold = -1;
    if (!m_linkPath.isEmpty() && isSymlink(m_linkPath))
        ::unlink(QFile::encodeName(m_linkPath).constData());
    m_linkPath.clear();
    m_slavePath.clear();
}

void PtyServer::onReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        if (got > 0) {
            enqueue(m_bus.receive(QByteArrayView(buffer, got), nowUs()));
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            break;
        // The slave end is held open, so this should not happen; stop
        // listening rather than spin on a dead descriptor.
        qWarning("velorix-sim: reading the pseudo-terminal failed: %s", std::strerror(errno));
        m_notifier->setEnabled(false);
        break;
    }
    armTimer();
}

void PtyServer::onTimer()
{
    const qint64 now = nowUs();
    while (!m_pending.empty() && m_pending.begin()->first <= now + kTimerSlackUs) {
        writeToLine(m_pending.begin()->second);
        m_pending.erase(m_pending.begin());
    }
    enqueue(m_bus.poll(now));
    armTimer();
}

void PtyServer::enqueue(std::vector<Transmission> transmissions)
{
    for (Transmission &transmission : transmissions)
        m_pending.emplace(transmission.dueUs, std::move(transmission.bytes));
}

void PtyServer::armTimer()
{
    if (!isOpen())
        return;
    std::optional<qint64> next = m_bus.nextDeadlineUs();
    if (!m_pending.empty())
        next = next ? std::min(*next, m_pending.begin()->first) : m_pending.begin()->first;
    if (!next) {
        m_timer->stop();
        return;
    }
    // The timer counts whole milliseconds: to the nearest one, so that
    // bytes leave on average when due rather than half a millisecond late.
    const qint64 waitUs = std::max<qint64>(0, *next - nowUs() - kTimerSlackUs);
    m_timer->start(int((waitUs + 999) / 1000));
}

void PtyServer::writeToLine(const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::write(m_master, bytes.constData() + written, size_t(bytes.size() - written));
        if (put > 0) {
            written += put;
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        // Nobody has read the line for a long time and its buffer is full:
        // the bytes are lost, as on a line without a listener.
        break;
    }
}

} // namespace velorix::sim
