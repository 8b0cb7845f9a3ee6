#include "registry/support/Launcher.h"

#include "common/Arguments.h"
#include "common/HostAddress.h"

#include <string>

namespace registry {

Bytes GameClientParameters(const SelectedServer &server)
{
    Bytes name = server.name;
    for (char &c : name) {
        if (c == ' ')
            c = '+';
    }
    // Each value is one argument of its own, whatever bytes it holds; plain values need no
    // quotes and stand as they are.
    return common::JoinArguments({server.address, std::to_string(server.port), name});
}

bool StartGameClient(common::Shell &shell, const MessagePresenter &showMessage, ByteView gameFolder,
                     const SelectedServer &server)
{
    // Only what an address or a host name is made of: a leading "-" would read as an
    // option, anything else is no address the game client could reach.
    if (!common::IsHostAddress(server.address)) {
        showMessage("Error: Invalid IP address!");
        return false;
    }
    return common::OpenWithShell(shell, showMessage, "Open", kGameClientProgram,
                                 GameClientParameters(server), gameFolder,
                                 kShowNormal) == common::ShellResult::Started;
}

void RunGameServer(common::Shell &shell, const MessagePresenter &showMessage, ByteView serverFolder)
{
    common::OpenWithShell(shell, showMessage, "Open", kGameServerProgram, "", serverFolder,
                          kShowNormal);
}

} // namespace registry
