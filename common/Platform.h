#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace common {

// Paths in the cores keep the "\" separators they were built or received with; they become
// local paths only here, where the file system is touched. On Windows a path's bytes are
// characters of the system's ANSI code page, as the game's own programs read them: the
// platform layer turns them into the system's UTF-16 names itself, absolute ones in the
// "\\?\" form that has no length limit.
std::string LocalPath(ByteView path);

// True for an existing normal file: folders do not count, nor do hidden files (on Windows
// files with the hidden or system attribute, elsewhere names beginning with "."). Read-only
// and archived files count. A name with wildcards names no file.
bool FileExists(ByteView path);
// True for an existing folder (and, like the directory search it stands for, for a normal
// file of that name).
bool FolderExists(ByteView path);

// Folder of the running executable, without a trailing separator.
std::string ProgramFolder();

// True when the name ends in ".exe", in any case.
bool HasExeSuffix(ByteView name);

// A program name as given; on systems whose programs carry no suffix, a missing "X.exe" is
// looked up again as "X". Returns the path that exists, or an empty string.
std::string ResolveProgram(ByteView path);

// True for files this system can run directly: an ELF image or a script starting with "#!"
// (on Windows a program image: "MZ" and the "PE" header it points to).
bool IsNativeExecutable(const std::string &localPath);

#ifndef _WIN32
// The first program of that name on the search path, as a shell would find it; empty when
// there is none. (On Windows the system finds programs itself.)
std::string FindOnPath(const std::string &command);
#endif

#ifdef _WIN32
// The process's whole command line as the system keeps it, program name included, in the
// system's ANSI code page.
Bytes ProcessCommandLine();
#endif

// The current folder of the process, without a trailing separator; empty when unknown.
std::string CurrentFolder();
// Makes `localPath` the current folder of the process. False when it could not.
bool SetCurrentFolder(const std::string &localPath);

// Where `localPath` really is once symbolic links (and, on Windows, junctions and short
// names) are followed: an absolute path in the system's own spelling. Empty when it cannot
// be told, for instance when the path or a folder on the way does not exist.
std::string RealPath(const std::string &localPath);

// What a directory entry is, taken as it stands: a link is a link, wherever it leads.
enum class EntryKind
{
    Missing,
    File,   // a regular file
    Folder, // a folder
    Link,   // a symbolic link (on Windows any reparse point: junctions too), also a dangling one
    Other,  // a device, pipe or socket
};
EntryKind EntryKindOf(const std::string &localPath);

// Both real paths: true when `path` is `root` or lies below it. Windows compares names
// without regard to case.
bool IsInsideFolder(const std::string &path, const std::string &root);

// The position of the last separator in a local path ("/", on Windows "\" too); npos when
// there is none.
std::size_t LastSeparator(std::string_view localPath);
// The local path of `name` inside the local folder `folder`.
std::string LocalChild(const std::string &folder, std::string_view name);

// Creates one folder level. True when it was created; false when it existed or failed.
bool CreateFolder(const std::string &localPath);

// The whole content of a regular file, links followed. Empty when it is no regular file (a
// folder, a device, a pipe) or could not be read.
std::optional<Bytes> ReadRegularFile(const std::string &localPath);

// Size and time of the last change of a regular file, links followed.
struct FileStamp
{
    std::uint64_t size = 0;
    std::int64_t modified = 0; // in the system's own unit
};
std::optional<FileStamp> StampOf(const std::string &localPath);

// A file made for writing that did not exist before; closed (and left as it is) when it goes.
class NewFile
{
public:
    enum class Created
    {
        Yes,
        NameTaken, // something of that name is there already
        Failed,
    };

    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    Created create(const std::string &localPath);
    bool write(ByteView data);
    // Pushes what was written down to the disk and closes the file. False when either failed.
    bool commit();

private:
    void close();

    std::intptr_t m_handle = -1;
};

// Removes the directory entry of that name (a file, or a link itself).
bool RemoveFile(const std::string &localPath);

// Removes `path` (in the cores' form) only when it is a regular file where it is named: a
// link, a junction, a folder or anything else is left alone. False when nothing was removed.
bool RemoveRegularFile(const Bytes &path);

// Moves `from` over `to` in one step: `to` then holds either its old content or all of
// `from`'s, also when the system stops in between. A read-only `to` is replaced too and the
// new file stays read-only.
bool MoveOver(const std::string &from, const std::string &to);

// Gives `temporary` the permissions of the regular file `target` (an executable stays
// executable), never a set-user-ID or set-group-ID bit. Nothing to do on Windows.
void KeepPermissions(const std::string &target, const std::string &temporary);

// Gives a native executable the permission to run wherever it may be read, so it stays as
// private as it was. False when it is not native or the permission could not be set; always
// true on systems without such a permission.
bool AllowExecution(const std::string &localPath);

// A stable 32-bit number of the system volume: the volume serial number of drive C on
// Windows, elsewhere derived from the root file system. Empty when it cannot be read.
std::optional<std::uint32_t> SystemVolumeSerial();

// The local time of day now: hour 0-23 and minute 0-59.
std::pair<int, int> LocalHourAndMinute();

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

// The real system. On Windows the shell itself opens the file, and its "Open With" dialog is
// the fallback. Elsewhere executables start detached in their folder, ".exe" programs through
// wine when it is installed, other files through the desktop's opener.
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
// Open With fallback runs. Every other failure is silent. Gives what the shell said.
ShellResult OpenWithShell(Shell &shell, const std::function<void(const Bytes &)> &showMessage,
                          ByteView operation, ByteView file, ByteView parameters,
                          ByteView directory, int showCommand);

} // namespace common
