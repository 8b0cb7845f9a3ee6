#include "registry/support/MachineId.h"

#include "common/Platform.h"

#include <string>

namespace registry {

std::optional<std::int32_t> RootVolumeSerial()
{
    const std::optional<std::uint32_t> serial = common::SystemVolumeSerial();
    if (!serial)
        return std::nullopt;
    return static_cast<std::int32_t>(*serial);
}

common::Bytes MachineIdFromSerial(std::optional<std::int32_t> serial)
{
    if (!serial)
        return "-1";
    const std::int64_t value = *serial;
    return std::to_string(value < 0 ? -value : value);
}

common::Bytes MachineId()
{
    return MachineIdFromSerial(RootVolumeSerial());
}

} // namespace registry
