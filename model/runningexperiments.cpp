#include "model/runningexperiments.h"

#include <algorithm>

namespace velorix {

void RunningExperiments::add(const void *owner, const QString &caption, std::uint8_t address)
{
    drop(owner);
    m_entries.push_back({owner, caption, address});
    changed();
}

void RunningExperiments::remove(const void *owner)
{
    if (drop(owner))
        changed();
}

bool RunningExperiments::drop(const void *owner)
{
    const auto gone = std::remove_if(m_entries.begin(), m_entries.end(),
                                     [owner](const RunningExperiment &e) { return e.owner == owner; });
    const bool found = gone != m_entries.end();
    m_entries.erase(gone, m_entries.end());
    return found;
}

int RunningExperiments::watch(Listener listener)
{
    const int ticket = m_nextTicket++;
    m_listeners.emplace(ticket, std::move(listener));
    return ticket;
}

void RunningExperiments::unwatch(int ticket)
{
    m_listeners.erase(ticket);
}

void RunningExperiments::changed()
{
    // A listener may unwatch (its window closing) while it is told.
    const std::map<int, Listener> listeners = m_listeners;
    for (const auto &[ticket, listener] : listeners) {
        if (m_listeners.count(ticket) && listener)
            listener();
    }
}

std::vector<RunningExperiment> RunningExperiments::on(std::optional<std::uint8_t> address) const
{
    std::vector<RunningExperiment> found;
    for (const RunningExperiment &entry : m_entries) {
        if (!address || entry.address == *address)
            found.push_back(entry);
    }
    return found;
}

RunningExperiments &runningExperiments()
{
    static RunningExperiments list;
    return list;
}

} // namespace velorix
