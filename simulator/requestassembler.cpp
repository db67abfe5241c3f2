#include "simulator/requestassembler.h"

#include "simulator/commandset.h"
#include "simulator/firmwareloader.h"

#include <algorithm>
#include <utility>

namespace velorix::sim {

RequestAssembler::RequestAssembler(ProgramModeQuery isProgramMode) : m_isProgramMode(std::move(isProgramMode))
{}

void RequestAssembler::push(QByteArrayView bytes, qint64 nowUs)
{
    if (bytes.isEmpty())
        return;
    expire(nowUs);
    m_buffer.append(bytes);
    m_lastByteUs = nowUs;
}

void RequestAssembler::expire(qint64 nowUs)
{
    if (!m_buffer.isEmpty() && nowUs - m_lastByteUs > kGapUs)
        m_staleCount = m_buffer.size();
}

std::optional<qint64> RequestAssembler::deadlineUs() const
{
    if (m_buffer.size() <= m_staleCount)
        return std::nullopt;
    return m_lastByteUs + kGapUs + 1;
}

std::optional<RequestAssembler::Piece> RequestAssembler::next()
{
    while (!m_buffer.isEmpty()) {
        // A request that began before a gap must be complete without the
        // bytes that came after it.
        const bool stale = m_staleCount > 0;
        const QByteArrayView view
                = stale ? QByteArrayView(m_buffer).first(m_staleCount) : QByteArrayView(m_buffer);
        const Candidate candidate = judge(view);
        if (candidate.verdict == Candidate::Verdict::NeedMore && !stale)
            return takeDiscarded();
        if (candidate.verdict == Candidate::Verdict::Complete) {
            if (!m_discarded.isEmpty())
                return takeDiscarded(); // the request stays for the next call
            Piece piece{Piece::Kind::Request, m_buffer.left(candidate.length), {}};
            m_buffer.remove(0, candidate.length);
            m_staleCount = std::max<qsizetype>(0, m_staleCount - candidate.length);
            return piece;
        }
        discardFirst(candidate.verdict == Candidate::Verdict::Bad
                             ? candidate.reason
                             : QStringLiteral("request stopped for more than 50 ms"));
    }
    m_staleCount = 0;
    return takeDiscarded();
}

RequestAssembler::Candidate RequestAssembler::judge(QByteArrayView bytes) const
{
    using Verdict = Candidate::Verdict;
    if (bytes.size() < 2)
        return {};
    const quint8 code = byteAt(bytes, 1);
    if (code == Code::WriteMem && m_isProgramMode && m_isProgramMode(byteAt(bytes, 0)))
        return judgeRecord(bytes);
    const auto info = commandInfo(code);
    if (!info)
        return {Verdict::Bad, 0, QStringLiteral("unknown command code")};
    if (bytes.size() < info->requestLength)
        return {};
    if (!hasValidChecksum(bytes.first(info->requestLength)))
        return {Verdict::Bad, 0, QStringLiteral("bad checksum")};
    return {Verdict::Complete, info->requestLength, {}};
}

RequestAssembler::Candidate RequestAssembler::judgeRecord(QByteArrayView bytes) const
{
    using Verdict = Candidate::Verdict;
    if (bytes.size() < 3)
        return {};
    if (bytes.at(2) != ':')
        return {Verdict::Bad, 0, QStringLiteral("firmware record without ':'")};
    if (bytes.size() < 5)
        return {};
    const auto dataLength = recordDataLength(bytes.sliced(2));
    if (!dataLength)
        return {Verdict::Bad, 0, QStringLiteral("unreadable firmware record length")};
    const qsizetype length = 2 + recordTextLength(*dataLength);
    if (bytes.size() < length)
        return {};
    return {Verdict::Complete, length, {}};
}

void RequestAssembler::discardFirst(const QString &reason)
{
    if (m_discarded.isEmpty())
        m_discardReason = reason;
    m_discarded.append(m_buffer.front());
    m_buffer.remove(0, 1);
    m_staleCount = std::max<qsizetype>(0, m_staleCount - 1);
}

std::optional<RequestAssembler::Piece> RequestAssembler::takeDiscarded()
{
    if (m_discarded.isEmpty())
        return std::nullopt;
    Piece piece{Piece::Kind::Discarded, std::exchange(m_discarded, {}), m_discardReason};
    return piece;
}

} // namespace velorix::sim
