// A Windows program for measuring by hand (bench/WineChatBurst.cpp): how long the running
// Registry window's thread goes without looking at its messages. It sends the window an empty
// message again and again for the given number of milliseconds and prints the longest wait
// for an answer: the longest pass of that window's message loop. Prints "ready" once the
// window is found. Exit code 0, 1 for a bad argument, 2 when no window showed up.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

double nowMs()
{
    LARGE_INTEGER count{}, frequency{};
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

int main(int argc, char **argv)
{
    const long duration = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (duration <= 0)
        return 1;
    HWND window = nullptr;
    for (int tries = 0; !window && tries < 600; ++tries) {
        window = FindWindowA("TalmoraRegistryMain", nullptr);
        if (!window)
            Sleep(50);
    }
    if (!window)
        return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    double longest = 0;
    const double start = nowMs();
    while (nowMs() - start < static_cast<double>(duration)) {
        const double sent = nowMs();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        const double waited = nowMs() - sent;
        longest = waited > longest ? waited : longest;
        Sleep(1);
    }
    std::printf("longest_pass_ms %.1f\n", longest);
    return 0;
}
