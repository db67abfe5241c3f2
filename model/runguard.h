#pragma once

// The one check every window makes before it resets or stops devices: when
// that would reach a running experiment, the operator is asked first, with
// No as the default, and the running experiments are named.

#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

namespace velorix {

// True when the action may go ahead: no running experiment is on the
// device at `address` (on any device when none is given, as for a bus
// reset), or the operator answered Yes. `action` names what would happen,
// as in "The bus reset of the device scan".
[[nodiscard]] bool mayResetDuringRun(QWidget *parent, std::optional<std::uint8_t> address,
                                     const QString &action);

} // namespace velorix
