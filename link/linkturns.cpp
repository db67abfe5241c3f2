#include "link/linkturns.h"

#include <QEventLoop>

#include <algorithm>

namespace velorix {

// A synchronous waiter's state; it lives on the waiting call's stack, so it
// outlives turns released during the wait.
struct LinkTurns::SyncWait
{
    QEventLoop loop;
    bool granted = false;
    bool released = false; // the turns (with the link) went away meanwhile
};

LinkTurns::LinkTurns(std::function<bool()> linkBusy, QObject *parent)
    : QObject(parent), m_linkBusy(std::move(linkBusy))
{
    m_serve.setSingleShot(true);
    m_serve.setInterval(0);
    connect(&m_serve, &QTimer::timeout, this, &LinkTurns::serve);
}

LinkTurns::~LinkTurns()
{
    for (Waiter &waiter : m_line) {
        if (waiter.sync) {
            waiter.sync->released = true;
            waiter.sync->loop.quit();
        }
    }
}

bool LinkTurns::isFree() const
{
    return m_line.empty() && m_granted == 0 && !m_linkBusy();
}

void LinkTurns::awaitTurn(QObject *party, std::function<void()> onTurn)
{
    if (isWaiting(party))
        return;
    m_line.push_back(Waiter{party, std::move(onTurn), nullptr});
    if (!m_linkBusy())
        serveSoon();
}

void LinkTurns::leave(const QObject *party)
{
    m_line.erase(std::remove_if(m_line.begin(), m_line.end(),
                                [party](const Waiter &w) { return !w.sync && w.party == party; }),
                 m_line.end());
}

bool LinkTurns::isWaiting(const QObject *party) const
{
    return std::any_of(m_line.cbegin(), m_line.cend(),
                       [party](const Waiter &w) { return !w.sync && w.party == party; });
}

bool LinkTurns::waitForTurn(int timeoutMs)
{
    if (isFree())
        return true;
    if (timeoutMs <= 0)
        return false;
    SyncWait wait;
    QTimer timeout;
    timeout.setSingleShot(true);
    timeout.setTimerType(Qt::PreciseTimer);
    connect(&timeout, &QTimer::timeout, &wait.loop, &QEventLoop::quit);
    m_line.push_back(Waiter{nullptr, {}, &wait});
    if (!m_linkBusy())
        serveSoon();
    timeout.start(timeoutMs);
    wait.loop.exec();
    if (wait.released)
        return false; // `this` is gone
    if (wait.granted) {
        --m_granted;
    } else {
        m_line.erase(std::remove_if(m_line.begin(), m_line.end(),
                                    [&wait](const Waiter &w) { return w.sync == &wait; }),
                     m_line.end());
    }
    // Those behind get their turn after this caller's exchange, or now
    // should it make none.
    if (!m_line.empty())
        serveSoon();
    return wait.granted;
}

void LinkTurns::serveSoon()
{
    if (!m_serve.isActive())
        m_serve.start();
}

void LinkTurns::serve()
{
    // One turn a call: the event loop runs between turns, so that a wait
    // further down the stack (a tick's pause, say) can end meanwhile.
    while (!m_line.empty() && m_granted == 0 && !m_linkBusy()) {
        Waiter next = std::move(m_line.front());
        m_line.pop_front();
        if (next.sync) {
            next.sync->granted = true;
            ++m_granted;
            next.sync->loop.quit();
            return;
        }
        if (!next.party)
            continue; // destroyed while it waited
        // The turn may release the last protocol object, and the link and
        // these turns with it.
        const QPointer<LinkTurns> self(this);
        next.onTurn();
        if (self && !m_line.empty())
            serveSoon();
        return;
    }
}

} // namespace velorix
