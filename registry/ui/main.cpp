// The Registry program: the client of the registry server, a directory of player-run game
// servers, with accounts, chat and the launch of the game client and game server.

#include "common/Clock.h"
#include "common/Platform.h"
#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "registry/net/RegistryClient.h"
#include "registry/support/CommandLine.h"
#include "registry/support/MachineId.h"
#include "registry/ui/FrmMain.h"
#include "registry/ui/IniAccountSettings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

namespace {

QCommandLineOption serverOption()
{
    return QCommandLineOption(QStringLiteral("server"),
                              QStringLiteral("Registry server to use instead of %1:%2.")
                                  .arg(QString::fromStdString(registry::DefaultRegistryHost()))
                                  .arg(registry::DefaultRegistryPort()),
                              QStringLiteral("HOST[:PORT]"));
}

void describe(QCommandLineParser &parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("Registry"));
    QCoreApplication::setApplicationVersion(QLatin1String(registry::kVersionText));
    parser.setApplicationDescription(
        QStringLiteral("The Talmora Online Registry: find player-run game servers, chat with "
                       "other players, register your own server and join a game."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(serverOption());
}

// --help and --version only print, so they work without a display.
bool onlyPrints(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h" || arg == "-?" || arg == "--help-all" ||
            arg == "--version" || arg == "-v")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (onlyPrints(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        describe(parser);
        parser.process(app); // prints and ends the program
        return 0;
    }

    QApplication app(argc, argv);
    QCommandLineParser parser;
    describe(parser);
    parser.process(app);
    const QCommandLineOption serverOption = ::serverOption();

    registry::ServerAddress server{registry::DefaultRegistryHost(),
                                   registry::DefaultRegistryPort()};
    if (parser.isSet(serverOption)) {
        const auto parsed =
            registry::ParseServerAddress(parser.value(serverOption).toStdString(), server.port);
        if (!parsed) {
            std::fprintf(stderr, "Registry: --server expects HOST or HOST:PORT, got \"%s\"\n",
                         qPrintable(parser.value(serverOption)));
            return 2;
        }
        server = *parsed;
    }

    // The program folder is the current directory; the game client and the game server
    // live in folders beside the program.
    const std::string programFolder = common::ProgramFolder();
    QDir::setCurrent(QString::fromStdString(programFolder));
    registry::FrmMain::Folders folders{programFolder, programFolder + "\\Talmora\\",
                                       programFolder + "\\Server\\"};

    registry::ApplyProgramLook();

    common::SteadyClock clock;
    common::QtTransport sckMain;
    common::QtTransport sckPingNewServ;
    common::PlatformShell shell;

    registry::FrmMain window(folders, shell);
    registry::IniAccountSettings settings(programFolder);
    registry::RegistryClient core({clock, sckMain, sckPingNewServ, window,
                                   [] { return registry::MachineId(); }, server.host, server.port,
                                   &settings});
    // QuitProgram: close the connection and end the program at once.
    window.setQuitHandler([&sckMain] {
        sckMain.close();
        QCoreApplication::exit(0);
    });
    window.attach(core);
    window.show();
    core.start();
    common::QtCoreTimer timer(core, clock);
    timer.rearm();
    return QApplication::exec();
}
