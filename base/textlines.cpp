#include "base/textlines.h"

#include <QFile>

namespace velorix {

bool readTextLines(const QString &path, QStringList &lines)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromLatin1(file.readAll());
    if (file.error() != QFileDevice::NoError)
        return false;
    lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return true;
}

} // namespace velorix
