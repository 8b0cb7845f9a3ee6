#include "updater/flow/BuiltInServers.h"

#ifndef TALMORA_UPDATE_HOSTS
#error "TALMORA_UPDATE_HOSTS must name the five built-in update servers"
#endif

namespace updater {

std::vector<std::string> BuiltInServers()
{
    // A comma-separated list set by the build.
    const std::string all = TALMORA_UPDATE_HOSTS;
    std::vector<std::string> hosts;
    std::size_t start = 0;
    for (;;) {
        const auto comma = all.find(',', start);
        hosts.push_back(
            all.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return hosts;
}

} // namespace updater
