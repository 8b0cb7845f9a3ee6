// The parts of the platform layer that are the same on every system.
#include "common/Platform.h"

#include <algorithm>

namespace common {

std::string LocalPath(ByteView path)
{
    std::string out(path);
#ifndef _WIN32
    std::replace(out.begin(), out.end(), '\\', '/');
#endif
    return out;
}

bool HasExeSuffix(ByteView name)
{
    return name.size() >= 4 && equalsIgnoringAsciiCase(name.substr(name.size() - 4), ".exe");
}

void OpenWithShell(Shell &shell, const std::function<void(const Bytes &)> &showMessage,
                   ByteView operation, ByteView file, ByteView parameters, ByteView directory,
                   int showCommand)
{
    const ShellResult result = shell.open(operation, file, parameters, directory, showCommand);
    if (result != ShellResult::NoApplication)
        return;
    if (showMessage)
        showMessage(kNoApplicationMessage);
    shell.openWith(file, directory);
}

} // namespace common
