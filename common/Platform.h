#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace common {

// Paths in the cores keep the "\" separators they were built or received with; they become
// local paths only here, where the file system is touched.
std::string LocalPath(ByteView path);

// True for an existing normal file: folders do not count, nor do hidden files (on this
// platform, names beginning with ".").
bool FileExists(ByteView path);
// True for an existing folder (and, like the directory search it stands for, for a normal
// file of that name).
bool FolderExists(ByteView path);

// Folder of the running executable, without a trailing separator.
std::string ProgramFolder();

// A program name as given; on systems whose programs carry no suffix, a missing "X.exe" is
// looked up again as "X". Returns the path that exists, or an empty string.
std::string ResolveProgram(ByteView path);

// True for files this system can run directly: an ELF image or a script starting with "#!".
bool IsNativeExecutable(const std::string &localPath);

// Starts `program` with `arguments` as a new, detached process in `directory` (empty: the
// current one) without waiting for it. False when it could not be started.
bool StartDetached(const std::string &program, const std::vector<std::string> &arguments,
                   const std::string &directory);

// The shell's answer to an open request.
enum class ShellResult
{
    Started,
    NoApplication, // nothing on this system can open that kind of file
    Failed,        // missing file, no access, or any other failure
};

// Seam between the launcher and the system, so tests can record what would start.
class Shell
{
public:
    virtual ~Shell() = default;
    virtual ShellResult open(ByteView operation, ByteView file, ByteView parameters,
                             ByteView directory, int showCommand) = 0;
    // The system's "choose a program" fallback for `file`.
    virtual void openWith(ByteView file, ByteView directory) = 0;
};

// The real system: executables start detached in their folder, ".exe" programs through wine
// when it is installed, other files through the desktop's opener.
class PlatformShell final : public Shell
{
public:
    ShellResult open(ByteView operation, ByteView file, ByteView parameters, ByteView directory,
                     int showCommand) override;
    void openWith(ByteView file, ByteView directory) override;
};

inline constexpr const char *kNoApplicationMessage = "Couldn't load the default application";

// Opens `file` through the shell. When nothing can open it the user is told once
// ("Couldn't load the default application") and, after the message is closed, the system's
// Open With fallback runs. Every other failure is silent.
void OpenWithShell(Shell &shell, const std::function<void(const Bytes &)> &showMessage,
                   ByteView operation, ByteView file, ByteView parameters, ByteView directory,
                   int showCommand);

} // namespace common
