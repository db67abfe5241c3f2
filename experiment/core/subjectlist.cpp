#include "experiment/core/subjectlist.h"

namespace velorix {

QString SubjectList::storedId(const QString &typed)
{
    QString id = typed.left(kIdLength);
    id.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return id;
}

bool SubjectList::add(const QString &id)
{
    if (id.isEmpty() || indexOf(id))
        return true;
    for (QString &entry : m_ids) {
        if (entry.isEmpty()) {
            entry = id;
            return true;
        }
    }
    return false;
}

std::optional<int> SubjectList::indexOf(const QString &id) const
{
    for (int i = 0; i < kEntries; ++i) {
        if (m_ids[i] == id)
            return i;
    }
    return std::nullopt;
}

float SubjectList::accumulate(const QString &id, float runTotal)
{
    // An ID not typed or assigned (a channel's default name) gets a slot of
    // its own here, so unnamed channels never pool into one shared sum.
    add(id);
    const std::optional<int> index = id.isEmpty() ? std::nullopt : indexOf(id);
    if (!index)
        return runTotal;
    m_totals[*index] += runTotal;
    return m_totals[*index];
}

} // namespace velorix
