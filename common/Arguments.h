#pragma once

#include "common/Bytes.h"

#include <initializer_list>
#include <vector>

namespace common {

// Command lines as a Windows program's C runtime reads them (CommandLineToArgvW states the
// same rules): blanks and tabs separate arguments outside quotes, a quote opens or closes a
// quoted part, and backslashes are literal except before a quote.

// Appends `argument` so that it is read back as exactly that one argument: as it is when it
// is not empty and holds no blank, tab, line break or quote; otherwise in quotes, with a
// backslash before each quote it holds and the backslashes that precede a quote (its own or
// the closing one) doubled.
void AppendQuotedArgument(Bytes &line, ByteView argument);

// The arguments quoted as above and joined with single blanks.
Bytes JoinArguments(std::initializer_list<ByteView> arguments);

// The arguments of a command line without the program's name, by the same rules; inside a
// quoted part two quotes in a row stand for one.
std::vector<Bytes> SplitArguments(ByteView line);

// What follows the program's name in a whole command line (as a Windows program is given
// it): the name runs to the first blank or tab outside quotes, and the one blank or tab after
// it is dropped too; the rest is left exactly as it stands.
ByteView TextAfterProgramName(ByteView commandLine);

} // namespace common
