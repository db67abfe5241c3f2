#include "model/runningexperiments.h"

#include <algorithm>

namespace velorix {

void RunningExperiments::add(const void *owner, const QString &caption, std::uint8_t address)
{
    remove(owner);
    m_entries.push_back({owner, caption, address});
}

void RunningExperiments::remove(const void *owner)
{
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [owner](const RunningExperiment &e) { return e.owner == owner; }),
                    m_entries.end());
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
