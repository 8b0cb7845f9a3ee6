// The platform layer on Windows. The cores' paths are byte strings in the system's ANSI code
// page, the names the game's own ANSI calls see: they are turned into UTF-16 here, with that
// code page, and handed to the wide functions, absolute ones in the "\\?\" form that works at
// any length.
#include "common/Platform.h"

#include "common/Arguments.h"

#include <array>
#include <limits>

#include <windows.h>

#include <shellapi.h>

namespace common {

namespace {

// ---- Names: bytes of the ANSI code page on one side, the system's UTF-16 on the other ----

std::wstring widen(std::string_view bytes)
{
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return {};
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), n);
    return wide;
}

// Empty when a character has no byte in the code page: such a name cannot be told to the
// cores, which would name another file with it.
std::optional<std::string> narrow(std::wstring_view wide)
{
    if (wide.empty())
        return std::string();
    const bool utf8 = GetACP() == CP_UTF8; // the only code page that holds every character
    BOOL lossy = FALSE;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL *lost = utf8 ? nullptr : &lossy;
    const int size = static_cast<int>(wide.size());
    const int n =
        WideCharToMultiByte(CP_ACP, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, flags, wide.data(), size, bytes.data(), n, nullptr, lost);
    if (lossy)
        return std::nullopt;
    return bytes;
}

bool startsWith(std::wstring_view text, std::wstring_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

constexpr std::wstring_view kLongPrefix = L"\\\\?\\";
constexpr std::wstring_view kLongUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

// "\\?\C:\x" as "C:\x", "\\?\UNC\host\share" as "\\host\share".
std::wstring withoutLongPrefix(std::wstring path)
{
    if (startsWith(path, kLongUncPrefix))
        return L"\\" + path.substr(kLongUncPrefix.size() - 1);
    if (startsWith(path, kLongPrefix))
        return path.substr(kLongPrefix.size());
    return path;
}

// A system call that fills a buffer and answers the length it needs when the buffer is too
// small (or, like GetModuleFileNameW, fills it to the brim).
template <typename Fill> std::wstring filled(Fill fill)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD n = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(std::max<std::size_t>(n + 1, buffer.size() * 2));
    }
    return {};
}

// The full path the system itself would make of `wide` (".." and "." resolved, "/" turned
// into "\", trailing dots and blanks dropped), in the "\\?\" form that no length limit
// applies to.
std::wstring longForm(const std::wstring &wide)
{
    if (startsWith(wide, kLongPrefix) || startsWith(wide, kDevicePrefix))
        return wide; // already the system's own form
    std::wstring full = filled([&](wchar_t *buffer, DWORD size) {
        return GetFullPathNameW(wide.c_str(), size, buffer, nullptr);
    });
    if (full.empty() || startsWith(full, kLongPrefix) || startsWith(full, kDevicePrefix))
        return full.empty() ? wide : full; // a device name ("CON") stands as the system made it
    if (startsWith(full, L"\\\\"))
        return std::wstring(kLongUncPrefix) + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return std::wstring(kLongPrefix) + full;
    return full;
}

// The name the system is given for a local path; empty for a path that names nothing (empty,
// or holding a NUL byte that would cut it short).
std::wstring systemPath(const std::string &localPath)
{
    if (localPath.empty() || localPath.find('\0') != std::string::npos)
        return {};
    return longForm(widen(localPath));
}

// A path the system gave back, as the cores' bytes; a character the code page cannot hold is
// avoided through the short (8.3) name when there is one.
std::optional<std::string> localForm(const std::wstring &path)
{
    if (std::optional<std::string> bytes = narrow(withoutLongPrefix(path)))
        return bytes;
    const std::wstring shortName = filled(
        [&](wchar_t *buffer, DWORD size) { return GetShortPathNameW(path.c_str(), buffer, size); });
    return shortName.empty() ? std::nullopt : narrow(withoutLongPrefix(shortName));
}

// A path for the calls that keep to MAX_PATH without the long form (a process's program and
// current folder): the full path, else its short (8.3) form, else the long form (the system
// decides).
std::wstring processPathForm(const std::string &localPath)
{
    const std::wstring full = systemPath(localPath);
    const std::wstring plain = withoutLongPrefix(full);
    if (plain.size() < MAX_PATH - 1)
        return plain;
    const std::wstring shortName = filled([&](wchar_t *buffer, DWORD size) {
        return GetShortPathNameW(full.c_str(), buffer, size);
    });
    const std::wstring shortPlain = withoutLongPrefix(shortName);
    return !shortPlain.empty() && shortPlain.size() < MAX_PATH - 1 ? shortPlain : full;
}

std::string withoutTrailingSeparators(std::string path)
{
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/') &&
           path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

bool isSeparator(char c)
{
    return c == '\\' || c == '/';
}

// ---- Files ----

class Handle
{
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle()
    {
        if (valid())
            CloseHandle(m_handle);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

HANDLE openExisting(const std::wstring &path, DWORD access, DWORD flags)
{
    if (path.empty())
        return INVALID_HANDLE_VALUE;
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, flags, nullptr);
}

// Where the file or folder behind an open handle really is, as the system names it.
std::wstring finalPath(HANDLE handle)
{
    return filled([&](wchar_t *buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size,
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
}

// The path of an open file or folder from the root of its volume ("\Games\x").
std::wstring volumeRelativeName(HANDLE handle)
{
    std::string buffer(sizeof(FILE_NAME_INFO) + 65536, '\0');
    auto *info = reinterpret_cast<FILE_NAME_INFO *>(buffer.data());
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, info,
                                      static_cast<DWORD>(buffer.size())))
        return {};
    return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
}

// The same for a path past MAX_PATH, which wine cannot name that way: the volume-relative
// name behind the DOS name of the volume, taken from a folder above `named` on the same
// volume. Empty when it cannot be told.
std::wstring finalPathOfLong(HANDLE handle, std::wstring named)
{
    BY_HANDLE_FILE_INFORMATION info{};
    const std::wstring relative = volumeRelativeName(handle);
    if (relative.empty() || !GetFileInformationByHandle(handle, &info))
        return {};
    for (std::size_t slash = named.rfind(L'\\'); slash != std::wstring::npos && slash > 0;
         slash = named.rfind(L'\\')) {
        named.resize(slash);
        const HANDLE opened =
            CreateFileW(named.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (opened == INVALID_HANDLE_VALUE)
            continue;
        BY_HANDLE_FILE_INFORMATION upInfo{};
        const std::wstring upFinal = finalPath(opened);
        const std::wstring upRelative = volumeRelativeName(opened);
        const bool sameVolume = GetFileInformationByHandle(opened, &upInfo) &&
                                upInfo.dwVolumeSerialNumber == info.dwVolumeSerialNumber;
        CloseHandle(opened);
        if (upFinal.empty() || upRelative.empty())
            continue; // still too long
        if (!sameVolume || upFinal.size() < upRelative.size() ||
            upFinal.compare(upFinal.size() - upRelative.size(), upRelative.size(), upRelative) != 0)
            return {};
        return upFinal.substr(0, upFinal.size() - upRelative.size()) + relative;
    }
    return {};
}

// Where an open file or folder, opened by the name `named`, really is.
std::wstring realPathOf(HANDLE handle, const std::wstring &named)
{
    std::wstring real = finalPath(handle);
    return real.empty() ? finalPathOfLong(handle, named) : real;
}

bool readAll(HANDLE file, char *into, std::size_t size, std::size_t &got)
{
    got = 0;
    while (got < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 24));
        DWORD n = 0;
        if (!ReadFile(file, into + got, chunk, &n, nullptr))
            return false;
        if (n == 0)
            break; // the file shrank meanwhile: what was there
        got += n;
    }
    return true;
}

// The directory search of one name with the normal attribute set: hidden and system
// entries are not found. Wildcards would match other names, so they find nothing.
std::optional<DWORD> searchAttributes(ByteView path)
{
    if (path.empty() || path.find_first_of("*?") != ByteView::npos ||
        path.find('\0') != ByteView::npos)
        return std::nullopt;
    const std::string local = withoutTrailingSeparators(LocalPath(path));
    const std::wstring wide = systemPath(local);
    DWORD attributes = 0;
    if (isSeparator(local.back()) || local.back() == ':') {
        // A drive root has no directory entry of its own.
        attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return std::nullopt;
    } else {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW(wide.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return std::nullopt;
        FindClose(search);
        attributes = found.dwFileAttributes;
    }
    if (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
        return std::nullopt;
    return attributes;
}

// ---- Processes ----

bool startProcess(const std::string *program, const std::string &commandLine,
                  const std::string &directory)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const std::wstring application = program ? processPathForm(*program) : std::wstring();
    std::wstring line = widen(commandLine);
    const std::wstring folder = directory.empty() ? std::wstring() : processPathForm(directory);
    if ((program && application.empty()) || (!directory.empty() && folder.empty()))
        return false;
    const BOOL ok =
        CreateProcessW(program ? application.c_str() : nullptr, line.data(), nullptr, nullptr,
                       FALSE, CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup, &process);
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
    const std::wstring exe = filled(
        [](wchar_t *buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    const std::optional<std::string> local = exe.empty() ? std::nullopt : localForm(exe);
    if (!local)
        return CurrentFolder();
    const auto slash = LastSeparator(*local);
    if (slash == std::string::npos)
        return ".";
    return withoutTrailingSeparators(local->substr(0, slash + 1));
}

Bytes ProcessCommandLine()
{
    const char *line = GetCommandLineA();
    return line ? Bytes(line) : Bytes();
}

std::string CurrentFolder()
{
    const std::wstring here =
        filled([](wchar_t *buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
    const std::optional<std::string> local = here.empty() ? std::nullopt : localForm(here);
    return local ? withoutTrailingSeparators(*local) : std::string();
}

bool SetCurrentFolder(const std::string &localPath)
{
    const std::wstring folder = processPathForm(localPath);
    return !folder.empty() && SetCurrentDirectoryW(folder.c_str()) != 0;
}

std::string RealPath(const std::string &localPath)
{
    // Opening follows junctions and symbolic links; the handle then names the real place.
    const std::wstring named = systemPath(localPath);
    const Handle handle(openExisting(named, 0, FILE_FLAG_BACKUP_SEMANTICS));
    if (!handle.valid())
        return {};
    const std::wstring real = realPathOf(handle.get(), named);
    // Where a link could not be followed the handle names the link itself: its real place
    // is unknown.
    const DWORD attributes =
        real.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(real.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return {};
    const std::optional<std::string> local = localForm(real);
    return local ? withoutTrailingSeparators(*local) : std::string();
}

EntryKind EntryKindOf(const std::string &localPath)
{
    // The attributes of a link are its own: a dangling one is found too.
    const std::wstring wide = systemPath(localPath);
    const DWORD attributes =
        wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return EntryKind::Missing;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return EntryKind::Link;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return EntryKind::Folder;
    return (attributes & FILE_ATTRIBUTE_DEVICE) ? EntryKind::Other : EntryKind::File;
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
    const std::wstring wide = systemPath(localPath);
    return !wide.empty() && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

std::optional<Bytes> ReadRegularFile(const std::string &localPath)
{
    const Handle file(openExisting(systemPath(localPath), GENERIC_READ, FILE_ATTRIBUTE_NORMAL));
    LARGE_INTEGER size{};
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK ||
        !GetFileSizeEx(file.get(), &size) || size.QuadPart < 0)
        return std::nullopt;
    Bytes content(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t got = 0;
    if (!readAll(file.get(), content.data(), content.size(), got))
        return std::nullopt;
    content.resize(got);
    return content;
}

std::optional<FileStamp> StampOf(const std::string &localPath)
{
    const std::wstring wide = systemPath(localPath);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    const auto join = [](DWORD high, DWORD low) {
        return (static_cast<std::uint64_t>(high) << 32) | low;
    };
    return FileStamp{join(data.nFileSizeHigh, data.nFileSizeLow),
                     static_cast<std::int64_t>(join(data.ftLastWriteTime.dwHighDateTime,
                                                    data.ftLastWriteTime.dwLowDateTime))};
}

NewFile::~NewFile()
{
    close();
}

NewFile::Created NewFile::create(const std::string &localPath)
{
    close();
    const std::wstring wide = systemPath(localPath);
    if (wide.empty())
        return Created::Failed;
    // CREATE_NEW: an existing file (or a link planted in the name's place) is never opened.
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Created::NameTaken
                                                                           : Created::Failed;
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return Created::Yes;
}

bool NewFile::write(ByteView data)
{
    const auto file = reinterpret_cast<HANDLE>(m_handle);
    while (m_handle != -1 && !data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 24));
        DWORD put = 0;
        if (!WriteFile(file, data.data(), chunk, &put, nullptr) || put == 0)
            return false;
        data.remove_prefix(put);
    }
    return m_handle != -1;
}

bool NewFile::commit()
{
    if (m_handle == -1)
        return false;
    const auto file = reinterpret_cast<HANDLE>(m_handle);
    m_handle = -1;
    const bool flushed = FlushFileBuffers(file) != 0;
    return (CloseHandle(file) != 0) && flushed;
}

void NewFile::close()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = -1;
}

bool RemoveFile(const std::string &localPath)
{
    const std::wstring wide = systemPath(localPath);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
}

namespace {

// True when the open file is where `localPath` names it: no link, junction or other
// redirection on the last level (wine shows a Unix link to a file as a plain file, but the
// handle then names the file it leads to).
bool isWhereNamed(HANDLE file, const std::string &localPath)
{
    const std::size_t slash = LastSeparator(localPath);
    const std::string folder =
        slash == std::string::npos ? CurrentFolder() : localPath.substr(0, slash + 1);
    const std::string realFolder = RealPath(folder.empty() ? std::string(".") : folder);
    const std::wstring expected =
        widen(LocalChild(realFolder, localPath.substr(slash == std::string::npos ? 0 : slash + 1)));
    const std::wstring real = withoutLongPrefix(realPathOf(file, systemPath(localPath)));
    return !realFolder.empty() && !real.empty() &&
           CompareStringOrdinal(real.data(), static_cast<int>(real.size()), expected.data(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

bool RemoveRegularFile(const Bytes &path)
{
    const std::string local = LocalPath(path);
    // Opened as it stands (a link itself, not what it leads to) and removed through the same
    // handle, so nothing can be put in its place between the test and the removal.
    const Handle file(openExisting(systemPath(local),
                                   DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                   FILE_FLAG_OPEN_REPARSE_POINT));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.valid() || GetFileType(file.get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(file.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        !isWhereNamed(file.get(), local))
        return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFO basic{};
        basic.FileAttributes =
            (info.dwFileAttributes & ~DWORD{FILE_ATTRIBUTE_READONLY}) | FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

bool MoveOver(const std::string &from, const std::string &to)
{
    const std::wstring source = systemPath(from);
    const std::wstring target = systemPath(to);
    if (source.empty() || target.empty())
        return false;
    constexpr DWORD flags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_READONLY) &&
                          !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!readOnly)
        return MoveFileExW(source.c_str(), target.c_str(), flags) != 0;
    // A read-only file is replaced all the same (files copied from a disc carry the flag, and
    // it must not stop an update); the new file keeps the flag.
    if (!SetFileAttributesW(target.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY}))
        return false;
    if (!MoveFileExW(source.c_str(), target.c_str(), flags)) {
        SetFileAttributesW(target.c_str(), attributes);
        return false;
    }
    const DWORD now = GetFileAttributesW(target.c_str());
    if (now != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(target.c_str(), now | FILE_ATTRIBUTE_READONLY);
    return true;
}

void KeepPermissions(const std::string & /*target*/, const std::string & /*temporary*/) {}

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
    // A program image: the "MZ" header, and at the offset it gives at 0x3C the "PE" one. An
    // ELF file, a script or anything else named ".exe" is no Windows program.
    const Handle file(openExisting(systemPath(localPath), GENERIC_READ, FILE_ATTRIBUTE_NORMAL));
    std::array<unsigned char, 64> head{};
    std::size_t got = 0;
    if (!file.valid() ||
        !readAll(file.get(), reinterpret_cast<char *>(head.data()), head.size(), got) ||
        got < head.size() || head[0] != 'M' || head[1] != 'Z')
        return false;
    LARGE_INTEGER at{};
    at.QuadPart = head[0x3C] | (head[0x3D] << 8) | (head[0x3E] << 16) |
                  (static_cast<LONGLONG>(head[0x3F]) << 24);
    std::array<char, 4> signature{};
    return SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) &&
           readAll(file.get(), signature.data(), signature.size(), got) && got == 4 &&
           signature == std::array<char, 4>{'P', 'E', '\0', '\0'};
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

std::pair<int, int> LocalHourAndMinute()
{
    SYSTEMTIME local{};
    GetLocalTime(&local);
    return {local.wHour, local.wMinute};
}

} // namespace common
