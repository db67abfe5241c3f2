#pragma once

#include <QString>
#include <QStringList>

namespace velorix {

// The lines of an 8-bit text file with CR LF (or LF) ends; a last line end
// does not make an extra empty line. False when the file cannot be read.
[[nodiscard]] bool readTextLines(const QString &path, QStringList &lines);

} // namespace velorix
