#pragma once

// The diagnostics tick's turn at the link (diagnostics.cpp only).

#include "link/linkturns.h"
#include "maintenance/core/diagnostics.h"

#include <QPointer>

namespace velorix {

// The tick's turn at the link, held across its reads and let go around its
// pauses. The link (and its turns) may go while the tick pauses, when the
// last protocol object is released; so may the session.
class DiagnosticsSession::TurnHold
{
public:
    explicit TurnHold(LinkTurns *turns) : m_turns(turns) { take(); }
    ~TurnHold() { letGo(); }
    Q_DISABLE_COPY(TurnHold)

    void take()
    {
        if (m_turns)
            m_turns->hold();
    }
    void letGo()
    {
        if (m_turns)
            m_turns->release();
    }

private:
    QPointer<LinkTurns> m_turns;
};

} // namespace velorix
