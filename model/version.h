#pragma once

// The program's title and version text, as the splash window and the About
// box show them. The numbers come from the build (the project's version), so
// the windows and the package never disagree.

#include <QString>

#if !defined(VELORIX_VERSION_MAJOR) || !defined(VELORIX_VERSION_MINOR) || !defined(VELORIX_VERSION_PATCH)
#error "The build must define VELORIX_VERSION_MAJOR, VELORIX_VERSION_MINOR and VELORIX_VERSION_PATCH"
#endif

namespace velorix {

constexpr int kVersionMajor = VELORIX_VERSION_MAJOR;
constexpr int kVersionMinor = VELORIX_VERSION_MINOR;
constexpr int kVersionRevision = VELORIX_VERSION_PATCH;

[[nodiscard]] inline QString programTitle()
{
    return QStringLiteral("Velorix");
}

// "Version 1.0.0": major, minor and revision as plain decimal numbers.
[[nodiscard]] inline QString versionText()
{
    return QStringLiteral("Version %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision);
}

} // namespace velorix
