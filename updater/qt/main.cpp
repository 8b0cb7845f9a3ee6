// The Updater program: brings the game folder up to date from an update server, then starts
// the next program and ends.
#include "common/Platform.h"
#include "common/qt/Text1252.h"
#include "updater/app/CommandLine.h"
#include "updater/flow/Launcher.h"
#include "updater/flow/UpdaterCore.h"
#include "updater/qt/UpdaterProgram.h"

#include <QApplication>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

QtMessageHandler g_previousHandler = nullptr;
bool g_creatingWindow = false;
// Set in the environment of the copy started after a failed window creation: it does not
// try again.
constexpr const char *kRestartedVariable = "TALMORA_UPDATER_RESTARTED";
constexpr int kRestartWaitMs = 3000;
std::string g_program;                // this executable
std::vector<std::string> g_arguments; // as given, for the copy started anew

void reportWindowFailure(const char *detail)
{
    std::fprintf(stderr,
                 "Updater: the window could not be created (%s).\n"
                 "Updater: check that a display is available (DISPLAY or WAYLAND_DISPLAY), or set "
                 "QT_QPA_PLATFORM to a platform plugin that is installed.\n",
                 detail && *detail ? detail : "unknown reason");
    std::fflush(stderr);
}

// The window could not be created. The first time, wait and start the program once more
// with the same words (Qt cannot be started twice in one process); the second time, say
// plainly what went wrong. Does not return.
[[noreturn]] void windowFailed(const char *detail)
{
    if (!qEnvironmentVariableIsSet(kRestartedVariable)) {
        std::fprintf(stderr,
                     "Updater: the window could not be created (%s); starting once more in "
                     "%d ms.\n",
                     detail && *detail ? detail : "unknown reason", kRestartWaitMs);
        std::fflush(stderr);
        std::this_thread::sleep_for(std::chrono::milliseconds(kRestartWaitMs));
        qputenv(kRestartedVariable, "1");
        if (common::StartDetached(g_program, g_arguments, std::string()))
            std::_Exit(0); // the run goes on in the copy
    }
    reportWindowFailure(detail);
    std::_Exit(1);
}

// Qt ends the program with a fatal message when no platform plugin can be started.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg && g_creatingWindow) {
        if (g_previousHandler)
            g_previousHandler(QtCriticalMsg, context, message);
        windowFailed(message.section(u'\n', 0, 0).toLocal8Bit().constData());
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

std::vector<common::Bytes> commandLineWords(const QStringList &arguments)
{
    std::vector<common::Bytes> bytes;
    for (const QString &argument : arguments.mid(1))
        bytes.push_back(common::ToWindows1252(argument));
    return updater::CommandLineWords(bytes);
}

} // namespace

int main(int argc, char **argv)
{
    const std::string programFolder = common::ProgramFolder();
    g_program = programFolder + "/" + std::filesystem::path(argv[0]).filename().string();
    g_arguments.assign(argv + 1, argv + argc);

    g_previousHandler = qInstallMessageHandler(messageHandler);
    g_creatingWindow = true;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const std::vector<common::Bytes> words = commandLineWords(QCoreApplication::arguments());
    // Bare names used later ("zlib.dll", "Version.dat", "Update.exe") are resolved here.
    std::error_code ec;
    std::filesystem::current_path(programFolder, ec);

    updater::PlatformLauncher launcher;
    std::unique_ptr<updater::QtUpdaterProgram> program;
    try {
        program = std::make_unique<updater::QtUpdaterProgram>(programFolder, words, launcher);
        g_creatingWindow = false;
        program->start();
    } catch (const std::exception &e) {
        if (g_creatingWindow || !program)
            windowFailed(e.what());
        // Once the window is shown it stays open: closing it still runs the hand-over.
        std::fprintf(stderr, "Updater: %s\n", e.what());
        std::fflush(stderr);
    }
    return app.exec();
}
