// A Windows program for the end-to-end runs: notes each start in "started.txt" beside itself,
// with its working folder, and ends. It may lie in a folder of any depth.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring filled(DWORD (*fill)(wchar_t *, DWORD))
{
    std::wstring buffer(32768, L'\0');
    buffer.resize(fill(buffer.data(), static_cast<DWORD>(buffer.size())));
    return buffer;
}

} // namespace

int main()
{
    std::wstring folder = filled(
        [](wchar_t *buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
    folder.erase(folder.find_last_of(L"\\/") + 1);
    const std::wstring current =
        filled([](wchar_t *buffer, DWORD size) { return GetCurrentDirectoryW(size, buffer); });
    if (folder.rfind(L"\\\\?\\", 0) != 0)
        folder.insert(0, L"\\\\?\\");
    if (FILE *file = _wfopen((folder + L"started.txt").c_str(), L"ab")) {
        std::fprintf(file, "started in %ls\n", current.c_str());
        std::fclose(file);
    }
    return 0;
}
