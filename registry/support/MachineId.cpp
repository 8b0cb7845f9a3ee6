#include "registry/support/MachineId.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/statvfs.h>
#endif

namespace registry {

std::optional<std::int32_t> RootVolumeSerial()
{
#ifdef _WIN32
    DWORD serial = 0;
    if (!GetVolumeInformationW(L"C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(serial));
#else
    // The file-system identifier of "/" is derived from the file system itself (on ext4 from
    // its UUID), so it stays the same across restarts of the machine.
    struct statvfs info
    {
    };
    if (statvfs("/", &info) != 0)
        return std::nullopt;
    const auto fsid = static_cast<std::uint64_t>(info.f_fsid);
    // Fold the two halves so that both contribute to the 32 bits that are sent.
    const auto folded = static_cast<std::uint32_t>(fsid ^ (fsid >> 32));
    return static_cast<std::int32_t>(folded);
#endif
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
