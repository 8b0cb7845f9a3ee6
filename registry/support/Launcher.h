#pragma once

#include "common/Bytes.h"
#include "common/Platform.h"

#include <cstdint>
#include <functional>

namespace registry {

using common::Bytes;
using common::ByteView;

inline constexpr const char *kGameClientProgram = "tlm.exe";
inline constexpr const char *kGameServerProgram = "server.exe";
inline constexpr int kShowNormal = 1;

// The server chosen in the server list.
struct SelectedServer
{
    Bytes name;
    Bytes address;
    std::int32_t port = 0;
};

using MessagePresenter = std::function<void(const Bytes &)>;

// "address port name", the name with "+" for every blank: the game client's command line.
// Each of the three reaches the game client as exactly one argument (quoted by the C
// runtime's rules where it needs to be).
Bytes GameClientParameters(const SelectedServer &server);

// Starts "tlm.exe" in the game folder, pointed at the selected server; refuses an address
// that is no host address (common::IsHostAddress) with "Error: Invalid IP address!". True
// when the game client was started.
bool StartGameClient(common::Shell &shell, const MessagePresenter &showMessage, ByteView gameFolder,
                     const SelectedServer &server);

// The Server menu's "Run": starts "server.exe" in the server folder without arguments.
void RunGameServer(common::Shell &shell, const MessagePresenter &showMessage,
                   ByteView serverFolder);

} // namespace registry
