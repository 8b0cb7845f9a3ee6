#pragma once

#include "common/Bytes.h"

#include <string>

namespace updater {

// Starts the program the hand-over has chosen. A seam so tests can see what would start.
class ProgramLauncher
{
public:
    virtual ~ProgramLauncher() = default;
    // `path` as the core built it ("\" separators allowed); `directory` is the working
    // folder. The Updater does not wait for the program. False when it could not start.
    virtual bool start(const common::Bytes &path, const std::string &directory) = 0;
};

// How the hand-over starts a file. Only programs are started: a server-named document must
// not reach whatever desktop handler its kind of file has.
enum class LaunchKind
{
    Native,     // an executable of this system, started directly (on Windows a ".exe" whose
                // header says it is a program image)
    Wine,       // a ".exe" that is not native, started through wine
    NotAProgram // anything else: not started
};
LaunchKind ChooseLaunch(const std::string &localPath);

// The real system. On systems with execute permissions, a native program (an ELF image or a
// "#!" script) that lacks one gets it first: programs the update server delivers arrive as
// plain files. A ".exe" that is not native starts through wine; nothing else is started.
class PlatformLauncher final : public ProgramLauncher
{
public:
    bool start(const common::Bytes &path, const std::string &directory) override;
};

// Gives a native executable the execute permission wherever it has read permission. Returns
// false when the file is not native or the permission could not be set.
bool MakeExecutable(const std::string &localPath);

} // namespace updater
