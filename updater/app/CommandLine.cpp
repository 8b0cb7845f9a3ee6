#include "updater/app/CommandLine.h"

#include "updater/flow/BuiltInServers.h"

#include <utility>

namespace updater {

std::vector<common::Bytes> CommandLineWords(const std::vector<common::Bytes> &arguments)
{
    common::Bytes joined;
    for (const common::Bytes &argument : arguments) {
        if (&argument != &arguments.front())
            joined += ' ';
        joined += argument;
    }
    return SplitCommandLine(joined);
}

UpdaterConfig MakeUpdaterConfig(std::vector<common::Bytes> words)
{
    UpdaterConfig config;
    config.servers = BuiltInServers();
    config.words = std::move(words);
    return config;
}

} // namespace updater
