#pragma once

#include "common/Bytes.h"
#include "updater/flow/UpdaterCore.h"

#include <vector>

namespace updater {

// The command-line text split at every single space: no text gives no words, two spaces in
// a row give an empty word.
std::vector<common::Bytes> SplitCommandLine(const common::Bytes &text);

// The words the Updater takes from its command line: the arguments after the program name
// (as Windows-1252 bytes) joined with single spaces, then split at every single space, so
// "a b" given as one quoted argument is two words, as it is when given as two.
std::vector<common::Bytes> CommandLineWords(const std::vector<common::Bytes> &arguments);

// A run's configuration: the built-in update servers and the command-line words. A first
// word that starts with "-" or "/" is an option, never a host (no host name starts so):
// "--repair" or "/repair" (in any case) checks every file against the server; the words after
// it are the host and the port as always.
UpdaterConfig MakeUpdaterConfig(std::vector<common::Bytes> words);

} // namespace updater
