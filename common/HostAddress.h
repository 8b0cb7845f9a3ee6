#pragma once

#include "common/Bytes.h"

namespace common {

// A server's address as players' programs take it: an IP address or a host name, made of
// letters, digits, ".", "-" and ":" only and not starting with "-" (it would read as an
// option). Anything else could reach the game client's command line as more than an address.
bool IsHostAddress(ByteView address);

// The characters of `text` an address can have, in their order; the others are left out.
Bytes AddressCharacters(ByteView text);

} // namespace common
