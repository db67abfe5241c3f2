#include "protocol/multidevmod.h"

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

} // namespace velorix
