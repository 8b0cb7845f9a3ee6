// How much processor time the Windows programs use under wine while they wait with nothing
// to do. Each program is started under wine against a server on 127.0.0.1 that takes the
// connection and then stays silent; once it is connected and settled, the CPU time of its
// process and of the prefix's wineserver is read from /proc over the measuring time.
//   build/bin/bench_wine_idle [seconds]     (TALMORA_WINDOWS_BIN: the Windows build's bin)
// Run it on a display (xvfb-run -a). Target: well under 1 % of one core.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <optional>

namespace {

void runFor(int ms, const std::function<bool()> &until = {})
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && !(until && until()))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
}

// User plus system time of a process in clock ticks.
std::optional<long long> cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    // Fields after the parenthesised name: state is the 3rd, utime the 14th, stime the 15th.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    return fields[11].toLongLong() + fields[12].toLongLong();
}

// The wineserver that serves `prefix`.
qint64 wineserverOf(const QString &prefix)
{
    const QString wanted = QDir::cleanPath(QDir(prefix).absolutePath());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("wineserver"))
            continue;
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (environ.open(QIODevice::ReadOnly)) {
            for (const QByteArray &variable : environ.readAll().split('\0'))
                if (variable.startsWith("WINEPREFIX=") &&
                    QDir::cleanPath(QString::fromLocal8Bit(variable.mid(11))) == wanted)
                    return pid;
        }
    }
    return 0;
}

double percent(long long ticks, double seconds)
{
    return 100.0 * static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds;
}

// Starts `program` of the Windows build under wine with `arguments` in a folder of its own,
// waits until `ready` holds and for a settling second, then measures.
int measure(const QString &name, const QString &program, const QStringList &arguments,
            const std::function<bool()> &ready, int seconds)
{
    const QString bin = qEnvironmentVariable("TALMORA_WINDOWS_BIN");
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    if (prefix.isEmpty())
        prefix = bin + QStringLiteral("/../wineprefix");
    QTemporaryDir folder;
    const QString copy = folder.filePath(program);
    if (!QFile::copy(bin + "/" + program, copy)) {
        std::fprintf(stderr, "%s: %s not found in TALMORA_WINDOWS_BIN\n", qPrintable(name),
                     qPrintable(program));
        return 1;
    }
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), prefix);
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(folder.path());
    process.start(QStringLiteral("/usr/lib/wine/wine64"), QStringList{copy} + arguments);
    runFor(90000, [&] { return ready() || process.state() == QProcess::NotRunning; });
    if (!ready()) {
        std::fprintf(stderr, "%s: did not get ready\n", qPrintable(name));
        return 1;
    }
    runFor(1000);
    const qint64 pid = process.processId();
    const qint64 server = wineserverOf(prefix);

    const auto programBefore = cpuTicks(pid);
    const auto serverBefore = cpuTicks(server);
    QElapsedTimer wall;
    wall.start();
    runFor(seconds * 1000);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
    const auto programAfter = cpuTicks(pid);
    const auto serverAfter = cpuTicks(server);
    process.kill();
    process.waitForFinished(5000);
    if (!programBefore || !programAfter) {
        std::fprintf(stderr, "%s: its process ended while measuring\n", qPrintable(name));
        return 1;
    }
    // One clock tick is 10 ms: over 10 s the figures move in steps of 0.1 %.
    std::printf("%s idle over %.1f s: %.2f %% of one core (%lld ticks)", qPrintable(name), elapsed,
                percent(*programAfter - *programBefore, elapsed), *programAfter - *programBefore);
    if (serverBefore && serverAfter)
        std::printf(", wineserver %.2f %% (%lld ticks)",
                    percent(*serverAfter - *serverBefore, elapsed), *serverAfter - *serverBefore);
    else
        std::printf(", wineserver not found");
    std::printf("\n");
    return 0;
}

// The Updater connected to a server that answers nothing: it waits for the file list.
int updaterIdle(int seconds)
{
    QTcpServer silent;
    silent.listen(QHostAddress::LocalHost, 0);
    QTcpSocket *connection = nullptr;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        connection = silent.nextPendingConnection();
        QObject::connect(connection, &QTcpSocket::readyRead, [&] { connection->readAll(); });
    });
    return measure(
        QStringLiteral("Updater.exe"), QStringLiteral("Updater.exe"),
        {QStringLiteral("127.0.0.1"), QString::number(silent.serverPort())},
        [&] { return connection != nullptr; }, seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 10;
    if (qEnvironmentVariable("TALMORA_WINDOWS_BIN").isEmpty()) {
        std::fprintf(stderr, "set TALMORA_WINDOWS_BIN to the Windows build's bin folder\n");
        return 2;
    }
    int failures = 0;
    failures += updaterIdle(seconds);
    return failures == 0 ? 0 : 1;
}
