// Started by the Windows platform tests: writes its folder and arguments, one a line, to
// "started.txt" in its current folder, and a last line "end" once all is written.
#include <cstdio>
#include <filesystem>

int main(int argc, char **argv)
{
    std::FILE *out = std::fopen("started.txt.part", "wb");
    if (!out)
        return 1;
    std::fprintf(out, "%s\n", std::filesystem::current_path().string().c_str());
    for (int i = 1; i < argc; ++i)
        std::fprintf(out, "[%s]\n", argv[i]);
    std::fprintf(out, "end\n");
    std::fclose(out);
    std::rename("started.txt.part", "started.txt");
    return 0;
}
