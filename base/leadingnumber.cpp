#include "base/leadingnumber.h"

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
    // An exponent belongs to the number only when digits follow it: "1e12"
    // is 1e12, "5 e" and "2e" are 5 and 2.
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        QString exponent = QStringLiteral("e");
        if (j < n && (text[j] == QLatin1Char('-') || text[j] == QLatin1Char('+')))
            exponent += text[j++];
        const qsizetype firstDigit = j;
        while (j < n && text[j] >= QLatin1Char('0') && text[j] <= QLatin1Char('9'))
            exponent += text[j++];
        if (j > firstDigit)
            number += exponent;
    }
    // Built from ASCII digits only, so the conversion cannot fail (a huge
    // exponent gives infinity, which no range holds); the C locale keeps the
    // decimal point a point whatever the system's.
    return number.toDouble();
}

double leadingNumber(const QString &text)
{
    return leadingNumberIfAny(text).value_or(0.0);
}

} // namespace velorix
