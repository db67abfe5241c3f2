#include "model/fieldtext.h"

namespace velorix {

bool isFieldCharacter(QChar c)
{
    return c != QLatin1Char(',') && c != QLatin1Char('\r') && c != QLatin1Char('\n') && c.unicode() <= 0xFF;
}

QString fieldTextProblem(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isFieldCharacter(c))
            continue;
        if (c == QLatin1Char(','))
            return QStringLiteral("a comma");
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            return QStringLiteral("a line break");
        // Named by its code, which any file or log can show.
        char32_t code = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(c, text.at(i + 1));
        return QStringLiteral("a character outside Latin-1 (U+%1)")
                .arg(QString::number(uint(code), 16).toUpper(), 4, QLatin1Char('0'));
    }
    return {};
}

QString fieldTextRule(FieldKind kind)
{
    const auto rule = [](const char *what, const char *why) {
        return QLatin1String(what)
                + QStringLiteral(" cannot hold a comma, a line break or characters outside Latin-1: ")
                + QLatin1String(why);
    };
    switch (kind) {
    case FieldKind::SubjectId: return rule("A subject ID", "the data file separates its cells by commas.");
    case FieldKind::ChannelLabel:
        return rule("A channel label", "the label template separates its labels by commas.");
    case FieldKind::DeviceLabel: return rule("A device label", "device.ini ends a value at a comma.");
    case FieldKind::DeviceUnits: return rule("A units text", "device.ini ends a value at a comma.");
    }
    return {};
}

QString fieldTextReplaced(const QString &text)
{
    QString replaced;
    replaced.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (isFieldCharacter(c)) {
            replaced += c;
        } else if (c == QLatin1Char(',') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            replaced += QLatin1Char(';');
        } else {
            replaced += QLatin1Char('?');
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
                ++i; // one character, one mark
        }
    }
    return replaced;
}

} // namespace velorix
