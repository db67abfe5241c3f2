#pragma once

// The experiments that run now, so that a window about to reset or stop a
// device can tell whether a running session would go with it. An
// experiment is listed from its start until its run has finished or its
// window has closed.

#include <QString>

#include <cstdint>
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

private:
    std::vector<RunningExperiment> m_entries;
};

// The one list of the program.
[[nodiscard]] RunningExperiments &runningExperiments();

} // namespace velorix
