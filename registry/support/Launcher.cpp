#include "registry/support/Launcher.h"

#include "common/Arguments.h"

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

bool IsPlainAddress(ByteView address)
{
    if (address.empty() || address.front() == '-')
        return false;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7F)
            return false;
    }
    return true;
}

void StartGameClient(common::Shell &shell, const MessagePresenter &showMessage, ByteView gameFolder,
                     const SelectedServer &server)
{
    // The game client splits its command line at blanks: an address with blanks or control
    // bytes would hand it further arguments, one with a leading "-" an option.
    if (!IsPlainAddress(server.address)) {
        showMessage("Error: Invalid IP address!");
        return;
    }
    common::OpenWithShell(shell, showMessage, "Open", kGameClientProgram,
                          GameClientParameters(server), gameFolder, kShowNormal);
}

void RunGameServer(common::Shell &shell, const MessagePresenter &showMessage, ByteView serverFolder)
{
    common::OpenWithShell(shell, showMessage, "Open", kGameServerProgram, "", serverFolder,
                          kShowNormal);
}

} // namespace registry
