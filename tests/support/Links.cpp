#include "tests/support/Links.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>
#endif

namespace fs = std::filesystem;

namespace testsupport {

#ifdef _WIN32
namespace {

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The host system's name of a path, as wine maps it.
std::wstring hostName(const fs::path &path)
{
    using UnixName = char *(CDECL *)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char *name = unixName ? unixName(fs::absolute(path).wstring().c_str()) : nullptr;
    if (!name)
        return {};
    const std::string utf8 = name;
    HeapFree(GetProcessHeap(), 0, name);
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                            static_cast<int>(wide.size()))));
    return wide;
}

// Runs a command of the host system under wine, which starts host programs too but gives no
// handle to wait on: the command leaves a marker file when it is done.
bool runOnHost(const fs::path &folder, const std::wstring &command)
{
    const fs::path marker = folder / ".host-done";
    const std::wstring markerName = hostName(marker);
    if (markerName.empty())
        return false;
    std::wstring line = L"/bin/sh -c \"" + command + L" && : > '" + markerName + L"'\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::error_code ec;
    while (!fs::exists(marker, ec) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return fs::remove(marker, ec);
}

// The host links planted under wine, to be removed by the host before their folder goes:
// wine removes what a link leads to instead of the link.
std::vector<fs::path> &plantedLinks()
{
    static std::vector<fs::path> links;
    return links;
}

// Where an open file or folder really is, without the "\\?\" the system puts in front.
std::wstring finalPath(const fs::path &path)
{
    const HANDLE handle = CreateFileW(path.wstring().c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    wchar_t buffer[4096];
    const DWORD n = GetFinalPathNameByHandleW(handle, buffer, 4096, 0);
    CloseHandle(handle);
    const std::wstring real(buffer, n < 4096 ? n : 0);
    return real.rfind(L"\\\\?\\", 0) == 0 ? real.substr(4) : real;
}

} // namespace
#endif

bool MakeLink(const fs::path &target, const fs::path &link, bool folder)
{
#ifdef _WIN32
    DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (folder)
        flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    // wine reports success without making anything: only a link that is there counts.
    return CreateSymbolicLinkW(link.wstring().c_str(), target.wstring().c_str(), flags) != 0 &&
           IsLink(link);
#else
    std::error_code ec;
    if (folder)
        fs::create_directory_symlink(target, link, ec);
    else
        fs::create_symlink(target, link, ec);
    return !ec;
#endif
}

bool PlantLinks(const std::vector<PlannedLink> &links)
{
#ifdef _WIN32
    if (underWine()) {
        // One host command for all of them: each start of a host program costs.
        std::wstring command;
        for (const PlannedLink &l : links) {
            const std::wstring targetName =
                l.target.is_relative() ? l.target.generic_wstring() : hostName(l.target);
            const std::wstring linkName = hostName(l.link);
            if (targetName.empty() || linkName.empty())
                return false;
            command += (command.empty() ? L"" : L" && ") + std::wstring(L"ln -s -- '") +
                       targetName + L"' '" + linkName + L"'";
        }
        if (links.empty() || !runOnHost(links.front().link.parent_path(), command))
            return links.empty();
        for (const PlannedLink &l : links)
            plantedLinks().push_back(fs::absolute(l.link));
        return true;
    }
#endif
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (MakeLink(links[i].target, links[i].link, links[i].folder))
            continue;
        // A system that makes no links makes none; one that stops half-way is a fault.
        if (i > 0)
            ADD_FAILURE() << "could not make the link " << links[i].link.string();
        return false;
    }
    return true;
}

bool PlantLink(const fs::path &target, const fs::path &link, bool folder)
{
    return PlantLinks({{target, link, folder}});
}

void RemovePlantedLinks([[maybe_unused]] const fs::path &folder)
{
#ifdef _WIN32
    const std::wstring below = fs::absolute(folder).wstring() + L"\\";
    std::vector<fs::path> &links = plantedLinks();
    std::wstring names;
    for (auto it = links.begin(); it != links.end();) {
        if (it->wstring().rfind(below, 0) == 0) {
            names += L" '" + hostName(*it) + L"'";
            it = links.erase(it);
        } else {
            ++it;
        }
    }
    if (!names.empty())
        runOnHost(folder, L"rm -f --" + names);
#endif
}

#ifdef _WIN32
namespace {

// `path` (in the long form) and everything below it; a link goes by itself, never what it
// leads to.
void removeTree(const std::wstring &path)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring child = path + L"\\" + name;
            const DWORD attributes = found.dwFileAttributes;
            if (attributes & FILE_ATTRIBUTE_READONLY)
                SetFileAttributesW(child.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(child.c_str());
            else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
                RemoveDirectoryW(child.c_str());
            else
                removeTree(child);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

} // namespace
#endif

void RemoveAll(const fs::path &folder)
{
    RemovePlantedLinks(folder);
    std::error_code ec;
#ifdef _WIN32
    const std::wstring full = fs::absolute(folder, ec).wstring();
    removeTree(full.rfind(L"\\\\?\\", 0) == 0 ? full : L"\\\\?\\" + full);
#else
    fs::remove_all(folder, ec);
#endif
}

bool IsLink(const fs::path &path)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return true;
    // A host link to a file under wine: the file opened is elsewhere than named.
    const std::wstring real = finalPath(path);
    const std::wstring named = finalPath(path.parent_path()) + L"\\" + path.filename().wstring();
    return !real.empty() &&
           CompareStringOrdinal(real.c_str(), -1, named.c_str(), -1, TRUE) != CSTR_EQUAL;
#else
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
#endif
}

} // namespace testsupport
