#pragma once

#include "registry/app/ServerList.h"

namespace registry {

inline constexpr const char *kServerListSection = "Server List";

// The player's choices for the server list in registry.ini (section "Server List"; the
// "Account" section is left as it is): "Sort Column" and "Sort Order" as numbers,
// "Favourites" as a count and each favourite as "Favourite N Name" and "Favourite N
// Administrator", N from 1, "Favourite Notices" and "Hide Offline" as 1 or 0, and the server
// last played as "Last
// Server Name" and "Last Server Administrator". What is missing or out of range reads as
// nothing chosen.
ServerListChoices ReadServerListChoices(ByteView iniPath);
// False when the file could not be written; what was there stays. A favourite whose name or
// administrator holds a line break or a NUL cannot be kept in the file and is left out.
bool WriteServerListChoices(ByteView iniPath, const ServerListChoices &choices);

} // namespace registry
