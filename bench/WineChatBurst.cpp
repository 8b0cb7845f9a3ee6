// Registry.exe under wine, flooded with chat by a registry server on 127.0.0.1 that this
// program plays: bursts of ChatLine packets, each followed by a ServerPing, sent right after
// one of the program's own keep-alives (so the next one is 5 s away and the first keep-alive
// after the burst is the ping's answer). Reported: how long after the burst was handed to the
// socket the answer came, the processor time of the program's process meanwhile, the longest
// pass of its message loop during the 50,000-line burst (tests/e2e_wine/LoopProbe.cpp, run
// beside it), the resident memory 100,000 lines add, and the time of 1,000 lines on a short
// and on a long log.
//   TALMORA_WINDOWS_BIN=build-windows-x86/bin xvfb-run -a build/bin/bench_wine_chat_burst
// TALMORA_WINE names the loader (default /usr/lib/wine/wine; wine64 for the 64-bit build).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <unistd.h>

#include <cstdio>
#include <functional>

namespace {

const QByteArray kLine = "Ostrik: the harbour gate on Riverside Keep is open again";

bool runUntil(int ms, const std::function<bool()> &until)
{
    QElapsedTimer timer;
    timer.start();
    while (!until() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return until();
}

QByteArray packet(const QByteArray &body)
{
    QByteArray framed;
    framed.append(static_cast<char>(body.size() >> 8));
    framed.append(static_cast<char>(body.size() & 0xFF));
    return framed + body;
}

double processorSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() < 13
               ? 0
               : static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong()) /
                     static_cast<double>(sysconf(_SC_CLK_TCK));
}

double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

struct Client
{
    QTcpSocket *socket = nullptr;
    QByteArray received;
    int keepAlives = 0;

    // Counts the keep-alives among the packets the program sends (length, check, body).
    void read()
    {
        received += socket->readAll();
        while (received.size() >= 3) {
            const int length = (static_cast<unsigned char>(received[0]) << 8) |
                               static_cast<unsigned char>(received[1]);
            if (received.size() < 3 + length)
                break;
            if (length == 1 && received[3] == '\2')
                ++keepAlives;
            received.remove(0, 3 + length);
        }
    }
};

struct Burst
{
    double answerMs = -1;
    double processorS = 0;
    double longestPassMs = -1;
};

class Bench
{
public:
    Bench(QString wine, QString bin, QString prefix)
        : m_wine(std::move(wine)), m_bin(std::move(bin)), m_prefix(std::move(prefix))
    {
    }

    ~Bench()
    {
        m_program.kill();
        m_program.waitForFinished(5000);
    }

    bool start();
    Burst burst(int lines, bool probe);
    qint64 pid() const { return m_program.processId(); }

private:
    void startWine(QProcess &process, const QString &program, const QStringList &arguments);

    QString m_wine, m_bin, m_prefix;
    QTemporaryDir m_folder;
    QTcpServer m_server;
    QProcess m_program;
    Client m_client;
};

void Bench::startWine(QProcess &process, const QString &program, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), m_prefix);
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_folder.path());
    process.start(m_wine, QStringList{program} + arguments);
}

bool Bench::start()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    const QString copy = m_folder.filePath(QStringLiteral("Registry.exe"));
    if (!QFile::copy(m_bin + QStringLiteral("/Registry.exe"), copy))
        return false;
    startWine(
        m_program, copy,
        {QStringLiteral("--server"), QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort())});
    if (!runUntil(90000, [&] { return m_server.hasPendingConnections(); }))
        return false;
    m_client.socket = m_server.nextPendingConnection();
    QObject::connect(m_client.socket, &QTcpSocket::readyRead, [this] { m_client.read(); });
    return true;
}

Burst Bench::burst(int lines, bool probe)
{
    QByteArray data;
    const QByteArray chat = packet("\x07" + kLine);
    for (int i = 0; i < lines; ++i)
        data += chat;
    data += packet(QByteArray("\x04", 1));
    Burst result;
    QProcess prober;
    if (probe) {
        startWine(prober, m_bin + QStringLiteral("/loop_probe.exe"), {QStringLiteral("12000")});
        if (!runUntil(60000, [&] { return prober.canReadLine(); }))
            return result;
    }
    // Right after a keep-alive of the program's own.
    const int before = m_client.keepAlives;
    if (!runUntil(10000, [&] { return m_client.keepAlives > before; }))
        return result;
    const int periodic = m_client.keepAlives;
    const double processorBefore = processorSeconds(pid());
    QElapsedTimer since;
    since.start();
    m_client.socket->write(data);
    if (runUntil(60000, [&] { return m_client.keepAlives > periodic; }))
        result.answerMs = static_cast<double>(since.nsecsElapsed()) / 1e6;
    result.processorS = processorSeconds(pid()) - processorBefore;
    if (probe && runUntil(60000, [&] { return prober.state() == QProcess::NotRunning; }))
        for (const QByteArray &line : prober.readAllStandardOutput().split('\n'))
            if (line.startsWith("longest_pass_ms "))
                result.longestPassMs = line.mid(16).toDouble();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString bin = qEnvironmentVariable("TALMORA_WINDOWS_BIN");
    if (bin.isEmpty()) {
        std::fprintf(stderr, "set TALMORA_WINDOWS_BIN to the Windows build's bin folder\n");
        return 2;
    }
    QString wine = qEnvironmentVariable("TALMORA_WINE");
    QString prefix = qEnvironmentVariable("WINEPREFIX");
    Bench bench(wine.isEmpty() ? QStringLiteral("/usr/lib/wine/wine") : wine, bin,
                prefix.isEmpty() ? bin + QStringLiteral("/../wineprefix") : prefix);
    if (!bench.start()) {
        std::fprintf(stderr, "Registry.exe did not connect\n");
        return 1;
    }
    const Burst shortLog = bench.burst(1000, false);
    const double residentBefore = residentMiB(bench.pid());
    const Burst flood = bench.burst(50000, true);
    const Burst unprobed = bench.burst(50000, false);
    const double residentAfter = residentMiB(bench.pid());
    const Burst longLog = bench.burst(1000, false);
    std::printf("50,000 lines and a ping: answered after %.0f ms, %.2f s of processor time, "
                "longest pass of the message loop %.0f ms\n",
                flood.answerMs, flood.processorS, flood.longestPassMs);
    std::printf("50,000 more lines and a ping, without the probe: answered after %.0f ms, %.2f s "
                "of processor time\n",
                unprobed.answerMs, unprobed.processorS);
    std::printf("1,000 lines: %.0f ms on a log of 1,000 lines, %.0f ms on a log of 101,000\n",
                shortLog.answerMs, longLog.answerMs);
    std::printf("resident memory added by 100,000 lines: %.1f MiB\n",
                residentAfter - residentBefore);
    return flood.answerMs < 0 ? 1 : 0;
}
