#include "program/simulateddemo.h"

#include "link/portlist.h"
#include "simulator/simulatorhost.h"

namespace velorix {

SimulatedDemo::SimulatedDemo(unsigned seed)
{
    sim::SimConfig config; // four devices, 128 to 131, firmware 2.20, wire timing on
    config.scenario = sim::Scenario::random(seed);
    m_host = std::make_unique<sim::SimulatorHost>(config);
}

SimulatedDemo::~SimulatedDemo() = default;

bool SimulatedDemo::start(QString *error)
{
    if (!m_host->start(error))
        return false;
    registerExtraPort(m_host->portPath(), PortPlacement::First);
    return true;
}

QString SimulatedDemo::portName() const
{
    return m_host->portPath();
}

} // namespace velorix
