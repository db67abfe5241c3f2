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

// A number an operator typed into a box. Read as above, so a unit or a word
// after it is allowed ("7.5 rpm", "12 s"), but a number written another way
// is told apart: a decimal comma or a second decimal point going on from
// the digits ("0,5", "1.000,5", "5.0.1") would otherwise be cut short
// without a word and reach the device as another value.
struct TypedNumber
{
    enum class Status {
        Number,    // `value` holds it
        NoNumber,  // nothing that starts a number ("abc", "")
        Malformed, // a comma and a digit, or a second point, go on from it
    };
    Status status = Status::NoNumber;
    double value = 0; // 0 unless status is Number

    [[nodiscard]] bool ok() const { return status == Status::Number; }
};
[[nodiscard]] TypedNumber readTypedNumber(const QString &text);

// What a box holding a malformed number adds to its message, after the
// box's caption: "Acc Step: use a decimal point, as in 0.5".
[[nodiscard]] QString decimalPointHint(const QString &caption);

} // namespace velorix
