#pragma once

// The experiments that run now, so that a window about to reset or stop a
// device can tell whether a running session would go with it. An
// experiment is listed from its start until its run has finished or its
// window has closed.

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace velorix {

struct RunningExperiment
{
    const void *owner = nullptr; // whoever listed it, to take it off again
    QString caption;             // "Experiment for Device 1 at address 128"
    std::uint8_t address = 0;
};

class RunningExperiments
{
public:
    // Lists the experiment of `owner` (again: its entry is replaced).
    void add(const void *owner, const QString &caption, std::uint8_t address);
    void remove(const void *owner);
    // The experiments on the device at `address`; with none given, every
    // experiment on the bus (a bus reset reaches them all).
    [[nodiscard]] std::vector<RunningExperiment> on(std::optional<std::uint8_t> address) const;
    [[nodiscard]] std::size_t count() const { return m_entries.size(); }

    // Whoever shows the runs (the main window's status bar) hears of every
    // change as it happens. watch() returns the ticket that unwatch() takes.
    using Listener = std::function<void()>;
    int watch(Listener listener);
    void unwatch(int ticket);

private:
    // Takes `owner`'s entry off without telling anybody; true if it was listed.
    bool drop(const void *owner);
    void changed();

    std::vector<RunningExperiment> m_entries;
    std::map<int, Listener> m_listeners;
    int m_nextTicket = 1;
};

// The one list of the program.
[[nodiscard]] RunningExperiments &runningExperiments();

} // namespace velorix
