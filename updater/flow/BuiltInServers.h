#pragma once

#include <string>
#include <vector>

namespace updater {

// The five update-server addresses built into the program, in the order they are tried.
std::vector<std::string> BuiltInServers();

} // namespace updater
