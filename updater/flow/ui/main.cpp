// The Updater program: brings the game folder up to date from an update server, then starts
// the next program and ends.
#include "common/Clock.h"
#include "common/Platform.h"
#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "common/qt/Text1252.h"
#include "updater/files/FileStore.h"
#include "updater/flow/BuiltInServers.h"
#include "updater/flow/FileWriter.h"
#include "updater/flow/Launcher.h"
#include "updater/flow/UpdaterCore.h"
#include "updater/flow/ui/UpdaterWindow.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <system_error>

namespace {

QtMessageHandler g_previousHandler = nullptr;
bool g_creatingWindow = false;

void reportWindowFailure(const char *detail)
{
    std::fprintf(stderr,
                 "Updater: the window could not be created (%s).\n"
                 "Updater: check that a display is available (DISPLAY or WAYLAND_DISPLAY), or set "
                 "QT_QPA_PLATFORM to a platform plugin that is installed.\n",
                 detail && *detail ? detail : "unknown reason");
    std::fflush(stderr);
}

// Qt ends the program with a fatal message when no platform plugin can be started; say
// plainly what went wrong before it goes.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg && g_creatingWindow) {
        if (g_previousHandler)
            g_previousHandler(QtCriticalMsg, context, message);
        reportWindowFailure(message.section(u'\n', 0, 0).toLocal8Bit().constData());
        std::_Exit(1);
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

// The command-line words: the arguments after the program name joined with single spaces,
// then split at every single space.
std::vector<common::Bytes> commandLineWords(const QStringList &arguments)
{
    return updater::SplitCommandLine(common::ToWindows1252(arguments.mid(1).join(u' ')));
}

} // namespace

int main(int argc, char **argv)
{
    g_previousHandler = qInstallMessageHandler(messageHandler);
    g_creatingWindow = true;
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const std::vector<common::Bytes> words = commandLineWords(QCoreApplication::arguments());
    const std::string programFolder = common::ProgramFolder();
    // Bare names used later ("zlib.dll", "Version.dat", "Update.exe") are resolved here.
    std::error_code ec;
    std::filesystem::current_path(programFolder, ec);

    try {
        updater::FileStore store(programFolder);
        common::SteadyClock clock;
        common::QtTransport transport;
        updater::PlatformLauncher launcher;
        updater::UpdaterWindow window;
        g_creatingWindow = false;

        updater::UpdaterConfig config;
        config.servers = updater::BuiltInServers();
        config.words = words;
        // Files are unpacked and written on threads of their own while the next one arrives;
        // the outcome comes back through the event loop.
        updater::BackgroundFileWriter writer(store, [&app](std::function<void()> report) {
            QMetaObject::invokeMethod(&app, std::move(report), Qt::QueuedConnection);
        });
        updater::UpdaterCore core(store, clock, transport, window, launcher, std::move(config),
                                  writer);
        window.onClose = [&core] { core.FinishAndLaunch(); };
        window.onEnd = [] { QCoreApplication::exit(0); };

        window.show();
        window.repaint();
        core.StartUpdater();
        common::QtCoreTimer timer(core, clock);
        return app.exec();
    } catch (const std::exception &e) {
        if (g_creatingWindow) {
            reportWindowFailure(e.what());
            return 1;
        }
        std::fprintf(stderr, "Updater: %s\n", e.what());
        return 1;
    }
}
