#include "protocol/multidevmod.h"

#include "base/delay.h"
#include "link/qserialportbackend.h"

namespace velorix {

std::unique_ptr<multicommv10> objComm;
std::int16_t intDevObjCount = 0;

namespace {

SerialBackendFactory &backendFactory()
{
    static SerialBackendFactory factory;
    return factory;
}

} // namespace

void setSerialBackendFactory(SerialBackendFactory factory)
{
    backendFactory() = std::move(factory);
}

std::unique_ptr<SerialBackend> createSerialBackend()
{
    if (backendFactory())
        return backendFactory()();
    return std::make_unique<QSerialPortBackend>();
}

bool waitForLinkTurn(std::int32_t milliseconds)
{
    if (objComm)
        return objComm->turns().waitForTurn(milliseconds);
    Delay(milliseconds);
    return false;
}

} // namespace velorix
