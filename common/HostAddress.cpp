#include "common/HostAddress.h"

namespace common {

bool IsHostAddress(ByteView address)
{
    if (address.empty() || address.front() == '-')
        return false;
    for (const char c : address) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '.' && c != '-' && c != ':')
            return false;
    }
    return true;
}

} // namespace common
