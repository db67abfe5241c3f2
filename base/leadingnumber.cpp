#include "base/leadingnumber.h"

namespace velorix {

namespace {

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

struct Scan
{
    std::optional<double> value;
    qsizetype start = 0; // after the blanks and the sign
    qsizetype end = 0;   // the first character that is not part of the number
};

Scan scanNumber(const QString &text)
{
    Scan scan;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    QString number;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        number += text[i++];
    scan.start = i;
    bool digits = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isDigit(c)) {
            digits = true;
            number += c;
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
            number += c;
        } else {
            break;
        }
    }
    scan.end = i;
    if (!digits)
        return scan;
    // An exponent belongs to the number only when digits follow it: "1e12"
    // is 1e12, "5 e" and "2e" are 5 and 2.
    if (i < n && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        QString exponent = QStringLiteral("e");
        if (j < n && (text[j] == QLatin1Char('-') || text[j] == QLatin1Char('+')))
            exponent += text[j++];
        const qsizetype firstDigit = j;
        while (j < n && isDigit(text[j]))
            exponent += text[j++];
        if (j > firstDigit) {
            number += exponent;
            scan.end = j;
        }
    }
    // Built from ASCII digits only, so the conversion cannot fail (a huge
    // exponent gives infinity, which no range holds); the C locale keeps the
    // decimal point a point whatever the system's.
    scan.value = number.toDouble();
    return scan;
}

bool commaAndDigitAt(const QString &text, qsizetype at)
{
    return at + 1 < text.size() && text[at] == QLatin1Char(',') && isDigit(text[at + 1]);
}

} // namespace

std::optional<double> leadingNumberIfAny(const QString &text)
{
    return scanNumber(text).value;
}

double leadingNumber(const QString &text)
{
    return leadingNumberIfAny(text).value_or(0.0);
}

TypedNumber readTypedNumber(const QString &text)
{
    const Scan scan = scanNumber(text);
    TypedNumber typed;
    if (!scan.value) {
        // ",5" is a decimal comma too, only without its leading 0.
        if (commaAndDigitAt(text, scan.start))
            typed.status = TypedNumber::Status::Malformed;
        return typed;
    }
    // The scan stops at a point only when the number already has one (or
    // has an exponent): "5.0.1", "1.5e3.2".
    const bool secondPoint = scan.end < text.size() && text[scan.end] == QLatin1Char('.');
    if (secondPoint || commaAndDigitAt(text, scan.end)) {
        typed.status = TypedNumber::Status::Malformed;
        return typed;
    }
    typed.status = TypedNumber::Status::Number;
    typed.value = *scan.value;
    return typed;
}

QString decimalPointHint(const QString &caption)
{
    return caption + QStringLiteral(": use a decimal point, as in 0.5");
}

} // namespace velorix
