#include "servers/Connections.h"

#include <algorithm>

namespace servers {

std::string Printable(ByteView text, std::size_t limit)
{
    static const char *hex = "0123456789ABCDEF";
    std::string out;
    const std::size_t n = std::min(text.size(), limit);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = common::byteAt(text, i);
        if (c < 32 || c >= 127) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (text.size() > limit)
        out += "...";
    return out;
}

} // namespace servers
