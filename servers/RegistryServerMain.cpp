// The reference registry server: accounts, the list of game servers, the users online and
// their chat, for Registry clients on the given address.

#include "common/Clock.h"
#include "common/qt/QtCoreTimer.h"
#include "servers/AccountStore.h"
#include "servers/RegistryServerCore.h"
#include "servers/ServerDirectory.h"
#include "servers/ServerHost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QLockFile>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

using namespace servers;

namespace {

QByteArray bytesOf(const QString &text)
{
    // Names travel as Windows-1252 bytes; Latin-1 covers every name typed on a command line
    // that the clients can show.
    return text.toLatin1();
}

int fail(const std::string &message)
{
    std::fprintf(stderr, "RegistryServer: %s\n", message.c_str());
    return 2;
}

std::optional<int> intOption(const QCommandLineParser &parser, const QString &name, int min,
                             int max, std::string &error)
{
    if (!parser.isSet(name))
        return std::nullopt;
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < min || value > max) {
        error = "--" + name.toStdString() + " needs a number from " + std::to_string(min) + " to " +
                std::to_string(max);
        return std::nullopt;
    }
    return value;
}

void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Registry server for Registry clients: accounts, the game server list, "
                       "the users online and their chat. Logs one line per event."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("listen"),
         QStringLiteral("Address and port to listen on (default 127.0.0.1:2600; 0.0.0.0:2600 for "
                        "every network)."),
         QStringLiteral("HOST:PORT"), QStringLiteral("127.0.0.1:2600")},
        {QStringLiteral("data"),
         QStringLiteral("Folder of accounts.txt and servers.txt, created when missing (default: "
                        "registry-data)."),
         QStringLiteral("DIR"), QStringLiteral("registry-data")},
        {QStringLiteral("max-connections"),
         QStringLiteral("Connections served at once; more are booted (default 100)."),
         QStringLiteral("N")},
        {QStringLiteral("flood-limit"),
         QStringLiteral("Packets one connection may send within 5 seconds (default 60)."),
         QStringLiteral("N")},
        {QStringLiteral("ping-interval"),
         QStringLiteral("Seconds between server pings (default 30)."), QStringLiteral("S")},
        {QStringLiteral("idle-timeout"),
         QStringLiteral("Seconds of silence after which a connection is dropped (default 90)."),
         QStringLiteral("S")},
        {QStringLiteral("allow-same-machine"),
         QStringLiteral("Let several clients of one machine identifier connect at once.")},
        {QStringLiteral("maintenance"),
         QStringLiteral("Tell every client that connections are not being accepted.")},
        {QStringLiteral("hash-iterations"),
         QStringLiteral("PBKDF2 iterations for passwords stored from now on (default 100000)."),
         QStringLiteral("N")},
        {QStringLiteral("add-account"),
         QStringLiteral("Create an account (password read from standard input) and exit."),
         QStringLiteral("NAME")},
        {QStringLiteral("remove-account"), QStringLiteral("Delete an account and exit."),
         QStringLiteral("NAME")},
        {QStringLiteral("add-server"),
         QStringLiteral("List a game server (with --address, --port, --owner, --players, "
                        "--offline) and exit."),
         QStringLiteral("NAME")},
        {QStringLiteral("address"), QStringLiteral("Address of the server for --add-server."),
         QStringLiteral("IP")},
        {QStringLiteral("port"), QStringLiteral("Port of the server for --add-server (5750)."),
         QStringLiteral("PORT")},
        {QStringLiteral("owner"), QStringLiteral("Account shown as administrator."),
         QStringLiteral("NAME")},
        {QStringLiteral("players"), QStringLiteral("Players shown for --add-server (0)."),
         QStringLiteral("N")},
        {QStringLiteral("offline"), QStringLiteral("List the --add-server server as offline.")},
        {QStringLiteral("remove-server"), QStringLiteral("Remove a listed server and exit."),
         QStringLiteral("SLOT")},
        {QStringLiteral("list"), QStringLiteral("Print the accounts and servers and exit.")},
    });
}

// The serving settings of the command line; `error` tells what was out of range.
RegistryServerSettings readSettings(const QCommandLineParser &parser, int &iterations,
                                    std::string &error)
{
    RegistryServerSettings settings;
    iterations = AccountStore::kDefaultIterations;
    if (auto v = intOption(parser, QStringLiteral("max-connections"), 1, 100000, error))
        settings.maxConnections = *v;
    if (auto v = intOption(parser, QStringLiteral("flood-limit"), 5, 100000, error))
        settings.floodPackets = *v;
    if (auto v = intOption(parser, QStringLiteral("ping-interval"), 1, 86400, error))
        settings.pingIntervalMs = std::int64_t{*v} * 1000;
    if (auto v = intOption(parser, QStringLiteral("idle-timeout"), 10, 86400, error))
        settings.idleTimeoutMs = std::int64_t{*v} * 1000;
    if (auto v = intOption(parser, QStringLiteral("hash-iterations"), 1000, 10000000, error))
        iterations = *v;
    settings.allowDuplicateMachines = parser.isSet(QStringLiteral("allow-same-machine"));
    settings.maintenance = parser.isSet(QStringLiteral("maintenance"));
    return settings;
}

int addAccount(const QCommandLineParser &parser, AccountStore &accounts)
{
    const QByteArray name = bytesOf(parser.value(QStringLiteral("add-account")));
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    switch (accounts.create(name.toStdString(), password)) {
    case AccountStore::CreateResult::Created:
        std::printf("Account %s created.\n", name.constData());
        return 0;
    case AccountStore::CreateResult::Exists:
        return fail("the account " + name.toStdString() + " exists already");
    case AccountStore::CreateResult::Invalid:
        return fail("names have 3 to 15 characters and start with a letter; passwords "
                    "3 to 64 characters (give the password on standard input)");
    case AccountStore::CreateResult::StorageFailed:
        break;
    }
    return fail("cannot write the accounts file");
}

int removeAccount(const QCommandLineParser &parser, AccountStore &accounts)
{
    const QByteArray name = bytesOf(parser.value(QStringLiteral("remove-account")));
    if (!accounts.remove(name.toStdString()))
        return fail("no such account, or the accounts file cannot be written");
    std::printf("Account %s removed.\n", name.constData());
    return 0;
}

int addServer(const QCommandLineParser &parser, ServerDirectory &directory)
{
    std::string error;
    ListedServer server;
    server.name = bytesOf(parser.value(QStringLiteral("add-server"))).toStdString();
    server.address = bytesOf(parser.value(QStringLiteral("address"))).toStdString();
    server.owner = bytesOf(parser.value(QStringLiteral("owner"))).toStdString();
    server.online = !parser.isSet(QStringLiteral("offline"));
    if (auto v = intOption(parser, QStringLiteral("port"), 1, 65535, error))
        server.port = static_cast<std::uint16_t>(*v);
    if (auto v = intOption(parser, QStringLiteral("players"), 0, 255, error))
        server.players = static_cast<std::uint8_t>(*v);
    if (!error.empty())
        return fail(error);
    switch (directory.add(server)) {
    case ServerDirectory::AddResult::Added:
        std::printf("Server %s listed in slot %d.\n", server.name.c_str(), server.index);
        return 0;
    case ServerDirectory::AddResult::Full:
        return fail("all 30 slots are taken");
    case ServerDirectory::AddResult::NameTaken:
        return fail("a server of that name is listed already");
    case ServerDirectory::AddResult::OwnerHasServer:
        return fail("that owner has a server listed already");
    case ServerDirectory::AddResult::Invalid:
        return fail("names have 3 to 40 characters; --address needs 7 to 64 letters, digits, "
                    "\".\", \"-\" or \":\"");
    case ServerDirectory::AddResult::StorageFailed:
        break;
    }
    return fail("cannot write the servers file");
}

int removeServer(const QCommandLineParser &parser, ServerDirectory &directory)
{
    bool ok = false;
    const int slot = parser.value(QStringLiteral("remove-server")).toInt(&ok);
    if (!ok || !directory.remove(slot))
        return fail("no server in that slot, or the servers file cannot be written");
    std::printf("Server in slot %d removed.\n", slot);
    return 0;
}

int list(const AccountStore &accounts, const ServerDirectory &directory)
{
    std::printf("Accounts (%zu):\n", accounts.size());
    for (const auto &name : accounts.names())
        std::printf("  %s\n", Printable(name).c_str());
    std::printf("Servers:\n");
    for (const auto &s : directory.all())
        std::printf("  %2d  %-7s %3d players  %s  %s:%d  (%s)\n", s.index,
                    s.online ? "online" : "offline", s.players, Printable(s.name).c_str(),
                    Printable(s.address).c_str(), s.port, Printable(s.owner).c_str());
    return 0;
}

// Administration: acts on the data folder and gives the exit code, or nothing to serve.
std::optional<int> administer(const QCommandLineParser &parser, AccountStore &accounts,
                              ServerDirectory &directory)
{
    if (parser.isSet(QStringLiteral("add-account")))
        return addAccount(parser, accounts);
    if (parser.isSet(QStringLiteral("remove-account")))
        return removeAccount(parser, accounts);
    if (parser.isSet(QStringLiteral("add-server")))
        return addServer(parser, directory);
    if (parser.isSet(QStringLiteral("remove-server")))
        return removeServer(parser, directory);
    if (parser.isSet(QStringLiteral("list")))
        return list(accounts, directory);
    return std::nullopt;
}

int serve(const QHostAddress &address, quint16 port, const QString &dataDir,
          const RegistryServerSettings &settings, AccountStore &accounts,
          ServerDirectory &directory)
{
    common::SteadyClock clock;
    ServerHost host(PrintLogLine);
    RegistryServerCore core({clock, host, accounts, directory, PrintLogLine}, settings);
    host.setHandler(&core);
    QString listenError;
    if (!host.listen(address, port, &listenError))
        return fail("cannot listen on " + address.toString().toStdString() + ":" +
                    std::to_string(port) + ": " + listenError.toStdString());
    common::QtCoreTimer timer(core, clock);
    QuitOnSignals();
    PrintLogLine("Registry server listening on " + address.toString().toStdString() + ":" +
                 std::to_string(host.port()) + " (data in " +
                 QDir(dataDir).absolutePath().toStdString() + ", " +
                 std::to_string(accounts.size()) + " accounts, " +
                 std::to_string(directory.all().size()) + " servers" +
                 (settings.maintenance ? ", maintenance mode" : "") + ")");
    const int rc = QCoreApplication::exec();
    host.setHandler(nullptr);
    return rc;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("RegistryServer"));
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(app);

    std::string error;
    int iterations = 0;
    const RegistryServerSettings settings = readSettings(parser, iterations, error);
    if (!error.empty())
        return fail(error);

    QHostAddress address(QHostAddress::LocalHost);
    quint16 port = 2600;
    if (!ParseListenAddress(parser.value(QStringLiteral("listen")), address, port))
        return fail("--listen needs HOST:PORT, for example 0.0.0.0:2600");

    const QString dataDir = parser.value(QStringLiteral("data"));
    if (!QDir().mkpath(dataDir))
        return fail("cannot create the data folder " + dataDir.toStdString());
    // One process at a time owns the data folder: a second server, or an administration
    // command while the server runs, would overwrite the other's changes.
    QLockFile lock(QDir(dataDir).filePath(QStringLiteral("registry.lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0))
        return fail("the data folder " + dataDir.toStdString() +
                    " is in use by another RegistryServer; stop it first");
    AccountStore accounts(QDir(dataDir).filePath(QStringLiteral("accounts.txt")).toStdString(),
                          iterations);
    ServerDirectory directory(QDir(dataDir).filePath(QStringLiteral("servers.txt")).toStdString());
    std::vector<std::string> warnings;
    if (!accounts.load(error, warnings) || !directory.load(error, warnings))
        return fail(error);
    for (const auto &w : warnings)
        PrintLogLine("WARNING: " + w);

    if (const std::optional<int> rc = administer(parser, accounts, directory))
        return *rc;
    return serve(address, port, dataDir, settings, accounts, directory);
}
