// The platform layer on Windows: the system's own ANSI calls, so that the byte strings of
// the cores reach the file system as they are.
#include "common/Platform.h"

#include "common/Arguments.h"

#include <array>
#include <fstream>

#include <io.h>
#include <windows.h>

#include <shellapi.h>

namespace common {

namespace {

std::string withoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/') &&
           path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

// The directory search of one name with the normal attribute set: hidden and system
// entries are not found. Wildcards would match other names, so they find nothing.
std::optional<DWORD> searchAttributes(ByteView path)
{
    if (path.empty() || path.find_first_of("*?") != ByteView::npos ||
        path.find('\0') != ByteView::npos)
        return std::nullopt;
    const std::string local = withoutTrailingSeparators(LocalPath(path));
    DWORD attributes = 0;
    if (local.back() == '\\' || local.back() == '/' || local.back() == ':') {
        // A drive root has no directory entry of its own.
        attributes = GetFileAttributesA(local.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return std::nullopt;
    } else {
        WIN32_FIND_DATAA found{};
        const HANDLE search = FindFirstFileA(local.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return std::nullopt;
        FindClose(search);
        attributes = found.dwFileAttributes;
    }
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return std::nullopt;
    return attributes;
}

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool startProcess(const std::string *program, std::string commandLine, const std::string &directory)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const BOOL ok =
        CreateProcessA(program ? program->c_str() : nullptr, commandLine.data(), nullptr, nullptr,
                       FALSE, CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr,
                       directory.empty() ? nullptr : directory.c_str(), &startup, &process);
    if (!ok)
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

const char *orNull(const std::string &text)
{
    return text.empty() ? nullptr : text.c_str();
}

} // namespace

bool FileExists(ByteView path)
{
    const std::optional<DWORD> attributes = searchAttributes(path);
    return attributes && !(*attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(ByteView path)
{
    return searchAttributes(path).has_value();
}

std::string ProgramFolder()
{
    std::string exe(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0)
            return CurrentFolder();
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    const auto slash = exe.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    return withoutTrailingSeparators(exe.substr(0, slash + 1));
}

std::string CurrentFolder()
{
    const DWORD size = GetCurrentDirectoryA(0, nullptr);
    if (size == 0)
        return {};
    std::string here(size, '\0');
    const DWORD n = GetCurrentDirectoryA(size, here.data());
    if (n == 0 || n >= size)
        return {};
    here.resize(n);
    return withoutTrailingSeparators(here);
}

std::string RealPath(const std::string &localPath)
{
    if (localPath.empty() || localPath.find('\0') != std::string::npos)
        return {};
    // Opening follows junctions and symbolic links; the handle then names the real place.
    const HANDLE handle =
        CreateFileA(localPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    std::string real(MAX_PATH, '\0');
    DWORD n = GetFinalPathNameByHandleA(handle, real.data(), static_cast<DWORD>(real.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= real.size()) {
        real.resize(n + 1);
        n = GetFinalPathNameByHandleA(handle, real.data(), static_cast<DWORD>(real.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    CloseHandle(handle);
    if (n == 0 || n >= real.size())
        return {};
    real.resize(n);
    // Where a link could not be followed the handle names the link itself: its real place
    // is unknown.
    const DWORD attributes = GetFileAttributesA(real.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return {};
    if (real.rfind("\\\\?\\UNC\\", 0) == 0)
        real = "\\" + real.substr(7);
    else if (real.rfind("\\\\?\\", 0) == 0)
        real.erase(0, 4);
    return withoutTrailingSeparators(real);
}

bool EntryExists(const std::string &localPath)
{
    // The attributes of a link are its own: a dangling one is found too.
    return !localPath.empty() && localPath.find('\0') == std::string::npos &&
           GetFileAttributesA(localPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsInsideFolder(const std::string &path, const std::string &root)
{
    if (root.empty() || path.size() < root.size())
        return false;
    for (std::size_t i = 0; i < root.size(); ++i) {
        const bool bothSeparators = isSeparator(path[i]) && isSeparator(root[i]);
        if (!bothSeparators && lowerAscii(path[i]) != lowerAscii(root[i]))
            return false;
    }
    return path.size() == root.size() || isSeparator(root.back()) || isSeparator(path[root.size()]);
}

bool CreateFolder(const std::string &localPath)
{
    // Longer paths are refused by the system, or cut short by some of its emulations. The
    // limit is 248 bytes with the terminating NUL.
    constexpr std::size_t kFolderPathLimit = 248;
    if (localPath.size() >= kFolderPathLimit)
        return false;
    return CreateDirectoryA(localPath.c_str(), nullptr) != 0;
}

bool FlushFile(std::FILE *file)
{
    if (std::fflush(file) != 0)
        return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

bool MoveOver(const std::string &from, const std::string &to)
{
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool AllowExecution(const std::string & /*localPath*/)
{
    return true; // whatever can be read can be run
}

std::optional<std::uint32_t> SystemVolumeSerial()
{
    DWORD serial = 0;
    if (!GetVolumeInformationA("C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        return std::nullopt;
    return static_cast<std::uint32_t>(serial);
}

std::string ResolveProgram(ByteView path)
{
    const std::string local = LocalPath(path);
    return FileExists(local) ? local : std::string();
}

bool IsNativeExecutable(const std::string &localPath)
{
    std::ifstream in(localPath, std::ios::binary);
    std::array<char, 2> head{};
    in.read(head.data(), head.size());
    return in.gcount() == 2 && head[0] == 'M' && head[1] == 'Z';
}

bool StartDetached(const std::string &program, const std::vector<std::string> &arguments,
                   const std::string &directory)
{
    std::string line;
    AppendQuotedArgument(line, program);
    for (const std::string &argument : arguments) {
        line += ' ';
        AppendQuotedArgument(line, argument);
    }
    return startProcess(&program, line, directory);
}

ShellResult PlatformShell::open(ByteView operation, ByteView file, ByteView parameters,
                                ByteView directory, int showCommand)
{
    const std::string verb(operation);
    const std::string target(file);
    const std::string words(parameters);
    const std::string folder(directory);
    // The desktop window owns whatever the shell shows (an error or a choice of program).
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(GetDesktopWindow(), orNull(verb), target.c_str(),
                                                orNull(words), orNull(folder), showCommand));
    if (result > 32)
        return ShellResult::Started;
    return result == SE_ERR_NOASSOC ? ShellResult::NoApplication : ShellResult::Failed;
}

void PlatformShell::openWith(ByteView file, ByteView directory)
{
    std::string line = "rundll32.exe shell32.dll,OpenAs_RunDLL ";
    line += file;
    startProcess(nullptr, line, std::string(directory));
}

} // namespace common
