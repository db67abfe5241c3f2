#include "app/leadingnumber.h"

namespace velorix {

std::optional<double> leadingNumberIfAny(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    QString number;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        number += text[i++];
    bool digits = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits = true;
            number += c;
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
            number += c;
        } else {
            break;
        }
    }
    if (!digits)
        return std::nullopt;
    // Built from ASCII digits only, so the conversion cannot fail; the
    // C locale keeps the decimal point a point whatever the system's.
    return number.toDouble();
}

double leadingNumber(const QString &text)
{
    return leadingNumberIfAny(text).value_or(0.0);
}

} // namespace velorix
