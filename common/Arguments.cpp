#include "common/Arguments.h"

namespace common {

void AppendQuotedArgument(Bytes &line, ByteView argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == ByteView::npos) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are read in pairs, and one more escapes the quote.
        line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

Bytes JoinArguments(std::initializer_list<ByteView> arguments)
{
    Bytes line;
    bool first = true;
    for (const ByteView argument : arguments) {
        if (!first)
            line += ' ';
        first = false;
        AppendQuotedArgument(line, argument);
    }
    return line;
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<Bytes> SplitArguments(ByteView line)
{
    std::vector<Bytes> arguments;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i == line.size())
            return arguments;
        Bytes argument;
        bool quoted = false;
        for (; i < line.size() && (quoted || !isBlank(line[i])); ++i) {
            std::size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i == line.size() || line[i] != '"') {
                argument.append(backslashes, '\\');
                if (i == line.size() || (!quoted && isBlank(line[i])))
                    break;
                argument += line[i];
                continue;
            }
            argument.append(backslashes / 2, '\\');
            if (backslashes % 2 == 1) {
                argument += '"';
            } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                argument += '"';
                ++i;
            } else {
                quoted = !quoted;
            }
        }
        arguments.push_back(std::move(argument));
    }
}

ByteView TextAfterProgramName(ByteView commandLine)
{
    std::size_t i = 0;
    bool quoted = false;
    for (; i < commandLine.size() && (quoted || !isBlank(commandLine[i])); ++i) {
        if (commandLine[i] == '"')
            quoted = !quoted;
    }
    if (i < commandLine.size())
        ++i; // the blank that ends the name
    return commandLine.substr(i);
}

} // namespace common
