#pragma once

// What the device addresser decides, without its window: the search of the
// bus addresses for Velorix-5 devices, the found list's entries, what an
// identity text says, and the change of a device's bus address.

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace velorix {

class multiVelorix;

constexpr std::uint8_t kFirstBusAddress = 128;
constexpr std::uint8_t kLastBusAddress = 239;

// " 200, C8h": a space, the address in decimal, ", ", in upper-case
// hexadecimal, "h".
[[nodiscard]] QString foundEntry(std::uint8_t address);
// The address of a found-list entry: the number before its first ",".
[[nodiscard]] std::optional<std::uint8_t> entryAddress(const QString &entry);

// What ReturnID's text says, as the addresser and the diagnostics window
// show it. `beep` when the device needs attention (old firmware).
struct IdentityVerdict
{
    QString text;
    bool beep = false;
};
// `expected` is the protocol's IDString ("02540200"): its first four
// characters are the product number of a Velorix-5, and its version
// (characters 5 to 8) the oldest firmware this program works with.
[[nodiscard]] IdentityVerdict identityVerdict(const QString &identity, const QString &expected);

struct SearchView
{
    std::function<void(std::uint8_t address)> probing; // before each address
    std::function<void(std::uint8_t address)> found;   // a Velorix-5 answered
    std::function<bool()> cancelled;                   // checked before each address
};

// Asks every address 128..239 for its identity, in order, until cancelled;
// events are processed after each probe so that the cancel is seen. Returns
// the addresses where a Velorix-5 answered.
[[nodiscard]] QList<std::uint8_t> searchBus(multiVelorix &device, const SearchView &view);

// "Set Address" from `from` to `to`. Refused when a device already answers
// at `to` (two devices on one address could no longer be told apart); after
// the change the device must answer at its new address.
struct AddressChange
{
    enum class Outcome {
        Done,
        AddressInUse,
        Failed
    };
    Outcome outcome = Outcome::Failed;
    std::int16_t code = 0; // the failing command's result when Failed
};
[[nodiscard]] AddressChange changeAddress(multiVelorix &device, std::uint8_t from, std::uint8_t to);
[[nodiscard]] QString addressInUseText(std::uint8_t address);

} // namespace velorix
