#include "simulator/faults.h"

#include <algorithm>
#include <array>
#include <utility>

namespace velorix::sim {

QString faultName(FaultKind kind)
{
    switch (kind) {
    case FaultKind::NoReply: return QStringLiteral("no reply");
    case FaultKind::BadChecksum: return QStringLiteral("bad checksum");
    case FaultKind::WrongAddress: return QStringLiteral("wrong address");
    case FaultKind::Nak: return QStringLiteral("NAK");
    case FaultKind::Late: return QStringLiteral("late");
    case FaultKind::Split: return QStringLiteral("split");
    case FaultKind::Stray: return QStringLiteral("stray bytes");
    case FaultKind::FlashWriteFailure: return QStringLiteral("flash write failure");
    }
    return {};
}

void FaultPlan::inject(const FaultInjection &injection)
{
    if (injection.count > 0)
        m_injections.push_back(injection);
}

std::optional<FaultKind> FaultPlan::faultFor(quint8 address, quint8 code)
{
    const auto matches = [&](const FaultInjection &injection) {
        return injection.kind != FaultKind::FlashWriteFailure
                && (injection.address == kAnyAddress || injection.address == address)
                && (injection.code == kAnyCode || injection.code == code);
    };
    const auto injected = std::find_if(m_injections.begin(), m_injections.end(), matches);
    if (injected != m_injections.end()) {
        const FaultKind kind = injected->kind;
        if (--injected->count == 0)
            m_injections.erase(injected);
        return kind;
    }

    const std::array<std::pair<double, FaultKind>, 7> byRate{{
            {m_rates.noReply, FaultKind::NoReply},
            {m_rates.badChecksum, FaultKind::BadChecksum},
            {m_rates.wrongAddress, FaultKind::WrongAddress},
            {m_rates.nak, FaultKind::Nak},
            {m_rates.late, FaultKind::Late},
            {m_rates.split, FaultKind::Split},
            {m_rates.stray, FaultKind::Stray},
    }};
    const double draw = m_random.generateDouble();
    double upTo = 0;
    for (const auto &[rate, kind] : byRate) {
        upTo += std::clamp(rate, 0.0, 1.0);
        if (draw < upTo)
            return kind;
    }
    return std::nullopt;
}

} // namespace velorix::sim
