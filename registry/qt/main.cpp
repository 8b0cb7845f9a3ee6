// The Registry program: the client of the registry server, a directory of player-run game
// servers, with accounts, chat and the launch of the game client and game server.

#include "common/Platform.h"
#include "common/qt/QtCoreTimer.h"
#include "common/qt/QtTransport.h"
#include "registry/app/ProgramOptions.h"
#include "registry/app/RegistryProgram.h"
#include "registry/net/RegistryClient.h"
#include "registry/qt/FrmMain.h"
#include "registry/support/CommandLine.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstdio>
#include <string>

namespace {

QCommandLineOption serverOption()
{
    return QCommandLineOption(QStringLiteral("server"),
                              QString::fromStdString(registry::ServerOptionHelp()),
                              QLatin1String(registry::kServerValueName));
}

void describe(QCommandLineParser &parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("Registry"));
    QCoreApplication::setApplicationVersion(QLatin1String(registry::kVersionText));
    parser.setApplicationDescription(QLatin1String(registry::kProgramDescription));
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
        const std::string value = parser.value(serverOption).toStdString();
        const auto parsed = registry::ParseServerAddress(value, server.port);
        if (!parsed) {
            std::fprintf(stderr, "Registry: %s\n", registry::ServerOptionMistake(value).c_str());
            return 2;
        }
        server = *parsed;
    }

    // The program folder is the current directory.
    const std::string programFolder = common::ProgramFolder();
    QDir::setCurrent(QString::fromStdString(programFolder));
    registry::ApplyProgramLook();

    registry::RegistryProgram<common::QtTransport, registry::FrmMain, common::QtCoreTimer> program(
        programFolder, server, [] { QCoreApplication::exit(0); });
    program.start();
    return QApplication::exec();
}
