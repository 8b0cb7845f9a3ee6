#pragma once

#include "registry/net/RegistryClient.h"
#include "registry/support/Launcher.h"

namespace registry {

// The server the core has chosen, in the form the game launcher takes; nothing without a
// core. Shared by both windows.
inline SelectedServer ChosenForLaunch(const RegistryClient *core)
{
    if (!core)
        return {};
    const ChosenServer &chosen = core->selectedServer();
    return SelectedServer{chosen.name, chosen.address, chosen.port};
}

} // namespace registry
