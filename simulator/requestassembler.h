#pragma once

// Cuts the byte stream of the line into requests, as a device reads it: the
// command code fixes the length, a bad checksum or unknown code drops the
// attempt, and bytes that stop for more than 50 ms in the middle of a request
// are given up. After a dropped attempt the next byte is tried as byte 0, so
// a good request right behind garbage is still understood.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace velorix::sim {

class RequestAssembler
{
public:
    static constexpr qint64 kGapUs = 50'000;

    // Tells whether `address` is a device in program mode, where code 22 is
    // a firmware text record whose length follows from the record itself.
    using ProgramModeQuery = std::function<bool(quint8 address)>;

    struct Piece
    {
        enum class Kind {
            Request,
            Discarded
        };
        Kind kind = Kind::Request;
        QByteArray bytes;
        QString reason; // why bytes were discarded
    };

    explicit RequestAssembler(ProgramModeQuery isProgramMode);

    // Bytes that arrived at `nowUs`; an unfinished request older than the gap
    // can no longer be completed by them.
    void push(QByteArrayView bytes, qint64 nowUs);
    // Gives up an unfinished request once the gap has passed by `nowUs`.
    void expire(qint64 nowUs);
    // The next request or run of discarded bytes; empty when more bytes are
    // needed. Call until empty after push() and expire(): a request may
    // change how the following bytes are read (a reset into program mode).
    [[nodiscard]] std::optional<Piece> next();
    // When expire() will next give something up.
    [[nodiscard]] std::optional<qint64> deadlineUs() const;

private:
    struct Candidate
    {
        enum class Verdict {
            NeedMore,
            Complete,
            Bad
        };
        Verdict verdict = Verdict::NeedMore;
        qsizetype length = 0;
        QString reason;
    };

    [[nodiscard]] Candidate judge(QByteArrayView bytes) const;
    [[nodiscard]] Candidate judgeRecord(QByteArrayView bytes) const;
    void discardFirst(const QString &reason);
    [[nodiscard]] std::optional<Piece> takeDiscarded();

    ProgramModeQuery m_isProgramMode;
    QByteArray m_buffer;
    qsizetype m_staleCount = 0; // leading bytes that arrived before a gap
    qint64 m_lastByteUs = 0;
    QByteArray m_discarded;
    QString m_discardReason;
};

} // namespace velorix::sim
