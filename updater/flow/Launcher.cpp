#include "updater/flow/Launcher.h"

#include "common/Platform.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace updater {

namespace {

bool endsWithExe(const std::string &path)
{
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    for (char &c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".exe";
}

#ifndef _WIN32
// The first executable "wine" on the search path; empty when there is none.
std::string findWine()
{
    const char *path = std::getenv("PATH");
    std::string_view rest = path ? path : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (dir.empty())
            continue;
        const std::string candidate = std::string(dir) + "/wine";
        std::error_code ec;
        const auto status = std::filesystem::status(candidate, ec);
        if (!ec && std::filesystem::is_regular_file(status) &&
            (status.permissions() & std::filesystem::perms::others_exec) !=
                std::filesystem::perms::none)
            return candidate;
    }
    return {};
}
#endif

} // namespace

LaunchKind ChooseLaunch(const std::string &localPath)
{
#ifdef _WIN32
    return endsWithExe(localPath) ? LaunchKind::Native : LaunchKind::NotAProgram;
#else
    if (common::IsNativeExecutable(localPath))
        return LaunchKind::Native;
    return endsWithExe(localPath) ? LaunchKind::Wine : LaunchKind::NotAProgram;
#endif
}

bool MakeExecutable(const std::string &localPath)
{
#ifdef _WIN32
    (void)localPath;
    return true;
#else
    if (::access(localPath.c_str(), X_OK) == 0)
        return true;
    if (!common::IsNativeExecutable(localPath))
        return false;
    struct stat st
    {
    };
    if (::stat(localPath.c_str(), &st) != 0)
        return false;
    // Execute wherever reading is allowed, so the file stays as private as it was.
    mode_t mode = st.st_mode & 07777;
    if (mode & S_IRUSR)
        mode |= S_IXUSR;
    if (mode & S_IRGRP)
        mode |= S_IXGRP;
    if (mode & S_IROTH)
        mode |= S_IXOTH;
    mode |= S_IXUSR;
    return ::chmod(localPath.c_str(), mode) == 0;
#endif
}

bool PlatformLauncher::start(const common::Bytes &path, const std::string &directory)
{
    const std::string program = common::ResolveProgram(path);
    if (program.empty())
        return false;
    switch (ChooseLaunch(program)) {
    case LaunchKind::Native:
        MakeExecutable(program);
        return common::StartDetached(program, {}, directory);
    case LaunchKind::Wine: {
#ifdef _WIN32
        return false;
#else
        const std::string wine = findWine();
        return !wine.empty() && common::StartDetached(wine, {program}, directory);
#endif
    }
    case LaunchKind::NotAProgram:
        break;
    }
    return false;
}

} // namespace updater
