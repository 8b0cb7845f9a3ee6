#include "updater/flow/Launcher.h"

#include "common/Platform.h"

namespace updater {

LaunchKind ChooseLaunch(const std::string &localPath)
{
#ifdef _WIN32
    // A ".exe" that is no Windows program (an ELF file or a script from a server) would fail
    // to start, and under wine run outside it as a program of the host system.
    return common::HasExeSuffix(localPath) && common::IsNativeExecutable(localPath)
               ? LaunchKind::Native
               : LaunchKind::NotAProgram;
#else
    if (common::IsNativeExecutable(localPath))
        return LaunchKind::Native;
    return common::HasExeSuffix(localPath) ? LaunchKind::Wine : LaunchKind::NotAProgram;
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
