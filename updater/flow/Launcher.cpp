#include "updater/flow/Launcher.h"

#include "common/Platform.h"

namespace updater {

bool MakeExecutable(const std::string &localPath)
{
    return common::AllowExecution(localPath);
}

bool PlatformLauncher::start(const common::Bytes &path, const std::string &directory)
{
    const std::string program = common::ResolveProgram(path);
    if (program.empty())
        return false;
    if (common::IsNativeExecutable(program))
        MakeExecutable(program);
    common::PlatformShell shell;
    return shell.open("Open", program, "", directory, 1) == common::ShellResult::Started;
}

} // namespace updater
