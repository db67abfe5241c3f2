#pragma once

// Turns at the shared link. Whoever finds the link busy (or others already
// waiting for it) takes a place in one line and is served in the order it
// came, when the link announces that an exchange has ended: nobody looks at
// the link again and again, and no window can keep it from the others.
//
// Two ways to wait:
// - awaitTurn: "call me when it is my turn"; the call comes from the event
//   loop, so the caller returns at once (a window's tick).
// - waitForTurn: a nested event loop until the turn comes or the time-out
//   passes (a reset, a firmware record, an identity request). An exchange
//   that holds the link is always further down the caller's own stack and
//   ends only once the caller's wait has returned: such a wait runs out.
//
// The link holds one of these and tells it when each exchange ends; with
// nobody waiting that costs a test of an empty line.

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

namespace velorix {

class LinkTurns final : public QObject
{
    Q_OBJECT
public:
    // `linkBusy` says whether an exchange holds the link now.
    explicit LinkTurns(std::function<bool()> linkBusy, QObject *parent = nullptr);
    ~LinkTurns() override;
    LinkTurns(const LinkTurns &) = delete;
    LinkTurns &operator=(const LinkTurns &) = delete;

    // Whether an exchange may start now: the link is free, nobody waits in
    // line and no turn handed out is still being taken.
    [[nodiscard]] bool isFree() const;

    // Queues `party` (once: a party in line keeps its place and its first
    // call). `onTurn` runs from the event loop when the link is free and
    // every party before it has had its turn; the link stays free until
    // `onTurn` starts its first exchange. A destroyed party leaves the line.
    void awaitTurn(QObject *party, std::function<void()> onTurn);
    void leave(const QObject *party);
    [[nodiscard]] bool isWaiting(const QObject *party) const;

    // Waits for a turn in a nested event loop, at most `timeoutMs`. True:
    // the link is free for the caller, who starts the exchange at once.
    // False: the time ran out, or the link went away meanwhile.
    [[nodiscard]] bool waitForTurn(int timeoutMs);

    // A party that runs several exchanges in a row (a window's tick) holds
    // its turn across them: the line is served once, when it lets go, not
    // after each of its exchanges, where the next one would find the link
    // taken again. It lets go around its own pauses too.
    void hold() { ++m_held; }
    void release()
    {
        if (m_held > 0 && --m_held == 0 && !m_line.empty())
            serveSoon();
    }

    // The link calls this whenever an exchange has ended.
    void exchangeEnded()
    {
        if (!m_line.empty() && m_held == 0)
            serveSoon();
    }

    [[nodiscard]] std::size_t waiting() const { return m_line.size(); }

private:
    struct SyncWait;
    struct Waiter
    {
        QPointer<QObject> party; // an asynchronous waiter
        std::function<void()> onTurn;
        SyncWait *sync = nullptr; // a synchronous waiter, on its own stack
    };

    void serveSoon();
    void serve();

    std::function<bool()> m_linkBusy;
    std::deque<Waiter> m_line;
    QTimer m_serve;    // zero-time single shot: serves from the event loop
    int m_granted = 0; // synchronous turns handed out and not yet returned
    int m_held = 0;    // parties holding their turn across exchanges
};

} // namespace velorix
