#include "updater/flow/Launcher.h"

#include "common/Platform.h"

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
    return common::AllowExecution(localPath);
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
        const std::string wine = common::FindOnPath("wine");
        return !wine.empty() && common::StartDetached(wine, {program}, directory);
#endif
    }
    case LaunchKind::NotAProgram:
        break;
    }
    return false;
}

} // namespace updater
