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

std::size_t LastSeparator(std::string_view localPath)
{
#ifdef _WIN32
    return localPath.find_last_of("\\/");
#else
    return localPath.rfind('/');
#endif
}

std::string LocalChild(const std::string &folder, std::string_view name)
{
#ifdef _WIN32
    constexpr char kSeparator = '\\';
#else
    constexpr char kSeparator = '/';
#endif
    std::string child = folder;
    if (!child.empty() && LastSeparator(child) != child.size() - 1)
        child += kSeparator;
    child += name;
    return child;
}

bool HasExeSuffix(ByteView name)
{
    return name.size() >= 4 && equalsIgnoringAsciiCase(name.substr(name.size() - 4), ".exe");
}

ShellResult OpenWithShell(Shell &shell, const std::function<void(const Bytes &)> &showMessage,
                          ByteView operation, ByteView file, ByteView parameters,
                          ByteView directory, int showCommand)
{
    const ShellResult result = shell.open(operation, file, parameters, directory, showCommand);
    if (result != ShellResult::NoApplication)
        return result;
    if (showMessage)
        showMessage(kNoApplicationMessage);
    shell.openWith(file, directory);
    return result;
}

} // namespace common
