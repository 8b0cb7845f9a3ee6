// The Registry program on Windows: the client of the registry server, a directory of
// player-run game servers, with accounts, chat and the launch of the game client and server.

// Before anything that includes windows.h.
#include <winsock2.h>

#include "common/Platform.h"
#include "common/win32/MessageLoop.h"
#include "common/win32/Win32CoreTimer.h"
#include "common/win32/Win32Transport.h"
#include "common/win32/WindowText.h"
#include "registry/app/ProgramOptions.h"
#include "registry/app/RegistryProgram.h"
#include "registry/net/RegistryClient.h"
#include "registry/support/CommandLine.h"
#include "registry/win32/MainWindow.h"

#include <objbase.h>
#include <windows.h>

#include <string>
#include <string_view>

namespace {

std::string usage()
{
    return std::string("Usage: Registry.exe [--server ") + registry::kServerValueName + "]\n\n" +
           registry::kProgramDescription + "\n\n--server " + registry::kServerValueName + "\t" +
           registry::ServerOptionHelp() +
           "\n--version\tShows the version.\n--help\tShows this text.";
}

void tell(const std::string &text)
{
    common::win32::ShowMessageBox(nullptr, text, registry::kProgramTitle, MB_OK);
}

// Reads the options into `server`. Returns the exit code when the program is to end at once
// (after showing help, the version or a mistake), -1 to go on.
int readOptions(int argc, char **argv, registry::ServerAddress &server)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        std::string_view value;
        if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "/?") {
            tell(usage());
            return 0;
        }
        if (arg == "--version" || arg == "-v") {
            tell(std::string("Registry ") + registry::kVersionText);
            return 0;
        }
        if (arg == "--server" && i + 1 < argc)
            value = argv[++i];
        else if (arg.substr(0, 9) == "--server=")
            value = arg.substr(9);
        else {
            tell("Unknown option \"" + std::string(arg) + "\".\n\n" + usage());
            return 2;
        }
        const auto parsed = registry::ParseServerAddress(value, server.port);
        if (!parsed) {
            tell(registry::ServerOptionMistake(value) + ".");
            return 2;
        }
        server = *parsed;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    registry::ServerAddress server{registry::DefaultRegistryHost(),
                                   registry::DefaultRegistryPort()};
    if (const int exitCode = readOptions(argc, argv, server); exitCode >= 0)
        return exitCode;

    // The program folder is the current directory.
    const std::string programFolder = common::ProgramFolder();
    SetCurrentDirectoryA(programFolder.c_str());

    // The shell's launching of the game and the screen readers' view of the window use COM.
    const bool com =
        SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
    int exitCode = 0;
    {
        registry::RegistryProgram<common::Win32Transport, registry::win32::MainWindow,
                                  common::Win32CoreTimer>
            program(programFolder, server, [] { PostQuitMessage(0); });
        program.start();
        // Tab, Shift+Tab and the other dialog keys move between the window's controls.
        exitCode = common::win32::RunMessageLoop(program.window().hwnd());
    }
    if (com)
        CoUninitialize();
    return exitCode;
}
