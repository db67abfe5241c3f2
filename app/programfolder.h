#pragma once

#include <QString>

namespace velorix {

// The folder that holds the executable, without a trailing separator,
// whatever the working folder the program was started from.
[[nodiscard]] QString programFolder();

} // namespace velorix
