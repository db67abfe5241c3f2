#include "study/core/studyrun.h"

namespace velorix {

bool subjectBefore(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Whole numbers compared by value: by their length without
            // leading zeros, then digit by digit.
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && a[endA].isDigit())
                ++endA;
            while (endB < b.size() && b[endB].isDigit())
                ++endB;
            const QStringView numberA = QStringView(a).mid(i, endA - i);
            const QStringView numberB = QStringView(b).mid(j, endB - j);
            const auto significant = [](QStringView digits) {
                qsizetype zeros = 0;
                while (zeros + 1 < digits.size() && digits[zeros] == QLatin1Char('0'))
                    ++zeros;
                return digits.mid(zeros);
            };
            const QStringView valueA = significant(numberA);
            const QStringView valueB = significant(numberB);
            if (valueA.size() != valueB.size())
                return valueA.size() < valueB.size();
            if (const int order = valueA.compare(valueB); order != 0)
                return order < 0;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b; // equal by value ("M01", "M1"): still one order
}

QString runEndCode(RunEnd end)
{
    switch (end) {
    case RunEnd::Fall: return QStringLiteral("fall");
    case RunEnd::CutOff: return QStringLiteral("cut_off");
    case RunEnd::StopButton: return QStringLiteral("stop_button");
    case RunEnd::WindowClosed: return QStringLiteral("window_closed");
    case RunEnd::LastGoodReply: return QStringLiteral("last_good_reply");
    case RunEnd::Unknown: break;
    }
    return QStringLiteral("unknown");
}

} // namespace velorix
