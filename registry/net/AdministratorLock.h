#pragma once

#include "common/Bytes.h"

namespace registry {

// Adding servers is locked to one administrator's computer: the one whose machine identifier
// is exactly this text (no trimming, no numeric comparison).
inline constexpr const char *kAdministratorId = "604219587";

inline bool IsAdministrator(common::ByteView machineId)
{
    return machineId == kAdministratorId;
}

} // namespace registry
