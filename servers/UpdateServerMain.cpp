// The reference update server: offers a game folder to Updaters on the given address.

#include "common/Clock.h"
#include "common/qt/QtCoreTimer.h"
#include "servers/GameFolder.h"
#include "servers/ServerHost.h"
#include "servers/UpdateServerCore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

using namespace servers;

namespace {

int fail(const std::string &message)
{
    std::fprintf(stderr, "UpdateServer: %s\n", message.c_str());
    return 2;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Update server for Updaters: offers every file below the game folder (the players' "
        "Client folder) with its version number, and sends the files packed. Logs one line "
        "per event."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("listen"),
         QStringLiteral("Address and port to listen on (default 127.0.0.1:2602; 0.0.0.0:2602 for "
                        "every network)."),
         QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:2602")},
        {QStringLiteral("folder"),
         QStringLiteral("The game folder to serve: what belongs in the players' Client folder."),
         QStringLiteral("DIR")},
        {QStringLiteral("program-files"),
         QStringLiteral("Folder holding zlib.dll (sent to Updaters that lack it) and, for a "
                        "self-update, Updater.dat and Update.exe."),
         QStringLiteral("DIR")},
        {QStringLiteral("launch"),
         QStringLiteral("Program the Updater starts afterwards, relative to the Client folder "
                        "(for example Registry.exe or Bin\\Game.exe)."),
         QStringLiteral("PATH")},
        {QStringLiteral("max-connections"),
         QStringLiteral("Updaters served at once; more are turned away (default 50)."),
         QStringLiteral("N")},
        {QStringLiteral("idle-timeout"),
         QStringLiteral("Seconds of silence after which a connection is dropped (default 120)."),
         QStringLiteral("S")},
        {QStringLiteral("check"),
         QStringLiteral("Print what would be served, with version numbers, and exit.")},
    });
}

// The serving settings of the command line; `error` tells what was wrong with them.
UpdateServerSettings readSettings(const QCommandLineParser &parser, std::string &error)
{
    UpdateServerSettings settings;
    if (parser.isSet(QStringLiteral("launch"))) {
        const QByteArray raw = QFile::encodeName(parser.value(QStringLiteral("launch")));
        settings.launchFile = NormalizeLaunchPath(raw.toStdString());
        if (settings.launchFile.empty()) {
            error = "--launch needs a path inside the Client folder, such as Registry.exe";
            return settings;
        }
    }
    auto number = [&](const char *name, int min, int max, int &out) {
        if (!parser.isSet(QString::fromLatin1(name)))
            return true;
        bool ok = false;
        const int value = parser.value(QString::fromLatin1(name)).toInt(&ok);
        if (!ok || value < min || value > max)
            return false;
        out = value;
        return true;
    };
    int idleSeconds = static_cast<int>(settings.idleTimeoutMs / 1000);
    if (!number("max-connections", 1, 100000, settings.maxConnections) ||
        !number("idle-timeout", 10, 86400, idleSeconds))
        error = "--max-connections and --idle-timeout need positive numbers";
    settings.idleTimeoutMs = std::int64_t{idleSeconds} * 1000;

    return settings;
}

// What would be served, with version numbers.
int check(const GameFolder &games, const Catalog &catalog)
{
    std::printf("Folders:\n");
    for (const auto &f : catalog.folders)
        std::printf("  %s\n", Printable(f).c_str());
    std::printf("Files:\n");
    if (catalog.selfUpdate)
        std::printf("  %3d  %11d  Updater.dat + Update.exe (self-update)\n", 1,
                    catalog.selfUpdate->version);
    for (const auto &f : catalog.files)
        std::printf("  %3d  %11d  %s\n", f.index, f.version, Printable(f.folder + f.name).c_str());
    std::printf("zlib.dll: %s\n", games.zlibLibrary() ? "present" : "missing");
    return 0;
}

int serve(const QHostAddress &address, quint16 port, const QString &folder,
          const UpdateServerSettings &settings, GameFolder &games, const Catalog &catalog)
{
    common::SteadyClock clock;
    ServerHost host(PrintLogLine);
    UpdateServerCore core({clock, host, games, PrintLogLine}, settings);
    host.setHandler(&core);
    QString listenError;
    if (!host.listen(address, port, &listenError))
        return fail("cannot listen on " + address.toString().toStdString() + ":" +
                    std::to_string(port) + ": " + listenError.toStdString());
    common::QtCoreTimer timer(core, clock);
    QuitOnSignals();
    if (!games.zlibLibrary())
        PrintLogLine("WARNING: no zlib.dll in the program-files folder: Updaters that lack it "
                     "cannot be served");
    PrintLogLine("Update server listening on " + address.toString().toStdString() + ":" +
                 std::to_string(host.port()) + ", serving " +
                 QDir(folder).absolutePath().toStdString() + " (" +
                 std::to_string(catalog.files.size()) + " files" +
                 (catalog.selfUpdate ? ", self-update" : "") + ")" +
                 (settings.launchFile.empty() ? "" : ", launch " + Printable(settings.launchFile)));
    const int rc = QCoreApplication::exec();
    host.setHandler(nullptr);
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("UpdateServer"));
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);

    if (!parser.isSet(QStringLiteral("folder")))
        return fail("--folder DIR is needed (the game folder to serve)");
    const QString folder = parser.value(QStringLiteral("folder"));
    if (!QFileInfo(folder).isDir())
        return fail("the game folder " + folder.toStdString() + " does not exist");
    const QString programFiles = parser.value(QStringLiteral("program-files"));
    if (!programFiles.isEmpty() && !QFileInfo(programFiles).isDir())
        return fail("the program-files folder " + programFiles.toStdString() + " does not exist");

    std::string error;
    const UpdateServerSettings settings = readSettings(parser, error);
    if (!error.empty())
        return fail(error);

    QHostAddress address(QHostAddress::LocalHost);
    quint16 port = 2602;
    if (!ParseListenAddress(parser.value(QStringLiteral("listen")), address, port))
        return fail("--listen needs HOST:PORT, for example 0.0.0.0:2602");

    GameFolder games(folder.toStdString(), programFiles.toStdString(), PrintLogLine);
    const auto catalog = games.scan();
    if (parser.isSet(QStringLiteral("check")))
        return check(games, *catalog);
    return serve(address, port, folder, settings, games, *catalog);
}
