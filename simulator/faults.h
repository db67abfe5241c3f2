#pragma once

// Line faults the simulator can put on its replies, either at random rates or
// injected for the next matching requests. A fault is always on the reply:
// the device has acted on the request whatever happens to its answer.

#include <QRandomGenerator>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

namespace velorix::sim {

enum class FaultKind {
    NoReply,      // the reply is lost
    BadChecksum,  // the checksum byte is off by one
    WrongAddress, // byte 0 names another device (checksum fits)
    Nak,          // the 3-byte refusal [address, 21 (NAK), checksum] instead of the reply
    Late,         // the reply comes after the command's time-out
    Split,        // the reply comes in pieces with gaps, within the time-out
    Stray,        // one to three stray bytes come before the reply
    // Not a line fault: the device's loader answers "F" to the next data
    // records (injection only; the command code of the injection is ignored).
    FlashWriteFailure,
};

[[nodiscard]] QString faultName(FaultKind kind);

// Per reply, from 0 to 1. The rates add up: one draw picks at most one fault,
// so beyond a total of 1 the kinds late in this list get less than asked.
struct FaultRates
{
    double noReply = 0;
    double badChecksum = 0;
    double wrongAddress = 0;
    double nak = 0;
    double late = 0;
    double split = 0;
    double stray = 0;
};

// The command-line name of each rate ("fault-nak" for --fault-nak), in the
// order above; velorix-sim and the benchmarks take the same options.
struct FaultRateOption
{
    const char *name;
    double FaultRates::*rate;
};
inline constexpr std::array<FaultRateOption, 7> kFaultRateOptions{{
        {"fault-noreply", &FaultRates::noReply},
        {"fault-checksum", &FaultRates::badChecksum},
        {"fault-address", &FaultRates::wrongAddress},
        {"fault-nak", &FaultRates::nak},
        {"fault-late", &FaultRates::late},
        {"fault-split", &FaultRates::split},
        {"fault-stray", &FaultRates::stray},
}};

inline constexpr int kAnyAddress = -1;
inline constexpr int kAnyCode = -1;

struct FaultInjection
{
    int address = kAnyAddress; // the address of the request
    int code = kAnyCode;
    FaultKind kind = FaultKind::NoReply;
    int count = 1; // how many matching replies get it
};

// Decides the fault of each reply. Injections come first, in the order they
// were made; then the random rates.
class FaultPlan
{
public:
    explicit FaultPlan(quint32 seed) : m_random(seed) {}

    void setRates(const FaultRates &rates) { m_rates = rates; }
    [[nodiscard]] const FaultRates &rates() const { return m_rates; }
    void inject(const FaultInjection &injection);
    void clearInjections() { m_injections.clear(); }

    // Consumes the injection or draw that applies to this reply.
    [[nodiscard]] std::optional<FaultKind> faultFor(quint8 address, quint8 code);
    [[nodiscard]] QRandomGenerator &random() { return m_random; }

private:
    FaultRates m_rates;
    std::vector<FaultInjection> m_injections;
    QRandomGenerator m_random;
};

} // namespace velorix::sim
