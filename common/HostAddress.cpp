#include "common/HostAddress.h"

#include <algorithm>

namespace common {

namespace {

bool isAddressCharacter(char c)
{
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    return letter || digit || c == '.' || c == '-' || c == ':';
}

} // namespace

bool IsHostAddress(ByteView address)
{
    return !address.empty() && address.front() != '-' &&
           std::all_of(address.begin(), address.end(), isAddressCharacter);
}

Bytes AddressCharacters(ByteView text)
{
    Bytes kept;
    std::copy_if(text.begin(), text.end(), std::back_inserter(kept), isAddressCharacter);
    return kept;
}

} // namespace common
