#pragma once

// The device end of one window's run: its protocol object and bus address.
// Every command's result is judged the same way: the session log notes it,
// a failure shows its "Error #" in the display and is counted.

#include "experiment/core/expview.h"
#include "experiment/core/runrecorder.h"
#include "protocol/multivelorix.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace velorix {

class RunDevice
{
public:
    RunDevice(std::uint8_t address, ExpDisplay &display, RunRecorder &recorder)
        : m_address(address), m_display(display), m_recorder(recorder)
    {}

    // The protocol object on the program's port; false, and `error` set,
    // when the port could not be selected.
    bool open(const QString &port, PortError *error);
    void close() { m_device.reset(); }
    [[nodiscard]] bool isOpen() const { return m_device != nullptr; }
    // Whether commands may go out now: the caller's say (a window closed
    // while its tick waits sends nothing more), and a protocol object.
    void setAllowed(std::function<bool()> allowed) { m_allowed = std::move(allowed); }
    [[nodiscard]] bool mayGoOn() const { return m_device && (!m_allowed || m_allowed()); }

    [[nodiscard]] multiVelorix &commands() const { return *m_device; }
    [[nodiscard]] std::uint8_t address() const { return m_address; }

    // Notes `result` of `command`; true when it succeeded.
    bool judge(const char *command, std::int16_t result);

    std::int16_t intLastErr = 0; // the last command's result

private:
    std::uint8_t m_address;
    ExpDisplay &m_display;
    RunRecorder &m_recorder;
    std::unique_ptr<multiVelorix> m_device;
    std::function<bool()> m_allowed;
};

} // namespace velorix
