#include "protocol/resultcodes.h"

namespace velorix {

QString errorNumberText(int result)
{
    return QStringLiteral("Error #%1").arg(result);
}

} // namespace velorix
