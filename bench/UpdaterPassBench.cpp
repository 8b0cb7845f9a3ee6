// A whole update pass of the built Updater: 200 files of mixed sizes (about 200 MiB
// unpacked, packed on the wire) served over loopback into an empty game folder, beside plain
// zlib `uncompress` plus writing the same files, in the same run. Also the processor time an
// Updater uses while it waits (connecting, or connected to a server that stopped sending).
// Run in a Release build, on its own:
//   build/bin/bench_updater_pass
#include "common/Codec.h"
#include "updater/files/FileStore.h"
#include "updater/files/Packing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using common::Bytes;

struct CorpusFile
{
    int index;
    Bytes name;
    Bytes folder;
    std::size_t size;
    Bytes wire; // marker & packed form
    std::int32_t version;
};

Bytes byteOf(int v)
{
    return Bytes(1, static_cast<char>(static_cast<unsigned char>(v)));
}

Bytes packet(int type, const Bytes &fields = {})
{
    return *common::BuildPacket(byteOf(type) + fields, common::PacketKind::Plain);
}

// Game-file-like content that compresses about 3:1.
Bytes makeContent(std::size_t size, std::mt19937 &gen)
{
    static const char *const words[] = {"sword", "shield", "potion", "Talmora", "north",
                                        "gate",  "guard",  "level",  "spawn",   "merchant",
                                        "quest", "map",    "tile",   "dungeon", "gold"};
    Bytes out;
    out.reserve(size + 64);
    while (out.size() < size) {
        if (gen() % 8 == 0) {
            for (int i = 0; i < 48; ++i)
                out.push_back(static_cast<char>(gen() & 0xFF));
        } else {
            out += words[gen() % std::size(words)];
            out += ' ';
            out += std::to_string(gen() % 10000);
            out += (gen() % 4 == 0) ? "\r\n" : ", ";
        }
    }
    out.resize(size);
    return out;
}

// 10 files of 8 MiB, 40 of 2 MiB and 150 of about 273 KiB: 200 files, about 200 MiB.
const std::vector<CorpusFile> &corpus()
{
    static const std::vector<CorpusFile> files = [] {
        std::vector<CorpusFile> out;
        std::mt19937 gen(20261207);
        for (int i = 0; i < 200; ++i) {
            std::size_t size = i < 10 ? (8u << 20) : i < 50 ? (2u << 20) : (273u << 10) + i;
            CorpusFile f;
            f.index = i + 2;
            f.name = "file" + std::to_string(i) + ".dat";
            f.folder = "Data\\Set" + std::to_string(i % 4) + "\\";
            f.size = size;
            const Bytes content = makeContent(size, gen);
            f.wire = updater::PackedMarker() + updater::Pack(content);
            f.version = common::ByteSum(f.wire);
            out.push_back(std::move(f));
        }
        return out;
    }();
    return files;
}

// The costliest sequence for memory, each file `size` bytes unpacked: an uncompressible file
// sent packed (packed and unpacked both held while it is written), a raw file arriving while
// the first is written, then a packed bomb (small on the wire, `size` once unpacked).
std::vector<CorpusFile> worstCaseCorpus(std::size_t size)
{
    std::vector<CorpusFile> out;
    std::mt19937 gen(7);
    Bytes random(size, '\0');
    for (auto &c : random)
        c = static_cast<char>(gen());
    const Bytes contents[] = {random, random, Bytes(size, '\0')};
    for (int i = 0; i < 3; ++i) {
        CorpusFile f;
        f.index = i + 2;
        f.name = "worst" + std::to_string(i) + ".dat";
        f.size = size;
        f.wire = i == 1 ? contents[i] : updater::PackedMarker() + updater::Pack(contents[i]);
        // A version the wire can carry (the sum of a large file passes 2^31); the game folder
        // is empty, so every file is fetched whatever its version.
        f.version = i + 1;
        out.push_back(std::move(f));
    }
    return out;
}

std::size_t largestFile(const std::vector<CorpusFile> &files = corpus())
{
    std::size_t largest = 0;
    for (const auto &f : files)
        largest = std::max(largest, f.size);
    return largest;
}

// Serves the corpus to one Updater from a thread of its own with blocking sockets, so the
// server side costs as little as loopback allows: the list on the version check, each file
// on request. With `silent` it accepts the connection and never answers.
class CorpusServer
{
public:
    explicit CorpusServer(bool silent = false, const std::vector<CorpusFile> &files = corpus())
        : m_silent(silent), m_files(files)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(m_listener, 4);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~CorpusServer()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        const int connection = m_connection.load();
        if (connection >= 0)
            ::shutdown(connection, SHUT_RDWR);
        m_thread.join();
    }
    quint16 port() const { return m_port; }

private:
    void serve()
    {
        const int connection = ::accept(m_listener, nullptr, nullptr);
        if (connection < 0)
            return;
        m_connection = connection;
        Bytes buffer;
        char chunk[4096];
        for (;;) {
            const ssize_t got = ::recv(connection, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            if (m_silent)
                continue;
            buffer.append(chunk, static_cast<std::size_t>(got));
            while (buffer.size() >= 2) {
                const std::size_t n = common::DecodeLength(buffer);
                if (buffer.size() < n + 2)
                    break;
                const Bytes body = buffer.substr(2, n);
                buffer.erase(0, n + 2);
                if (body.empty())
                    continue;
                if (body[0] == 0)
                    sendAll(connection, list());
                else if (body[0] == 1 && body.size() >= 2)
                    sendFile(connection, common::byteAt(body, 1));
            }
        }
        m_connection = -1;
        ::close(connection);
    }
    static void sendAll(int connection, common::ByteView bytes)
    {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                return;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
    }
    Bytes list() const
    {
        Bytes out = packet(2, byteOf(static_cast<int>(m_files.size())));
        std::vector<Bytes> folders;
        for (const auto &f : m_files) {
            if (!f.folder.empty() &&
                std::find(folders.begin(), folders.end(), f.folder) == folders.end()) {
                folders.push_back(f.folder);
                out += packet(1, byteOf(static_cast<int>(folders.size())) + f.folder);
            }
        }
        for (const auto &f : m_files) {
            Bytes fields = byteOf(f.index);
            fields.append(common::EncodeLong(f.version));
            fields.append(f.name);
            fields.push_back('\0');
            fields.append(f.folder);
            out += packet(3, fields);
        }
        out += packet(4);
        return out;
    }
    void sendFile(int connection, int index) const
    {
        const CorpusFile &f = m_files[static_cast<std::size_t>(index - 2)];
        Bytes fields = byteOf(index);
        fields.append(common::EncodeLong(static_cast<std::int32_t>(f.wire.size())));
        sendAll(connection, packet(5, fields));
        sendAll(connection, f.wire);
    }

    bool m_silent;
    const std::vector<CorpusFile> &m_files;
    int m_listener = -1;
    std::atomic<int> m_connection{-1};
    quint16 m_port = 0;
    std::thread m_thread;
};

std::string updaterBinary()
{
    return TALMORA_UPDATER_BINARY;
}

// A fresh game folder with the Updater and zlib.dll in place.
struct GameFolder
{
    QTemporaryDir dir;
    std::string path = dir.path().toStdString();
    GameFolder()
    {
        QFile::copy(QString::fromStdString(updaterBinary()),
                    QString::fromStdString(path + "/Updater"));
        std::ofstream(path + "/zlib.dll") << "zlib";
    }
};

// Lets the event loop run (sleeping while nothing happens) until `done` or the limit.
void runUntil(const std::function<bool()> &done, int limitMs)
{
    QTimer tick; // wakes the loop to look at `done` again
    tick.start(20);
    QObject::connect(&tick, &QTimer::timeout, [] {});
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double cpuSeconds(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), {});
    const auto close = all.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// VmHWM of a running process in KiB (0 once it is gone).
long long peakResidentKiB(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    }
    return 0;
}

QProcessEnvironment offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

void BM_ZlibUncompressAndWrite(benchmark::State &state)
{
    corpus();
    for (auto _ : state) {
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        for (int i = 0; i < 4; ++i)
            fs::create_directories(root + "/Data/Set" + std::to_string(i));
        const auto start = std::chrono::steady_clock::now();
        for (const auto &f : corpus()) {
            Bytes out(f.size, '\0');
            uLongf length = static_cast<uLongf>(f.size);
            const auto *src = reinterpret_cast<const Bytef *>(f.wire.data() + 9);
            uncompress(reinterpret_cast<Bytef *>(out.data()), &length, src,
                       static_cast<uLong>(f.wire.size() - 9));
            Bytes local = f.folder + f.name;
            std::replace(local.begin(), local.end(), '\\', '/');
            std::FILE *file = std::fopen((root + "/" + local).c_str(), "wb");
            std::fwrite(out.data(), 1, length, file);
            std::fflush(file);
            if (state.range(0) != 0)
                ::fsync(::fileno(file));
            std::fclose(file);
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(state.iterations() * 200 * (1 << 20));
}
BENCHMARK(BM_ZlibUncompressAndWrite)
    ->ArgName("fsync")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Runs the Updater of `game` against a server on `port` until it ends. Returns the seconds it
// took and raises `peakKiB` to the high-water mark of its resident memory.
double runPass(const GameFolder &game, quint16 port, long long &peakKiB)
{
    QProcess process;
    process.setProcessEnvironment(offscreen());
    const auto start = std::chrono::steady_clock::now();
    QStringList arguments = {QString::fromStdString(game.path + "/Updater"),
                             QStringLiteral("127.0.0.1"), QString::number(port)};
    // TALMORA_BENCH_WRAPPER, when set, is put in front (a profiler, for example).
    const QString wrapper = qEnvironmentVariable("TALMORA_BENCH_WRAPPER");
    if (!wrapper.isEmpty())
        arguments = wrapper.split(u' ', Qt::SkipEmptyParts) + arguments;
    process.start(arguments.takeFirst(), arguments);
    process.waitForStarted();
    const qint64 pid = process.processId();
    runUntil(
        [&] {
            peakKiB = std::max(peakKiB, peakResidentKiB(pid));
            return process.state() == QProcess::NotRunning;
        },
        600000);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_UpdatePass(benchmark::State &state)
{
    corpus();
    long long peakKiB = 0;
    for (auto _ : state) {
        GameFolder game;
        CorpusServer server;
        state.SetIterationTime(runPass(game, server.port(), peakKiB));
        std::size_t written = 0;
        for (const auto &f : corpus()) {
            Bytes local = f.folder + f.name;
            std::replace(local.begin(), local.end(), '\\', '/');
            std::error_code ec;
            if (fs::file_size(game.path + "/Client/" + local, ec) == f.size)
                ++written;
        }
        if (written != corpus().size())
            state.SkipWithError("not every file was written");
    }
    const double peakMiB = static_cast<double>(peakKiB) / 1024.0;
    const double largestMiB = static_cast<double>(largestFile()) / (1 << 20);
    state.counters["peak_MiB"] = peakMiB;
    state.counters["limit_MiB"] = 3 * largestMiB + 64;
    state.SetBytesProcessed(state.iterations() * 200 * (1 << 20));
}
BENCHMARK(BM_UpdatePass)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Peak resident memory of an Updater through the worst-case sequence (argument: MiB per
// file), against the promise of three times the largest file plus 64 MiB.
void BM_WorstCaseMemory(benchmark::State &state)
{
    const std::size_t size = static_cast<std::size_t>(state.range(0)) << 20;
    const std::vector<CorpusFile> files = worstCaseCorpus(size);
    long long peakKiB = 0;
    for (auto _ : state) {
        GameFolder game;
        CorpusServer server(false, files);
        state.SetIterationTime(runPass(game, server.port(), peakKiB));
        for (const auto &f : files) {
            std::error_code ec;
            const auto got = fs::file_size(game.path + "/Client/" + f.name, ec);
            if (ec || got != f.size) {
                const std::string why = f.name + " has " + std::to_string(ec ? -1 : got) +
                                        " bytes, not " + std::to_string(f.size);
                state.SkipWithError(why.c_str());
            }
        }
    }
    state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
    state.counters["limit_MiB"] = 3.0 * static_cast<double>(state.range(0)) + 64;
}
BENCHMARK(BM_WorstCaseMemory)
    ->Arg(256)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Processor time over 4 s of waiting: 0 = connecting (nothing listens), 1 = connected to a
// server that never answers.
void BM_WaitingCpu(benchmark::State &state)
{
    for (auto _ : state) {
        GameFolder game;
        CorpusServer silent(true);
        quint16 port = silent.port();
        if (state.range(0) == 0) {
            QTcpServer probe;
            probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
            port = probe.serverPort();
        } // closed again: nothing listens on that port
        QProcess process;
        process.setProcessEnvironment(offscreen());
        process.start(QString::fromStdString(game.path + "/Updater"),
                      {QStringLiteral("127.0.0.1"), QString::number(port)});
        process.waitForStarted();
        runUntil([] { return false; }, 1000); // start-up done
        const double before = cpuSeconds(process.processId());
        runUntil([] { return false; }, 4000);
        const double after = cpuSeconds(process.processId());
        process.kill();
        process.waitForFinished();
        state.SetIterationTime(4.0);
        state.counters["cpu_percent"] = (after - before) / 4.0 * 100.0;
    }
}
BENCHMARK(BM_WaitingCpu)
    ->ArgName("connected")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
