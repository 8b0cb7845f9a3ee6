#include "registry/app/ProgramOptions.h"

#include "registry/net/RegistryClient.h"

#include <string>

namespace registry {

common::Bytes ServerOptionHelp()
{
    return "Registry server to use instead of " + DefaultRegistryHost() + ":" +
           std::to_string(DefaultRegistryPort()) + ".";
}

common::Bytes ServerOptionMistake(common::ByteView value)
{
    return "--server expects HOST or HOST:PORT, got \"" + common::Bytes(value) + "\"";
}

} // namespace registry
