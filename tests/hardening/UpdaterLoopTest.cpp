// The Updater as the program wires it (real socket adapter, background writer, version
// workers, window on the offscreen platform) against a scripted update server on loopback that
// pushes files which unpack large. A heartbeat timer in the same event loop measures how long
// the loop was held at a time: file work must never hold it.

#include "common/Codec.h"
#include "tests/hardening/Heartbeat.h"
#include "tests/hardening/UpdaterRig.h"
#include "tests/support/ScriptedPeer.h"
#include "updater/files/Packing.h"
#include "updater/flow/Launcher.h"
#include "updater/qt/UpdaterProgram.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

namespace {

using common::Bytes;

using updatertest::byteOf;
using updatertest::packet;

QByteArray qbytes(const Bytes &b)
{
    return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
}

// The complete, non-empty packet bodies that `received` holds once `bytes` are added.
std::vector<Bytes> cutBodies(Bytes &received, const QByteArray &bytes)
{
    received.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    std::vector<Bytes> bodies;
    while (received.size() >= 2) {
        const auto n = static_cast<std::size_t>(common::DecodeLength(received));
        if (received.size() < n + 2)
            break;
        if (n > 0)
            bodies.push_back(received.substr(2, n));
        received.erase(0, n + 2);
    }
    return bodies;
}

// FileCount, a FileInfo for each of the entries `first` to `last` (named `stem` and the
// index, version the index) and FileListEnd.
Bytes fileList(int first, int last, const std::string &stem)
{
    Bytes list = packet(2, byteOf(last - first + 1));
    for (int i = first; i <= last; ++i)
        list += packet(3, byteOf(i) + common::EncodeLong(i) + stem + std::to_string(i) +
                              Bytes(1, '\0'));
    return list + packet(4);
}

class NoLauncher final : public updater::ProgramLauncher
{
public:
    bool start(const Bytes &, const std::string &) override { return false; }
};

TEST(UpdaterLoop, FilesThatUnpackLargeNeverHoldTheWindowsThread)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    std::ofstream(folder + "/zlib.dll") << "zlib";

    // Three files of 256 MiB once unpacked, a few hundred KiB on the wire each: every one
    // takes the writer longer than the next takes to arrive.
    constexpr std::size_t kUnpacked = std::size_t{256} << 20;
    const Bytes bomb = updater::PackedMarker() + updater::Pack(Bytes(kUnpacked, '\0'));
    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    Bytes received;
    peer.onData = [&](const QByteArray &bytes) {
        for (const Bytes &body : cutBodies(received, bytes)) {
            if (body[0] == 0) {
                peer.send(qbytes(fileList(2, 4, "bomb")));
            } else if (body[0] == 1 && body.size() >= 2) {
                const int index = common::byteAt(body, 1);
                peer.send(qbytes(
                    packet(5, byteOf(index) + common::EncodeLong(static_cast<int>(bomb.size()))) +
                    bomb));
            }
        }
    };

    NoLauncher launcher;
    updater::QtUpdaterProgram program(folder, {"127.0.0.1", std::to_string(peer.port())}, launcher);
    // The hand-over only notes its end here: ending the application would end the loops of
    // the tests that follow in this process.
    bool ended = false;
    program.window().onEnd = [&] { ended = true; };
    hardening::Heartbeat heartbeat;
    heartbeat.start();
    program.start();
    ASSERT_TRUE(peer.waitUntil([&] { return ended; }, 120000));

    for (int i = 2; i <= 4; ++i)
        EXPECT_EQ(std::filesystem::file_size(folder + "/Client/bomb" + std::to_string(i)),
                  kUnpacked);
    std::cout << "longest gap " << heartbeat.longestMs() << " ms, busy "
              << heartbeat.longestBusyMs() << " ms over " << heartbeat.beats() << " beats\n";
#if defined(__SANITIZE_ADDRESS__)
    // Instrumented code runs several times slower; the times mean something only in the
    // optimized build, which runs this same test.
    GTEST_SKIP() << "the loop's times are checked in the optimized build";
#endif
    // Busy: processor time of the loop's thread between two beats. The gap in wall-clock
    // time also counts waiting (for the writer, say), but on a shared machine it includes
    // scheduling too, hence the wider bound.
    EXPECT_LE(heartbeat.longestBusyMs(), 100.0);
    EXPECT_LE(heartbeat.longestMs(), 1000.0);
}

// Closing the window while a large file is being written starts the program at once; the
// file is completed after the start, never left half-written, and no temporary file remains.
TEST(UpdaterLoop, ClosingDuringALargeWriteStartsTheProgramFirst)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    std::filesystem::create_directories(folder + "/Client");
    std::ofstream(folder + "/zlib.dll") << "zlib";
    std::ofstream(folder + "/Client/next.sh") << "#!/bin/sh\n";
    std::ofstream(folder + "/Settings.ini")
        << "[Client]\nLaunch Application File=" << folder << "/Client/next.sh\n";
    constexpr std::size_t kUnpacked = std::size_t{64} << 20;
    const Bytes big = updater::PackedMarker() + updater::Pack(Bytes(kUnpacked, 'x'));

    testsupport::ScriptedPeer peer;
    ASSERT_TRUE(peer.isListening());
    updater::QtUpdaterProgram *running = nullptr;
    Bytes received;
    peer.onData = [&](const QByteArray &bytes) {
        for (const Bytes &body : cutBodies(received, bytes)) {
            if (body[0] == 0) {
                peer.send(qbytes(fileList(2, 3, "file")));
            } else if (body[0] == 1 && body.size() >= 2 && common::byteAt(body, 1) == 2) {
                peer.send(qbytes(
                    packet(5, byteOf(2) + common::EncodeLong(static_cast<int>(big.size()))) + big));
            } else if (body[0] == 1) {
                // The large file is complete and with the writer: the player closes the window.
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(), [&] { running->window().close(); },
                    Qt::QueuedConnection);
            }
        }
    };

    // The large file's write is held just before it replaces the target until the program
    // has been started (or a while has passed, if the hand-over waited for it).
    std::mutex mutex;
    std::condition_variable wake;
    bool started = false;
    bool bigWritten = false;
    class TellingLauncher final : public updater::ProgramLauncher
    {
    public:
        std::function<void()> onStart;
        bool start(const Bytes &, const std::string &) override
        {
            onStart();
            return true;
        }
    } launcher;
    bool startedBeforeBigFile = false;
    launcher.onStart = [&] {
        std::lock_guard lock(mutex);
        startedBeforeBigFile = !bigWritten;
        started = true;
        wake.notify_all();
    };
    {
        updater::QtUpdaterProgram program(folder, {"127.0.0.1", std::to_string(peer.port())},
                                          launcher);
        running = &program;
        bool ended = false;
        program.window().onEnd = [&] { ended = true; };
        program.store().setPathFaultHook([&](updater::WriteStep step, const std::string &path) {
            if (step == updater::WriteStep::Rename && path.find("file2") != std::string::npos) {
                std::unique_lock lock(mutex);
                wake.wait_for(lock, std::chrono::seconds(10), [&] { return started; });
                bigWritten = true;
            }
            return true;
        });
        program.start();
        ASSERT_TRUE(peer.waitUntil([&] { return ended; }, 60000));
        EXPECT_TRUE(startedBeforeBigFile);
    }
    const std::string bigPath = folder + "/Client/file2";
    if (std::filesystem::exists(bigPath)) {
        EXPECT_EQ(std::filesystem::file_size(bigPath), kUnpacked);
    }
    EXPECT_FALSE(std::filesystem::exists(folder + "/Client/file3"));
    EXPECT_EQ(hardening::temporaryFiles(folder), std::vector<std::string>{});
}

} // namespace
