// The Updater program for Windows: brings the game folder up to date from an update server,
// then starts the next program and ends.
#include "common/Arguments.h"
#include "common/Platform.h"
#include "common/win32/MessageLoop.h"
#include "updater/app/CommandLine.h"
#include "updater/flow/Launcher.h"
#include "updater/win32/UpdaterProgram.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr DWORD kRetryWaitMs = 3000;

void report(const char *what, const char *detail, const char *after)
{
    std::fprintf(stderr, "Updater: %s%s%s\n", what, detail && *detail ? detail : "unknown reason",
                 after);
    std::fflush(stderr);
}

} // namespace

// The words are taken from the command line as the system keeps it, in its ANSI bytes (the
// Windows-1252 text the core takes), split at every single space: quotes and doubled blanks
// mean what they mean there, not what the C runtime makes of them.
int main()
{
    const std::string programFolder = common::ProgramFolder();
    const std::vector<common::Bytes> words = updater::SplitCommandLine(
        common::Bytes(common::TextAfterProgramName(common::ProcessCommandLine())));
    // Bare names used later ("zlib.dll", "Version.dat", "Update.exe") are resolved here.
    common::SetCurrentFolder(programFolder);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    updater::PlatformLauncher launcher;
    std::unique_ptr<updater::Win32UpdaterProgram> program;
    // A window that cannot be created (a desktop that is not ready yet, say) is tried once
    // more after a pause; the second failure ends the program with a plain message.
    for (int attempt = 0; attempt < 2 && !program; ++attempt) {
        try {
            program =
                std::make_unique<updater::Win32UpdaterProgram>(programFolder, words, launcher);
        } catch (const std::exception &e) {
            if (attempt == 0) {
                report("the window could not be created (", e.what(),
                       "); trying once more in 3000 ms.");
                Sleep(kRetryWaitMs);
                continue;
            }
            report("the window could not be created (", e.what(), ").");
            // Without a window of our own the system's message box may still show; when it
            // cannot, the line above is all there is.
            MessageBoxA(nullptr, "The Auto Updater window could not be created.", "Auto Updater",
                        MB_OK | MB_ICONERROR);
            return 1;
        }
    }
    try {
        program->start();
    } catch (const std::exception &e) {
        // Once the window is shown it stays open: closing it still runs the hand-over.
        report("", e.what(), "");
    }
    return common::win32::RunMessageLoop();
}
