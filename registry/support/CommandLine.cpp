#include "registry/support/CommandLine.h"

#include <charconv>

namespace registry {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

std::optional<ServerAddress> ParseServerAddress(std::string_view text, std::uint16_t defaultPort)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    std::string_view host = text;
    std::uint16_t port = defaultPort;
    const std::size_t colon = host.rfind(':');
    // More than one colon: an IPv6 address without a port.
    if (colon != std::string_view::npos && host.find(':') == colon) {
        const std::string_view digits = host.substr(colon + 1);
        unsigned value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
            value == 0 || value > 65535)
            return std::nullopt;
        port = static_cast<std::uint16_t>(value);
        host = host.substr(0, colon);
    }
    if (host.empty())
        return std::nullopt;
    return ServerAddress{std::string(host), port};
}

} // namespace registry
