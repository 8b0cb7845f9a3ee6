#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <optional>

namespace registry {

// The identifier of this computer that the Registry client sends with its greeting: the
// absolute value of a 32-bit volume serial number in decimal, or "-1" when the serial cannot
// be read. On Windows the serial is that of drive C; elsewhere it is a stable 32-bit number
// of the root file system.
common::Bytes MachineId();

// The serial number as a signed 32-bit value, or nothing when it cannot be read.
std::optional<std::int32_t> RootVolumeSerial();

// The identifier for a serial reading. The absolute value is computed in 64 bits, so the one
// serial whose absolute value does not fit 32 bits gives "2147483648".
common::Bytes MachineIdFromSerial(std::optional<std::int32_t> serial);

} // namespace registry
