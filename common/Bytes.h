#pragma once

#include <string>
#include <string_view>

namespace common {

// Every protocol value, file content and path inside the cores is a byte string: each char
// holds one byte 0..255. Conversion to display text happens only at the widget boundary.
using Bytes = std::string;
using ByteView = std::string_view;

inline unsigned char byteAt(ByteView text, std::size_t pos)
{
    return static_cast<unsigned char>(text[pos]);
}

inline Bytes byteString(std::initializer_list<int> values)
{
    Bytes out;
    out.reserve(values.size());
    for (int v : values)
        out.push_back(static_cast<char>(static_cast<unsigned char>(v)));
    return out;
}

} // namespace common
