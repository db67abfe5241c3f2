#pragma once

// The serial link: owns the program's one serial port and carries one
// exchange at a time (a request, then a reply of a known length within a
// time-out). It knows nothing of frames, addresses or checksums.
//
// The read waits in a nested event loop, so windows repaint and timers fire
// meanwhile; an exchange started from such a handler while another one waits
// is refused with 1001 and leaves the running one intact. Whoever wants the
// link while it is busy waits for a turn (turns()); the link tells its turns
// when each exchange ends.

#include "link/bytebuffer.h"
#include "link/linkturns.h"
#include "link/serialbackend.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

class QEventLoop;
class QTimer;

namespace velorix {

// Lets a reply shorter than the expected count end the wait: the caller
// knows its frames (a device's 3-byte refusal, say); the link does not.
class ShortReplyTest
{
public:
    virtual ~ShortReplyTest() = default;
    [[nodiscard]] virtual bool isWhole(const ByteBuffer &received) const = 0;
};

class multicommv10 : public QObject
{
    Q_OBJECT
public:
    // Takes the port component over; it is released with the link, and the
    // port is closed then.
    explicit multicommv10(std::unique_ptr<SerialBackend> &&backend, QObject *parent = nullptr);
    ~multicommv10() override;

    // One binary exchange. The reply buffer is replaced by exactly the bytes
    // read; `intRecByteCnt` 0 writes and returns without reading. A longer
    // reply is accepted whole. Results: 0, 1001, 1003, 1005.
    // `shortReply`, when given, ends the wait early on a shorter reply it
    // calls whole; the result is then 1005 as for any short reply.
    void transact(const ByteBuffer &bytSendBuffer, ByteBuffer &bytReceiveBuffer, std::int16_t intRecByteCnt,
                  std::int32_t lngTimeout, std::int16_t &intErr, bool RONLY = false,
                  const ShortReplyTest *shortReply = nullptr);

    // One exchange whose reply is text ended by CR or LF. Results: 0, 1001,
    // 1003, 1005 (nothing came), 2006 (text came but its end did not arrive
    // within the time-out). A time-out of 0 reads nothing.
    void transactTEXT(const ByteBuffer &bytSendBuffer, QString &strRec, std::int32_t lngTimeout,
                      std::int16_t &intErr, bool RONLY = false);

    // A request that got not a single reply byte within its time-out. Its
    // reply may still come later and then sits in front of the next
    // exchange's reply; whoever knows the frames can recognise and drop it.
    // Each written request replaces it (with nothing when answered).
    struct UnansweredRequest
    {
        ByteBuffer request;
        std::size_t replyLength = 0;
    };
    [[nodiscard]] const std::optional<UnansweredRequest> &unanswered() const { return m_unanswered; }

    [[nodiscard]] bool CommBusy() const { return m_busy; }
    // The line of those waiting for the link.
    [[nodiscard]] LinkTurns &turns() { return m_turns; }
    [[nodiscard]] bool PortStatus() const { return m_portStatus; }

    [[nodiscard]] QString CommPort() const { return m_portName; }
    // Selects and opens a port of the port list (exact name). A name that is
    // not listed changes nothing and leaves the status False. A port the
    // system refuses leaves the status False and fills `error`.
    void setCommPort(const QString &name, PortError *error = nullptr);

    [[nodiscard]] QString Settings() const { return m_settings; }
    // Stores the text and applies it; text of the wrong form is stored but
    // leaves the port's settings as they were.
    void setSettings(const QString &settings);

    // A fresh port list; True when it has at least one entry.
    [[nodiscard]] bool GetCommPorts(QStringList &strArr, std::int16_t &intNumPorts);
    // The list kept since creation.
    [[nodiscard]] bool CommPorts(QStringList &strArr, std::int16_t &intNumPorts) const;
    [[nodiscard]] std::int16_t NumPorts() const { return static_cast<std::int16_t>(m_ports.size()); }

private:
    // How a wait for reply bytes ended.
    enum class WaitEnd {
        Complete,
        TimedOut,
        Failed,
        Released
    };
    // What counts as a complete reply for the wait in progress. It lives on
    // the waiting call's stack, so it outlives a link released meanwhile.
    struct ReplyWait
    {
        ByteBuffer *sink = nullptr; // the caller's buffer
        std::size_t expected = 0;
        const ShortReplyTest *shortReply = nullptr;
        bool text = false;
        bool inLoop = false; // running m_loop
        bool ended = false;  // the reply is complete, the time is up or the port failed
        bool failed = false;
        bool released = false; // the link was destroyed during the wait
        // The link's loop, handed over by its destructor: the waiting call
        // still runs in it and must return from it before it goes.
        std::unique_ptr<QEventLoop> orphanedLoop;
    };

    // Opens the port again when it failed while selected (an adapter pulled
    // and plugged back in); false when no usable port is open.
    [[nodiscard]] bool ensureOpen();
    // Discards stale input, then writes; false on a port failure.
    [[nodiscard]] bool sendRequest(const ByteBuffer &bytes);
    // Waits in a nested event loop; `this` may be gone when it returns
    // Released, so the caller must not touch members then.
    [[nodiscard]] WaitEnd waitForReply(ByteBuffer &sink, std::size_t expected, bool text,
                                       std::int32_t timeoutMs, const ShortReplyTest *shortReply = nullptr);
    void takeArrivedBytes();
    void onBackendFailed();
    // Ends the nested loop of the wait in progress, if it runs one.
    void endWait();
    [[nodiscard]] bool waitComplete() const;

    std::unique_ptr<SerialBackend> m_backend;
    QStringList m_ports;
    QString m_portName;
    QString m_settings;
    ReplyWait *m_wait = nullptr;
    // One nested loop and one time-out serve every exchange, as only one
    // exchange waits at a time; making them afresh for each one would cost
    // a dozen allocations per exchange.
    std::unique_ptr<QEventLoop> m_loop;
    QTimer *m_timeout = nullptr; // a child of the link
    std::optional<UnansweredRequest> m_unanswered;
    bool m_busy = false;
    LinkTurns m_turns{[this] { return m_busy; }};
    bool m_portStatus = false;
    bool m_portLost = false; // failed while selected; reopened by the next exchange
};

} // namespace velorix
