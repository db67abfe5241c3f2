#include "simulator/replyshaper.h"

#include "simulator/commandset.h"

#include <algorithm>

namespace velorix::sim {

namespace {

constexpr qint64 kBitsPerByte = 10;
constexpr qint64 kBaud = 19'200;

QByteArray withNewChecksum(QByteArray reply)
{
    reply.chop(1);
    return withChecksum(reply);
}

// The reply as the fault leaves its bytes (timing aside).
QByteArray spoiled(QByteArray reply, FaultKind fault, QRandomGenerator &random)
{
    switch (fault) {
    case FaultKind::BadChecksum: reply.back() = char(quint8(reply.back()) + 1); return reply;
    case FaultKind::WrongAddress: reply[0] = char(quint8(reply[0]) ^ 1u); return withNewChecksum(reply);
    case FaultKind::Nak: {
        // A refusal is the 3-byte frame [address, NAK, checksum] whatever the
        // command: never a full-length reply with 21 somewhere in its body.
        QByteArray refusal;
        refusal.append(reply[0]);
        refusal.append(char(kNak));
        return withChecksum(refusal);
    }
    case FaultKind::Stray: {
        QByteArray stray;
        const int count = int(random.bounded(1, 4));
        for (int i = 0; i < count; ++i)
            stray.append(char(random.bounded(256)));
        return stray + reply;
    }
    default: return reply;
    }
}

// Two or three non-empty pieces of `reply`, cut at random.
std::vector<QByteArray> cutInPieces(const QByteArray &reply, QRandomGenerator &random)
{
    const int count = int(random.bounded(2, 4));
    std::vector<QByteArray> pieces;
    qsizetype from = 0;
    for (int i = 0; i < count; ++i) {
        const int piecesAfter = count - 1 - i;
        const qsizetype size = piecesAfter == 0
                ? reply.size() - from
                : random.bounded(1, int(reply.size() - from - piecesAfter) + 1);
        pieces.push_back(reply.mid(from, size));
        from += size;
    }
    return pieces;
}

} // namespace

qint64 ReplyShaper::wireUs(qsizetype bytes) const
{
    return m_wireTiming ? bytes * kBitsPerByte * 1'000'000 / kBaud : 0;
}

std::vector<Transmission> ReplyShaper::shape(const QByteArray &reply, qsizetype requestLength, int timeoutMs,
                                             std::optional<FaultKind> fault, qint64 requestEndUs,
                                             QRandomGenerator &random)
{
    // Every reply has at least address, one body byte and checksum.
    if (reply.size() < 3 || fault == FaultKind::NoReply)
        return {};
    const qint64 timeoutUs = timeoutMs * qint64(1000);
    qint64 atUs = std::max(requestEndUs + wireUs(requestLength) + m_latencyUs, m_lineFreeUs);
    if (fault == FaultKind::Late)
        atUs = std::max(atUs, requestEndUs + timeoutUs + kLateMarginUs);

    std::vector<QByteArray> pieces{fault ? spoiled(reply, *fault, random) : reply};
    qint64 gapUs = 0;
    if (fault == FaultKind::Split) {
        pieces = cutInPieces(reply, random);
        // Gaps that leave the whole reply well inside the time-out.
        gapUs = std::clamp<qint64>(timeoutUs / (4 * qint64(pieces.size())), 1'000, 15'000);
    }

    std::vector<Transmission> out;
    for (const QByteArray &piece : pieces) {
        if (!out.empty())
            atUs += gapUs;
        atUs += wireUs(piece.size());
        out.push_back({atUs, piece});
    }
    m_lineFreeUs = atUs;
    return out;
}

} // namespace velorix::sim
