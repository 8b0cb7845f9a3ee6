#include "updater/app/CommandLine.h"

#include "updater/flow/BuiltInServers.h"

#include <utility>

namespace updater {

std::vector<common::Bytes> SplitCommandLine(const common::Bytes &text)
{
    std::vector<common::Bytes> words;
    if (text.empty())
        return words;
    std::size_t start = 0;
    for (;;) {
        const auto space = text.find(' ', start);
        if (space == common::Bytes::npos) {
            words.push_back(text.substr(start));
            return words;
        }
        words.push_back(text.substr(start, space - start));
        start = space + 1;
    }
}

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
    if (!words.empty() && !words.front().empty() &&
        (words.front().front() == '-' || words.front().front() == '/')) {
        const common::Bytes &option = words.front();
        if (option == "--repair" || common::equalsIgnoringAsciiCase(option, "/repair"))
            config.repair = true;
        else
            config.unknownOption = option;
        words.erase(words.begin());
    }
    config.words = std::move(words);
    return config;
}

} // namespace updater
