#include "updater/flow/Launcher.h"

#include "common/Platform.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace updater {

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
#ifndef _WIN32
    if (common::IsNativeExecutable(program))
        MakeExecutable(program);
#endif
    common::PlatformShell shell;
    return shell.open("Open", program, "", directory, 1) == common::ShellResult::Started;
}

} // namespace updater
