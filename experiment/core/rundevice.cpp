#include "experiment/core/rundevice.h"

#include "protocol/resultcodes.h"

namespace velorix {

bool RunDevice::open(const QString &port, PortError *error)
{
    m_device = std::make_unique<multiVelorix>();
    PortError refused;
    m_device->CommPort(port, &refused);
    if (refused.number == 0 && refused.text.isEmpty())
        return true;
    if (error)
        *error = refused;
    return false;
}

bool RunDevice::judge(const char *command, std::int16_t result)
{
    m_recorder.noteResult(command, result);
    if (result == rc::Ok)
        return true;
    m_display.txtDisplay = errorNumberText(result);
    return false;
}

} // namespace velorix
