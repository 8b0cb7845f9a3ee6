#pragma once

#include "common/Bytes.h"

namespace registry {

// What both programs say about their command line.
inline constexpr const char *kProgramDescription =
    "The Talmora Online Registry: find player-run game servers, chat with other players, "
    "register your own server and join a game.";
inline constexpr const char *kServerValueName = "HOST[:PORT]";

// The help of --server: "Registry server to use instead of 127.0.0.1:2600."
common::Bytes ServerOptionHelp();
// A --server value that is not HOST or HOST:PORT: "--server expects HOST or HOST:PORT, got
// "VALUE"".
common::Bytes ServerOptionMistake(common::ByteView value);

} // namespace registry
