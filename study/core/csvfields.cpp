#include "study/core/csvfields.h"

namespace velorix::csv {

QString cell(const QString &field)
{
    const bool quoted = field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"'))
            || field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'))
            || field.startsWith(QLatin1Char(' ')) || field.endsWith(QLatin1Char(' '));
    if (!quoted)
        return field;
    QString text = field;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString record(const QStringList &fields)
{
    QString line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += QLatin1Char(',');
        line += cell(fields[i]);
    }
    return line;
}

std::optional<QStringList> fields(QStringView line)
{
    QStringList result;
    QString field;
    qsizetype at = 0;
    while (true) {
        field.clear();
        if (at < line.size() && line[at] == QLatin1Char('"')) {
            ++at;
            while (true) {
                if (at >= line.size())
                    return std::nullopt; // not closed
                if (line[at] == QLatin1Char('"')) {
                    if (at + 1 < line.size() && line[at + 1] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field += line[at++];
            }
            if (at < line.size() && line[at] != QLatin1Char(','))
                return std::nullopt; // text after the closing quote
        } else {
            const qsizetype comma = line.indexOf(QLatin1Char(','), at);
            const qsizetype end = comma < 0 ? line.size() : comma;
            field = line.mid(at, end - at).toString();
            if (field.contains(QLatin1Char('"')))
                return std::nullopt;
            at = end;
        }
        result << field;
        if (at >= line.size())
            return result;
        ++at; // the comma
    }
}

} // namespace velorix::csv
