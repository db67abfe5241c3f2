#pragma once

// What a subject ID, a channel label or a device label may hold. The data
// file, the label templates and device.ini separate their values by commas
// and their lines by line ends, with no quoting, and they are 8-bit
// (Latin-1) text: a comma, CR or LF inside a value would read back as more
// values or lines, and a character outside Latin-1 would turn into "?".
// Such values are refused where they are typed and where they are written.

#include <QChar>
#include <QString>

namespace velorix {

enum class FieldKind {
    SubjectId,
    ChannelLabel,
    DeviceLabel,
    DeviceUnits
};

// Whether the files can hold the character. (Half of a surrogate pair is
// outside Latin-1 as well.)
[[nodiscard]] bool isFieldCharacter(QChar c);

// The first thing in `text` the files cannot hold, in words: "a comma", "a
// line break", "a character outside Latin-1 (U+0416)". Empty when the text
// can be written as it is.
[[nodiscard]] QString fieldTextProblem(const QString &text);

// The rule with its reason, as the boxes and the refusals tell it: "A
// subject ID cannot hold a comma, a line break or characters outside
// Latin-1: the data file separates its cells by commas."
[[nodiscard]] QString fieldTextRule(FieldKind kind);

// The text with each character the files cannot hold replaced: a comma or
// a line break by ';', anything outside Latin-1 by '?'. For a last guard
// that must write the value somehow, and says so.
[[nodiscard]] QString fieldTextReplaced(const QString &text);

} // namespace velorix
