#pragma once

// When a window's tick may use the shared link. A tick that falls due
// while another window's exchange holds the link, or while other windows
// wait for it, is put off until its turn comes (the link says when an
// exchange ends; windows go in the order they came) instead of failing all
// its commands with 1001. A tick holds its turn across its exchanges, so
// the line is served once a tick, and lets it go only while it pauses.

#include <QObject>

#include <functional>
#include <utility>

namespace velorix {

class LinkTurns;

class TickTurns
{
public:
    explicit TickTurns(QObject *party) : m_party(party) {}
    ~TickTurns() { leaveLine(); }
    TickTurns(const TickTurns &) = delete;
    TickTurns &operator=(const TickTurns &) = delete;

    // The shared link's line, or nothing before the first protocol object.
    [[nodiscard]] static LinkTurns *linkTurns();
    // An exchange holds the link now (another window's, further down the stack).
    [[nodiscard]] static bool linkBusyElsewhere();
    // Another window's exchange holds the link, or other windows wait for it.
    [[nodiscard]] static bool othersFirst();

    // Takes a place in the line (once: a place kept keeps its first call);
    // `onTurn` runs in the turn. True when the place is new.
    bool queue(std::function<void()> onTurn);
    void leaveLine();

    // Runs the tick's exchanges holding the turn.
    void holdWhile(const std::function<void()> &exchanges);
    // A pause inside the tick: the other windows have the link meanwhile.
    void pause(int milliseconds);

    // A period that ended inside a tick that did not come from the timer
    // (one put off for the link): it is owed, and run after this one.
    void owe() { m_owed = true; }
    [[nodiscard]] bool takeOwed() { return std::exchange(m_owed, false); }

private:
    QObject *m_party;
    bool m_holding = false; // inside a tick that holds the turn
    bool m_owed = false;
};

} // namespace velorix
