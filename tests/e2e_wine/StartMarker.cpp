// A Windows program for the end-to-end runs: notes each start in "started.txt" beside itself,
// with its working folder, and ends.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    folder.erase(folder.find_last_of("\\/") + 1);
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    if (FILE *file = std::fopen((folder + "started.txt").c_str(), "ab")) {
        std::fprintf(file, "started in %s\n", current);
        std::fclose(file);
    }
    return 0;
}
