#include "simulator/framelog.h"

namespace velorix::sim {

QString FrameLogEntry::toText() const
{
    QString text
            = QStringLiteral("%1 s  %2 %3")
                      .arg(double(timeUs) / 1e6, 12, 'f', 6)
                      .arg(direction == Direction::ToDevice ? QStringLiteral("->") : QStringLiteral("<-"))
                      .arg(QString::fromLatin1(bytes.toHex(' ')));
    if (!note.isEmpty())
        text += QStringLiteral("  (%1)").arg(note);
    return text;
}

void FrameLog::add(FrameLogEntry entry)
{
    if (m_observer)
        m_observer(entry);
    if (!m_enabled)
        return;
    if (m_entries.size() == kCapacity)
        m_entries.pop_front();
    m_entries.push_back(std::move(entry));
}

std::vector<FrameLogEntry> FrameLog::entries() const
{
    return {m_entries.begin(), m_entries.end()};
}

} // namespace velorix::sim
