#pragma once

// How the program reads a number out of text an operator typed or a file
// holds: leading blanks skipped, an optional sign, digits with an optional
// decimal point (always a point, whatever the regional settings); reading
// stops at the first character that cannot continue the number. "7.5 rpm"
// is 7.5, "abc" is 0.

#include <QString>

#include <optional>

namespace velorix {

// Text without a leading number gives 0.
[[nodiscard]] double leadingNumber(const QString &text);
// The same, but empty when the text holds no number at all.
[[nodiscard]] std::optional<double> leadingNumberIfAny(const QString &text);

} // namespace velorix
