#include "registry/support/Launcher.h"

#include <string>

namespace registry {

Bytes GameClientParameters(const SelectedServer &server)
{
    Bytes name = server.name;
    for (char &c : name) {
        if (c == ' ')
            c = '+';
    }
    return server.address + " " + std::to_string(server.port) + " " + name;
}

void StartGameClient(common::Shell &shell, const MessagePresenter &showMessage, ByteView gameFolder,
                     const SelectedServer &server)
{
    common::OpenWithShell(shell, showMessage, "Open", kGameClientProgram,
                          GameClientParameters(server), gameFolder, kShowNormal);
}

void RunGameServer(common::Shell &shell, const MessagePresenter &showMessage, ByteView serverFolder)
{
    common::OpenWithShell(shell, showMessage, "Open", kGameServerProgram, "", serverFolder,
                          kShowNormal);
}

} // namespace registry
