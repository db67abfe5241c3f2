#pragma once

// The user's settings store of the program (the window's place, the
// experiment window's choices): one place that names it.

#include <QSettings>

namespace velorix {

[[nodiscard]] inline QSettings programSettings()
{
    return QSettings(QStringLiteral("Velorix"), QStringLiteral("Velorix"));
}

} // namespace velorix
