#include "link/multicommv10.h"

#include "link/linkresults.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

namespace velorix {

namespace {

// Clears the busy flag on every way out of an exchange and tells those
// waiting for the link, unless the link itself was released meanwhile.
class BusyScope
{
public:
    BusyScope(multicommv10 *link, bool &flag) : m_link(link), m_flag(flag) { m_flag = true; }
    ~BusyScope()
    {
        if (m_link) {
            m_flag = false;
            m_link->turns().exchangeEnded();
        }
    }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;
    [[nodiscard]] bool linkAlive() const { return !m_link.isNull(); }

private:
    QPointer<multicommv10> m_link;
    bool &m_flag;
};

// A text reply is a short line; most fit in this without growing.
constexpr std::size_t kTextReserve = 64;

bool endsWithLineBreak(const ByteBuffer &bytes)
{
    return std::any_of(bytes.cbegin(), bytes.cend(), [](std::uint8_t b) { return b == '\r' || b == '\n'; });
}

} // namespace

multicommv10::multicommv10(std::unique_ptr<SerialBackend> &&backend, QObject *parent)
    : QObject(parent), m_backend(std::move(backend))
{
    connect(m_backend.get(), &SerialBackend::readyRead, this, &multicommv10::takeArrivedBytes);
    connect(m_backend.get(), &SerialBackend::failed, this, &multicommv10::onBackendFailed);
    m_loop = std::make_unique<QEventLoop>();
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    m_timeout->setTimerType(Qt::PreciseTimer);
    connect(m_timeout, &QTimer::timeout, this, &multicommv10::endWait);
    std::int16_t count = 0;
    (void)GetCommPorts(m_ports, count); // an empty list is a list too
    setSettings(kDefaultLineSettings);
}

multicommv10::~multicommv10()
{
    // A window released the last protocol object while an exchange of the
    // link waits: end that wait; it returns 1003 without touching us. Its
    // call still runs in our loop, so the loop goes with that call.
    if (m_wait) {
        m_wait->released = true;
        m_wait->ended = true;
        if (m_wait->inLoop)
            m_wait->orphanedLoop = std::move(m_loop);
    }
    m_backend->close();
}

void multicommv10::transact(const ByteBuffer &bytSendBuffer, ByteBuffer &bytReceiveBuffer,
                            std::int16_t intRecByteCnt, std::int32_t lngTimeout, std::int16_t &intErr,
                            bool RONLY, const ShortReplyTest *shortReply)
{
    if (m_busy) {
        intErr = rc::Busy;
        return;
    }
    BusyScope busy(this, m_busy);
    bytReceiveBuffer.clear();
    if (!ensureOpen() || (!RONLY && !sendRequest(bytSendBuffer))) {
        intErr = rc::SerialError;
        return;
    }
    if (intRecByteCnt <= 0) {
        intErr = rc::Ok;
        return;
    }
    const auto expected = static_cast<std::size_t>(intRecByteCnt);
    switch (waitForReply(bytReceiveBuffer, expected, false, lngTimeout, shortReply)) {
    case WaitEnd::Complete: intErr = bytReceiveBuffer.size() >= expected ? rc::Ok : rc::NoReply; break;
    case WaitEnd::TimedOut:
        intErr = bytReceiveBuffer.size() >= expected ? rc::Ok : rc::NoReply;
        if (bytReceiveBuffer.empty() && !RONLY)
            m_unanswered = UnansweredRequest{bytSendBuffer, expected};
        break;
    case WaitEnd::Failed:
    case WaitEnd::Released: intErr = rc::SerialError; break;
    }
}

void multicommv10::transactTEXT(const ByteBuffer &bytSendBuffer, QString &strRec, std::int32_t lngTimeout,
                                std::int16_t &intErr, bool RONLY)
{
    if (m_busy) {
        intErr = rc::Busy;
        return;
    }
    BusyScope busy(this, m_busy);
    if (!ensureOpen() || (!RONLY && !sendRequest(bytSendBuffer))) {
        intErr = rc::SerialError;
        return;
    }
    if (lngTimeout <= 0) {
        intErr = rc::Ok;
        return;
    }
    ByteBuffer text;
    const WaitEnd end = waitForReply(text, 0, true, lngTimeout);
    // The line ends at its first CR or LF; what follows is not part of it.
    const auto lineEnd
            = std::find_if(text.cbegin(), text.cend(), [](std::uint8_t b) { return b == '\r' || b == '\n'; });
    strRec = QString::fromLatin1(reinterpret_cast<const char *>(text.data()),
                                 static_cast<qsizetype>(lineEnd - text.cbegin()));
    switch (end) {
    case WaitEnd::Complete: intErr = rc::Ok; break;
    case WaitEnd::TimedOut: intErr = text.empty() ? rc::NoReply : rc::LateText; break;
    case WaitEnd::Failed:
    case WaitEnd::Released: intErr = rc::SerialError; break;
    }
}

void multicommv10::setCommPort(const QString &name, PortError *error)
{
    m_portStatus = false;
    std::int16_t count = 0;
    QStringList current;
    (void)GetCommPorts(current, count); // the name's presence decides
    if (!current.contains(name))
        return;
    // The port already open under this name stays open: reopening it would
    // cut short another window's exchange that waits for its reply.
    if (name == m_portName && m_backend->isOpen()) {
        m_portStatus = true;
        return;
    }
    m_portName = name;
    m_portLost = false;
    m_backend->close();
    PortError refused;
    m_portStatus = m_backend->open(name, &refused) && m_backend->isOpen();
    if (!m_portStatus && error)
        *error = refused;
}

void multicommv10::setSettings(const QString &settings)
{
    m_settings = settings;
    if (const auto parsed = parseLineSettings(settings))
        m_backend->applyLineSettings(*parsed);
}

bool multicommv10::GetCommPorts(QStringList &strArr, std::int16_t &intNumPorts)
{
    strArr = m_backend->availablePorts();
    intNumPorts = static_cast<std::int16_t>(strArr.size());
    return intNumPorts >= 1;
}

bool multicommv10::CommPorts(QStringList &strArr, std::int16_t &intNumPorts) const
{
    strArr = m_ports;
    intNumPorts = NumPorts();
    return intNumPorts >= 1;
}

bool multicommv10::ensureOpen()
{
    if (m_backend->isOpen())
        return true;
    if (!m_portLost || m_portName.isEmpty())
        return false;
    if (!m_backend->open(m_portName, nullptr))
        return false;
    m_portLost = false;
    m_portStatus = true;
    return true;
}

bool multicommv10::sendRequest(const ByteBuffer &bytes)
{
    m_unanswered.reset();
    m_backend->discardInput();
    return m_backend->write(bytes) && m_backend->isOpen();
}

multicommv10::WaitEnd multicommv10::waitForReply(ByteBuffer &sink, std::size_t expected, bool text,
                                                 std::int32_t timeoutMs, const ShortReplyTest *shortReply)
{
    ReplyWait wait;
    wait.sink = &sink;
    wait.expected = expected;
    wait.shortReply = shortReply;
    wait.text = text;
    // Room for the whole reply, so that pieces do not move it around.
    sink.reserve(text ? kTextReserve : expected);
    m_wait = &wait;
    takeArrivedBytes(); // a fast peer may have answered already
    if (!waitComplete() && !wait.failed) {
        wait.inLoop = true;
        m_timeout->start(std::max<std::int32_t>(timeoutMs, 0));
        // The loop sleeps until events come and handles them; whatever ends
        // the wait (the last byte, the time-out, a failed port) happens in
        // one of them. Ending it needs no extra wake-up, as quitting a loop
        // would. If the link goes meanwhile, the loop stays with this call.
        QEventLoop *const loop = m_loop.get();
        while (!wait.ended)
            loop->processEvents(QEventLoop::WaitForMoreEvents);
        if (wait.released)
            return WaitEnd::Released;
        wait.inLoop = false;
        m_timeout->stop();
        takeArrivedBytes();
    }
    const bool complete = waitComplete();
    m_wait = nullptr;
    if (wait.failed)
        return WaitEnd::Failed;
    return complete ? WaitEnd::Complete : WaitEnd::TimedOut;
}

void multicommv10::takeArrivedBytes()
{
    // Bytes outside an exchange stay in the port until the next request
    // discards them.
    if (!m_wait || !m_backend->isOpen())
        return;
    m_backend->readInto(*m_wait->sink);
    if (waitComplete())
        endWait();
}

void multicommv10::onBackendFailed()
{
    m_portStatus = false;
    m_portLost = true;
    if (m_wait) {
        m_wait->failed = true;
        endWait();
    }
}

void multicommv10::endWait()
{
    if (m_wait)
        m_wait->ended = true;
}

bool multicommv10::waitComplete() const
{
    if (m_wait->text)
        return endsWithLineBreak(*m_wait->sink);
    return m_wait->sink->size() >= m_wait->expected
            || (m_wait->shortReply && m_wait->shortReply->isWhole(*m_wait->sink));
}

} // namespace velorix
