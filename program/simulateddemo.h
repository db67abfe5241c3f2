#pragma once

// `velorix --simulate`: a bus of four simulated Velorix-5 devices (addresses
// 128 to 131, firmware 2.20, subjects that fall at seeded random times) on a
// pseudo-terminal inside the program. Its port comes first in the port
// list; everything else runs exactly as with real devices.

#include <QString>

#include <memory>

namespace velorix {

namespace sim {
class SimulatorHost;
}

class SimulatedDemo
{
public:
    explicit SimulatedDemo(unsigned seed = 1);
    ~SimulatedDemo();

    // Opens the pseudo-terminal and puts its port first in the port list.
    [[nodiscard]] bool start(QString *error);
    [[nodiscard]] QString portName() const;

private:
    std::unique_ptr<sim::SimulatorHost> m_host;
};

} // namespace velorix
