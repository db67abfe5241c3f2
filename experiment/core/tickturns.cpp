#include "experiment/core/tickturns.h"

#include "base/delay.h"
#include "protocol/multidevmod.h"
#include "link/linkturns.h"

#include <QPointer>

namespace velorix {

namespace {

// Holds the link's turn for a stretch of exchanges; the link (and its
// turns) may go meanwhile when the last protocol object is released.
class LinkHold
{
public:
    LinkHold(LinkTurns *turns, bool &holding) : m_turns(turns), m_holding(holding)
    {
        if (m_turns)
            m_turns->hold();
        m_holding = true;
    }
    ~LinkHold()
    {
        if (m_turns)
            m_turns->release();
        m_holding = false;
    }
    LinkHold(const LinkHold &) = delete;
    LinkHold &operator=(const LinkHold &) = delete;

private:
    QPointer<LinkTurns> m_turns;
    bool &m_holding;
};

} // namespace

LinkTurns *TickTurns::linkTurns()
{
    return objComm ? &objComm->turns() : nullptr;
}

bool TickTurns::linkBusyElsewhere()
{
    return objComm && objComm->CommBusy();
}

bool TickTurns::othersFirst()
{
    const LinkTurns *turns = linkTurns();
    return turns && !turns->isFree();
}

bool TickTurns::queue(std::function<void()> onTurn)
{
    LinkTurns *turns = linkTurns();
    if (!turns || turns->isWaiting(m_party))
        return false;
    turns->awaitTurn(m_party, std::move(onTurn));
    return true;
}

void TickTurns::leaveLine()
{
    if (LinkTurns *turns = linkTurns())
        turns->leave(m_party);
}

void TickTurns::holdWhile(const std::function<void()> &exchanges)
{
    const LinkHold hold(linkTurns(), m_holding);
    exchanges();
}

void TickTurns::pause(int milliseconds)
{
    const QPointer<LinkTurns> turns = m_holding ? linkTurns() : nullptr;
    if (turns)
        turns->release();
    Delay(milliseconds);
    if (turns)
        turns->hold();
}

} // namespace velorix
