#include "common/Platform.h"

#include "common/Arguments.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace common {

namespace {

bool isHiddenName(const std::string &localPath)
{
    const auto slash = localPath.find_last_of('/');
    const std::string name = slash == std::string::npos ? localPath : localPath.substr(slash + 1);
    return !name.empty() && name[0] == '.' && name != "." && name != "..";
}

// Looks a command up on PATH, as a shell would.
std::string findOnPath(const std::string &command)
{
    const char *path = std::getenv("PATH");
    if (!path)
        return {};
    std::string all(path);
    std::size_t start = 0;
    while (start <= all.size()) {
        std::size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        std::string candidate = end > start ? all.substr(start, end - start) : std::string(".");
        candidate.push_back('/');
        candidate.append(command);
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

} // namespace

bool FileExists(ByteView path)
{
    if (path.empty())
        return false;
    const std::string local = LocalPath(path);
    struct stat st
    {
    };
    if (::stat(local.c_str(), &st) != 0)
        return false;
    return S_ISREG(st.st_mode) && !isHiddenName(local);
}

bool FolderExists(ByteView path)
{
    if (path.empty())
        return false;
    std::string local = LocalPath(path);
    while (local.size() > 1 && local.back() == '/')
        local.pop_back();
    struct stat st
    {
    };
    if (::stat(local.c_str(), &st) != 0)
        return false;
    return (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)) && !isHiddenName(local);
}

std::string ProgramFolder()
{
    std::array<char, PATH_MAX> buffer{};
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return std::filesystem::current_path().string();
    std::string exe(buffer.data(), static_cast<std::size_t>(n));
    const auto slash = exe.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return exe.substr(0, slash);
}

std::string CurrentFolder()
{
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    return ec ? std::string() : here.string();
}

std::string RealPath(const std::string &localPath)
{
    if (localPath.empty())
        return {};
    char *real = ::realpath(localPath.c_str(), nullptr);
    if (!real)
        return {};
    std::string out(real);
    std::free(real);
    return out;
}

EntryKind EntryKindOf(const std::string &localPath)
{
    struct stat st
    {
    };
    if (localPath.empty() || ::lstat(localPath.c_str(), &st) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(st.st_mode))
        return EntryKind::Link;
    if (S_ISREG(st.st_mode))
        return EntryKind::File;
    return S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

bool SetCurrentFolder(const std::string &localPath)
{
    return !localPath.empty() && ::chdir(localPath.c_str()) == 0;
}

bool IsInsideFolder(const std::string &path, const std::string &root)
{
    if (root.empty() || path.compare(0, root.size(), root) != 0)
        return false;
    return path.size() == root.size() || root.back() == '/' || path[root.size()] == '/';
}

bool CreateFolder(const std::string &localPath)
{
    return ::mkdir(localPath.c_str(), 0777) == 0;
}

std::optional<Bytes> ReadRegularFile(const std::string &localPath)
{
    // Opened without waiting, so that a pipe put in a file's place cannot block the reader;
    // only a regular file is read.
    const int fd = ::open(localPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st
    {
    };
    std::optional<Bytes> content;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        content.emplace();
        content->reserve(static_cast<std::size_t>(st.st_size));
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got > 0) {
                content->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0) {
                break;
            } else if (errno != EINTR) {
                content.reset();
                break;
            }
        }
    }
    ::close(fd);
    return content;
}

std::optional<FileStamp> StampOf(const std::string &localPath)
{
    struct stat st
    {
    };
    if (::stat(localPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStamp{static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
                         st.st_mtim.tv_nsec};
}

NewFile::~NewFile()
{
    close();
}

NewFile::Created NewFile::create(const std::string &localPath)
{
    close();
    // O_EXCL: an existing file (or a link planted in the name's place) is never opened.
    const int fd =
        ::open(localPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        return errno == EEXIST ? Created::NameTaken : Created::Failed;
    m_handle = fd;
    return Created::Yes;
}

bool NewFile::write(ByteView data)
{
    const int fd = static_cast<int>(m_handle);
    while (fd >= 0 && !data.empty()) {
        const ssize_t put = ::write(fd, data.data(), data.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return fd >= 0;
}

bool NewFile::commit()
{
    const int fd = static_cast<int>(m_handle);
    if (fd < 0)
        return false;
    // Some file systems (pipes, read-only mounts) cannot sync; their data is as written as
    // it gets.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
    m_handle = -1;
    return (::close(fd) == 0) && synced;
}

void NewFile::close()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
    m_handle = -1;
}

bool RemoveFile(const std::string &localPath)
{
    return ::unlink(localPath.c_str()) == 0;
}

bool RemoveRegularFile(const Bytes &path)
{
    // Removing a name never touches what a link there leads to; the test keeps links, folders
    // and devices in place all the same.
    const std::string local = LocalPath(path);
    return EntryKindOf(local) == EntryKind::File && RemoveFile(local);
}

bool MoveOver(const std::string &from, const std::string &to)
{
    // A read-only file (mode) does not stop a rename: only the folder's permissions count.
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void KeepPermissions(const std::string &target, const std::string &temporary)
{
    struct stat st
    {
    };
    if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::chmod(temporary.c_str(), st.st_mode & 07777 & ~mode_t{S_ISUID | S_ISGID});
}

std::string FindOnPath(const std::string &command)
{
    return findOnPath(command);
}

bool AllowExecution(const std::string &localPath)
{
    if (::access(localPath.c_str(), X_OK) == 0)
        return true;
    if (!IsNativeExecutable(localPath))
        return false;
    struct stat st
    {
    };
    if (::stat(localPath.c_str(), &st) != 0)
        return false;
    mode_t mode = st.st_mode & 07777;
    if (mode & S_IRUSR)
        mode |= S_IXUSR;
    if (mode & S_IRGRP)
        mode |= S_IXGRP;
    if (mode & S_IROTH)
        mode |= S_IXOTH;
    mode |= S_IXUSR;
    return ::chmod(localPath.c_str(), mode) == 0;
}

std::optional<std::uint32_t> SystemVolumeSerial()
{
    // The file-system identifier of "/" is derived from the file system itself (on ext4 from
    // its UUID), so it stays the same across restarts of the machine.
    struct statvfs info
    {
    };
    if (::statvfs("/", &info) != 0)
        return std::nullopt;
    const auto fsid = static_cast<std::uint64_t>(info.f_fsid);
    // Fold the two halves so that both contribute to the 32 bits.
    return static_cast<std::uint32_t>(fsid ^ (fsid >> 32));
}

std::string ResolveProgram(ByteView path)
{
    const std::string local = LocalPath(path);
    if (FileExists(local))
        return local;
    if (HasExeSuffix(local)) {
        const std::string bare = local.substr(0, local.size() - 4);
        if (FileExists(bare))
            return bare;
    }
    return {};
}

bool IsNativeExecutable(const std::string &localPath)
{
    std::ifstream in(localPath, std::ios::binary);
    std::array<char, 4> head{};
    in.read(head.data(), head.size());
    const auto got = in.gcount();
    if (got >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
        return true;
    return got >= 2 && head[0] == '#' && head[1] == '!';
}

bool StartDetached(const std::string &program, const std::vector<std::string> &arguments,
                   const std::string &directory)
{
    // Everything the child needs is prepared before fork: after it, only async-signal-safe
    // calls are made. The child forks once more and exits, so the started program is
    // adopted by init and never lingers as a zombie of ours.
    std::vector<std::string> argvStore;
    argvStore.push_back(program);
    argvStore.insert(argvStore.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (auto &a : argvStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return false;

    const pid_t child = ::fork();
    if (child < 0) {
        ::close(status[0]);
        ::close(status[1]);
        return false;
    }
    if (child == 0) {
        ::close(status[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            if (grandchild < 0) {
                const int err = errno;
                [[maybe_unused]] auto w = ::write(status[1], &err, sizeof err);
            }
            ::_exit(0);
        }
        if (!directory.empty() && ::chdir(directory.c_str()) != 0) {
            const int err = errno;
            [[maybe_unused]] auto w = ::write(status[1], &err, sizeof err);
            ::_exit(127);
        }
        ::execv(argv[0], argv.data());
        const int err = errno;
        [[maybe_unused]] auto w = ::write(status[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(status[1]);
    int waitStatus = 0;
    while (::waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes on a successful exec; an error number arrives otherwise.
    int err = 0;
    ssize_t got;
    do {
        got = ::read(status[0], &err, sizeof err);
    } while (got < 0 && errno == EINTR);
    ::close(status[0]);
    return got == 0;
}

ShellResult PlatformShell::open(ByteView /*operation*/, ByteView file, ByteView parameters,
                                ByteView directory, int /*showCommand*/)
{
    const std::string dir = LocalPath(directory);
    std::string target = LocalPath(file);
    if (!target.empty() && target[0] != '/' && !dir.empty())
        target = dir + (dir.back() == '/' ? "" : "/") + target;

    const std::string program = ResolveProgram(target);
    if (program.empty())
        return ShellResult::Failed; // a missing file goes unreported
    // The parameters are read as a Windows program's C runtime reads its command line, so
    // that each quoted value stays one argument.
    const std::vector<std::string> args = SplitArguments(parameters);

    if (IsNativeExecutable(program)) {
        if (::access(program.c_str(), X_OK) != 0)
            return ShellResult::Failed;
        return StartDetached(program, args, dir) ? ShellResult::Started : ShellResult::Failed;
    }
    if (HasExeSuffix(program)) {
        const std::string wine = findOnPath("wine");
        if (!wine.empty()) {
            std::vector<std::string> wineArgs{program};
            wineArgs.insert(wineArgs.end(), args.begin(), args.end());
            return StartDetached(wine, wineArgs, dir) ? ShellResult::Started : ShellResult::Failed;
        }
    }
    const std::string opener = findOnPath("xdg-open");
    if (opener.empty())
        return ShellResult::NoApplication;
    return StartDetached(opener, {program}, dir) ? ShellResult::Started : ShellResult::Failed;
}

void PlatformShell::openWith(ByteView file, ByteView directory)
{
    // Without a system "Open With" dialog, show the file in its folder so the player can
    // choose a program there.
    const std::string opener = findOnPath("xdg-open");
    if (opener.empty())
        return;
    std::string dir = LocalPath(directory);
    std::string target = LocalPath(file);
    if (!target.empty() && target[0] != '/' && !dir.empty())
        target = dir + "/" + target;
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? dir : target.substr(0, slash);
    StartDetached(opener, {folder.empty() ? std::string(".") : folder}, dir);
}

std::pair<int, int> LocalHourAndMinute()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local))
        return {0, 0};
    return {local.tm_hour, local.tm_min};
}

} // namespace common
