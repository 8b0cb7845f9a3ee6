#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace registry {

struct ServerAddress
{
    std::string host;
    std::uint16_t port;
};

// "HOST" or "HOST:PORT" (the port 1 to 65535), blanks around it ignored; nothing when the
// text is not one of those.
std::optional<ServerAddress> ParseServerAddress(std::string_view text, std::uint16_t defaultPort);

} // namespace registry
