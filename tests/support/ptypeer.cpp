#include "ptypeer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace velorix::testing {

PtyPeer::PtyPeer()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        unplug();
        return;
    }
    m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
    // Hold the slave open ourselves so the master never sees a hang-up when
    // the link closes and reopens the port.
    m_slaveHold = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios raw{};
    if (m_slaveHold >= 0 && tcgetattr(m_slaveHold, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(m_slaveHold, TCSANOW, &raw);
    }
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyPeer::onReadable);
}

PtyPeer::~PtyPeer()
{
    unplug();
}

void PtyPeer::unplug()
{
    if (m_notifier) {
        m_notifier->setEnabled(false);
        delete m_notifier;
        m_notifier = nullptr;
    }
    if (m_slaveHold >= 0)
        ::close(m_slaveHold);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveHold = m_master = -1;
}

void PtyPeer::writeUnsolicited(const ByteBuffer &bytes)
{
    if (m_master >= 0)
        (void)!::write(m_master, bytes.data(), bytes.size());
}

void PtyPeer::onReadable()
{
    std::uint8_t buffer[512];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n <= 0)
        return;
    written.emplace_back(buffer, buffer + n);
    if (responses.empty())
        return;
    const ScriptedResponse next = responses.front();
    responses.pop_front();
    if (next.failPort) {
        QTimer::singleShot(next.delayMs, this, &PtyPeer::unplug);
        return;
    }
    for (const auto &piece : piecesOf(next))
        QTimer::singleShot(piece.first, this, [this, bytes = piece.second] { writeUnsolicited(bytes); });
}

} // namespace velorix::testing
