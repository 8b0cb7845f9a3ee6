// Files written while the next one arrives: the core's use of a writer that holds files, and
// the background writer itself on real threads.
#include "tests/updater_flow/CoreTestSupport.h"
#include "updater/flow/FileWriter.h"
#include "updater/flow/VersionComputer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>

namespace fs = std::filesystem;
using namespace updatertest;
using updater::FileError;

namespace {

// Holds every file handed over until the test lets it go; writes through the fixture's
// store, whichever it is by then.
class HeldWriter final : public updater::FileWriter
{
public:
    explicit HeldWriter(std::unique_ptr<updater::FileStore> &store) : m_store(store) {}
    void write(Bytes path, Bytes data, Done done) override
    {
        if (onWrite)
            onWrite();
        held.push_back({std::move(path), std::move(data), std::move(done)});
    }
    void finish() override
    {
        ++finishes;
        while (busy())
            releaseOldest();
    }
    bool busy() const override { return !held.empty(); }
    bool wouldWait(const Bytes &) const override { return held.size() >= capacity; }
    // Reports the oldest file; `workMs` is the time its writing took, -1 for unmeasured.
    void releaseOldest(std::int64_t workMs = -1)
    {
        Held h = std::move(held.front());
        held.pop_front();
        updater::FileContent content = updater::FileContent::Unpack(std::move(h.data));
        const FileError error = m_store->Write(h.path, content);
        h.done(error, content.takeReceived(), workMs);
    }

    struct Held
    {
        Bytes path;
        Bytes data;
        Done done;
    };
    std::deque<Held> held;
    int finishes = 0;
    std::function<void()> onWrite;
    std::size_t capacity = 1000; // files held at once before write() would wait

private:
    std::unique_ptr<updater::FileStore> &m_store;
};

class HeldWrites : public CoreFixture
{
protected:
    void SetUp() override
    {
        CoreFixture::SetUp();
        held = std::make_unique<HeldWriter>(store);
        writer = held.get();
    }
    void TearDown() override { core.reset(); } // before the writer it reports through

    void listTwoFiles()
    {
        connect();
        transport.deliver(fileInfo(2, 1, "a.txt", "") + fileInfo(3, 2, "b.txt", "") + packet(4));
        transport.clearSent();
    }

    std::unique_ptr<HeldWriter> held;
};

TEST_F(HeldWrites, NextFileIsRequestedWhileTheLastIsWrittenAndTheOutcomeIsLoggedWhenReported)
{
    makeCore();
    listTwoFiles();
    transport.deliver(fileData(2, 3) + "aaa");
    // The request for the next file has gone out; the first is still with the writer.
    ASSERT_FALSE(sent().empty());
    EXPECT_EQ(sent().back(), fileRequest(3));
    ASSERT_EQ(held->held.size(), 1u);
    EXPECT_FALSE(fs::exists(client("a.txt")));
    EXPECT_FALSE(logHas("File Updated: a.txt (0 ms)"));

    clock.advance(40);
    held->releaseOldest();
    EXPECT_EQ(readFile(client("a.txt")), "aaa");
    EXPECT_TRUE(logHas("File Updated: a.txt (40 ms)"));

    // The pass ends only once the last file is written: Version.dat lists both.
    transport.deliver(fileData(3, 3) + "bbb");
    EXPECT_FALSE(fs::exists(path("Version.dat")));
    EXPECT_FALSE(logHas("Update Complete (40 ms)"));
    held->releaseOldest();
    EXPECT_EQ(readFile(client("b.txt")), "bbb");
    EXPECT_EQ(readFile(path("Version.dat")),
              updater::VersionRecord(1, "", "a.txt") + updater::VersionRecord(2, "", "b.txt"));
    const auto &log = view.lines;
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "File Updated: b.txt (0 ms)");
    EXPECT_EQ(log.back(), "Update Complete (40 ms)");
    EXPECT_EQ(view.status, "Status: Update Complete");
}

TEST_F(HeldWrites, AFilesTimeIsItsOwnAndTheLogKeepsTheOrderOfTheFiles)
{
    makeCore();
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + fileInfo(3, 2, "b.txt", "") +
                      fileInfo(4, 3, "c.txt", "") + packet(4));
    transport.deliver(fileData(2, 3));
    clock.advance(100);
    transport.deliver("aaa");
    transport.deliver(fileData(3, 3));
    clock.advance(50);
    transport.deliver("bbb");
    ASSERT_EQ(held->held.size(), 2u);
    // c.txt is cut off while both wait for the writer: its line comes after theirs.
    transport.deliver(fileData(4, 3) + "c");
    transport.dropConnection();
    EXPECT_FALSE(logHas("Download Interrupted: c.txt"));
    clock.advance(1000); // waiting behind each other is not the files' own time
    held->releaseOldest(30);
    held->releaseOldest(20);
    const std::vector<Bytes> tail(view.lines.end() - 3, view.lines.end());
    EXPECT_EQ(tail,
              (std::vector<Bytes>{"File Updated: a.txt (130 ms)", "File Updated: b.txt (70 ms)",
                                  "Download Interrupted: c.txt"}));
}

TEST_F(HeldWrites, AFailedWriteReportedLateIsLeftOutOfVersionsAndCountsNothing)
{
    makeCore();
    listTwoFiles();
    fs::create_directories(client("a.txt")); // a folder where the file should go
    transport.deliver(fileData(2, 3) + "aaa");
    transport.deliver(fileData(3, 3) + "bbb");
    held->finish();
    EXPECT_TRUE(logHas("Unable to write file: a.txt"));
    EXPECT_TRUE(logHas("File Updated: b.txt (0 ms)"));
    EXPECT_EQ(readFile(path("Version.dat")), updater::VersionRecord(2, "", "b.txt"));
    EXPECT_EQ(view.lines.back(), "Update Incomplete: 1 file(s) could not be written.");
}

// The final acknowledgement of every file, the Updater's own included, has left before the
// file is written; for a game file the request for the next one too.
TEST_F(HeldWrites, TheFinalAcknowledgementLeavesBeforeTheFileIsWritten)
{
    const Bytes ack3 = common::byteString({0, 6, 2, 0, 0, 0, 0, 3});
    struct Case
    {
        int index;
        Bytes name;
        std::vector<Bytes> sentBeforeWrite;
    };
    const std::vector<Case> cases = {
        {0, "zlib.dll", {ack3}},
        {1, "Updater.dat", {common::byteString({0, 6, 2, 1, 0, 0, 0, 3})}},
        {2, "a.txt", {common::byteString({0, 6, 2, 2, 0, 0, 0, 3}), fileRequest(3)}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        core.reset();
        transport.dropConnection();
        transport.clearSent();
        fs::remove(path("zlib.dll"));
        makeCore();
        connect(c.index != 0);
        if (c.index != 0)
            transport.deliver(fileInfo(1, 1, "", "") + fileInfo(2, 1, "a.txt", "") +
                              fileInfo(3, 2, "b.txt", "") + packet(4));
        std::vector<Bytes> sentAtWrite;
        bool written = false;
        const auto record = [&] {
            const std::vector<Bytes> all = sent();
            if (!written && all.size() >= c.sentBeforeWrite.size())
                sentAtWrite.assign(all.end() - static_cast<long>(c.sentBeforeWrite.size()),
                                   all.end());
            written = true;
        };
        held->onWrite = record;
        store->setPathFaultHook([&](updater::WriteStep, const std::string &) {
            record();
            return true;
        });
        transport.deliver(fileData(c.index, 3) + "xyz");
        ASSERT_TRUE(written);
        EXPECT_EQ(sentAtWrite, c.sentBeforeWrite);
        held->onWrite = nullptr;
        store->setPathFaultHook(nullptr);
    }
}

// Closing starts the program at once; only a program that is itself still with the writer
// is waited for. Files already with the writer are finished after the start, those not yet
// taken are dropped, and an interrupted pass leaves Version.dat alone.
TEST_F(HeldWrites, ClosingStartsTheProgramAtOnceUnlessItIsStillBeingWritten)
{
    struct Case
    {
        const char *name;
        Bytes launchFile;        // in the client folder
        bool writtenBeforeStart; // a.txt is whole when the program starts
    };
    const std::vector<Case> cases = {
        {"another program", "next.sh", false},
        {"the held file itself", "a.txt", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        core.reset();
        transport.dropConnection();
        fs::remove_all(client(""));
        fs::create_directories(client(""));
        fs::remove(path("Version.dat"));
        launcher.started.clear();
        writeFile(client("next.sh"), "#!/bin/sh\n");
        writeFile(path("Settings.ini"),
                  "[Client]\nLaunch Application File=" + folder + "/Client/" + c.launchFile + "\n");
        held->capacity = 1; // b.txt waits for the writer behind a.txt
        makeCore();
        listTwoFiles();
        transport.deliver(fileData(2, 3) + "aaa" + fileData(3, 3) + "bbb");
        ASSERT_EQ(held->held.size(), 1u);
        bool wholeAtStart = false;
        launcher.onStart = [&] { wholeAtStart = fs::exists(client("a.txt")); };
        core->FinishAndLaunch();
        ASSERT_EQ(launcher.started.size(), 1u);
        EXPECT_EQ(launcher.started[0], client(c.launchFile));
        EXPECT_EQ(wholeAtStart, c.writtenBeforeStart);
        EXPECT_FALSE(held->busy());
        EXPECT_EQ(readFile(client("a.txt")), "aaa");
        EXPECT_FALSE(fs::exists(client("b.txt")));
        EXPECT_FALSE(fs::exists(path("Version.dat")));
        launcher.onStart = nullptr;
        held->capacity = 1000;
    }
}

TEST_F(HeldWrites, TheUpdatersOwnFilesGoThroughTheWriterAndWhatDependsOnThemWaits)
{
    makeCore();
    connect(false); // zlib.dll missing: entry 0 first
    transport.clearSent();
    transport.deliver(fileData(0, 4) + "zlib");
    ASSERT_TRUE(held->busy());
    EXPECT_EQ(sent().back(), common::byteString({0, 6, 2, 0, 0, 0, 0, 4}));
    held->releaseOldest();
    EXPECT_EQ(readFile(path("zlib.dll")), "zlib");
    EXPECT_EQ(sent().back(), versionCheck());

    // Update.exe ends the run only once it is written; nothing after it is read meanwhile.
    transport.deliver(fileInfo(1, 1, "Updater.dat", "") + packet(4));
    transport.deliver(fileData(1, 2) + "UD" + common::EncodeLong(3) + "EXE" + packet(0, "evil.sh"));
    EXPECT_EQ(held->held.size(), 2u);
    core->onTimer();
    EXPECT_EQ(view.ended, 0);
    held->finish();
    EXPECT_EQ(readFile(path("Update.exe")), "EXE");
    EXPECT_FALSE(fs::exists(path("Settings.ini"))); // the launch file after it was not read
    core->onTimer();
    EXPECT_EQ(view.ended, 1);
    EXPECT_EQ(launcher.started, std::vector<Bytes>{store->programFile("Update.exe")});
}

// While the writer has no room, the finished file waits in the core and the socket is not
// read: the sender is held back, not the window's thread, and the wait is no stall.
TEST_F(HeldWrites, TheSocketIsNotReadWhileTheWriterHasNoRoom)
{
    held->capacity = 1;
    makeCore();
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + fileInfo(3, 2, "b.txt", "") +
                      fileInfo(4, 3, "c.txt", "") + packet(4));
    transport.deliver(fileData(2, 3) + "aaa");
    transport.deliver(fileData(3, 3) + "bbb");
    EXPECT_EQ(held->held.size(), 1u);
    EXPECT_FALSE(transport.receiving());
    EXPECT_EQ(sent().back(), fileRequest(4)); // the request left all the same
    transport.deliver(fileData(4, 3) + "ccc");
    EXPECT_EQ(transport.held().size(), fileData(4, 3).size() + 3);
    clock.advance(updater::kStallLimitMs * 2);
    core->onTimer();
    EXPECT_EQ(transport.state(), common::Transport::State::Connected);

    held->releaseOldest(5); // a.txt: room for b.txt, and the socket is read again
    EXPECT_TRUE(transport.receiving());
    ASSERT_EQ(held->held.size(), 1u);
    transport.releaseHeld();
    held->finish();
    EXPECT_EQ(readFile(client("c.txt")), "ccc");
    EXPECT_TRUE(logHas("Update Complete (5 ms)"));
}

// Runs posted reports on the test's thread, as an event loop would.
class PostQueue
{
public:
    updater::BackgroundFileWriter::Post poster()
    {
        return [this](std::function<void()> f) {
            {
                std::lock_guard lock(m_mutex);
                m_queue.push_back(std::move(f));
            }
            m_wake.notify_all();
        };
    }
    // Waits (up to a generous limit) for at least one posted report.
    bool waitForPost()
    {
        std::unique_lock lock(m_mutex);
        return m_wake.wait_for(lock, std::chrono::seconds(30), [this] { return !m_queue.empty(); });
    }
    int runAll()
    {
        std::deque<std::function<void()>> queue;
        {
            std::lock_guard lock(m_mutex);
            queue.swap(m_queue);
        }
        for (auto &f : queue)
            f();
        return static_cast<int>(queue.size());
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
};

Bytes packed(const Bytes &content)
{
    return updater::PackedMarker() + updater::Pack(content);
}

Bytes content(std::size_t size, char seed)
{
    Bytes out(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<char>(seed + static_cast<char>(i % 97));
    return out;
}

class Background : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        folder = dir.path().string();
        store = std::make_unique<updater::FileStore>(folder);
        ASSERT_EQ(store->EnsureClientFolder(), FileError::None);
    }
    Bytes target(const std::string &name) const { return store->clientFolder() + name; }
    std::string local(const std::string &name) const { return folder + "/Client/" + name; }
    updater::FileWriter::Done record(const std::string &name)
    {
        return [this, name](FileError error, Bytes, std::int64_t) {
            outcomes.emplace_back(name, error);
        };
    }
    bool noTemporaryFiles() const
    {
        for (const auto &entry : fs::directory_iterator(folder + "/Client"))
            if (entry.path().filename().string().front() == '.')
                return false;
        return true;
    }

    TempFolder dir;
    std::string folder;
    std::unique_ptr<updater::FileStore> store;
    PostQueue posts;
    std::vector<std::pair<std::string, FileError>> outcomes;
};

TEST_F(Background, FilesAreStoredAndReportedInOrderEachOnce)
{
    const Bytes big = content(300000, 'a');
    const Bytes small = content(1000, 'k');
    Bytes damaged = packed(content(5000, 'x'));
    damaged[damaged.size() / 2] ^= 0x55;
    {
        updater::BackgroundFileWriter writer(*store, posts.poster());
        writer.write(target("big.dat"), packed(big), record("big"));
        // The next unpacks into the memory the larger one used.
        writer.write(target("small.dat"), packed(small), record("small"));
        writer.write(target("plain.txt"), "plain text", record("plain"));
        writer.write(target("damaged.dat"), damaged, record("damaged"));
        writer.write(store->clientFolder() + "..\\escape.txt", "x", record("escape"));
        EXPECT_TRUE(writer.busy());
        writer.finish();
        EXPECT_FALSE(writer.busy());
        // Reports posted meanwhile find nothing left to tell.
        posts.runAll();
    }
    const std::vector<std::pair<std::string, FileError>> expected = {
        {"big", FileError::None},
        {"small", FileError::None},
        {"plain", FileError::None},
        {"damaged", FileError::DamagedData},
        {"escape", FileError::UnsafePath}};
    EXPECT_EQ(outcomes, expected);
    EXPECT_EQ(readFile(local("big.dat")), big);
    EXPECT_EQ(readFile(local("small.dat")), small);
    EXPECT_EQ(readFile(local("plain.txt")), "plain text");
    EXPECT_FALSE(fs::exists(local("damaged.dat")));
    EXPECT_FALSE(fs::exists(folder + "/escape.txt"));
    EXPECT_TRUE(store->LastWriteFailed(target("damaged.dat")));
    EXPECT_TRUE(noTemporaryFiles());
}

TEST_F(Background, AnOwnerThatOnlyWaitsIsToldThroughItsEventLoop)
{
    updater::BackgroundFileWriter writer(*store, posts.poster());
    Bytes handedBack;
    writer.write(target("a.dat"), packed(content(20000, 'q')),
                 [&](FileError error, Bytes buffer, std::int64_t) {
                     outcomes.emplace_back("a", error);
                     handedBack = std::move(buffer);
                 });
    ASSERT_TRUE(posts.waitForPost());
    posts.runAll();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].second, FileError::None);
    EXPECT_FALSE(writer.busy());
    // The buffer handed over comes back for the next file.
    EXPECT_EQ(handedBack, packed(content(20000, 'q')));
    EXPECT_EQ(readFile(local("a.dat")), content(20000, 'q'));
}

TEST_F(Background, LargeFilesAreHeldOneAtATime)
{
    // Two of these, packed and unpacked, do not fit in the budget together.
    const std::size_t size =
        static_cast<std::size_t>(updater::BackgroundFileWriter::kHeldBudget / 2 - 1000);
    const Bytes large = content(size, 'L');
    updater::BackgroundFileWriter writer(*store, posts.poster());
    writer.write(target("small.dat"), packed(content(1000, 's')), record("small"));
    writer.write(target("large1.dat"), packed(large), record("large1"));
    EXPECT_TRUE(outcomes.empty()); // a small file and a large one are held together
    writer.write(target("large2.dat"), packed(large), record("large2"));
    // The first large file had to be written before the second was taken.
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[1].first, "large1");
    writer.finish();
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(readFile(local("large2.dat")), large);
}

TEST_F(Background, DestroyedWithFilesHeldItStoresThemAndReportsNothing)
{
    {
        updater::BackgroundFileWriter writer(*store, posts.poster());
        writer.write(target("one.dat"), packed(content(200000, 'm')), record("one"));
        writer.write(target("two.dat"), packed(content(100000, 'n')), record("two"));
    }
    posts.runAll(); // reports posted by a writer that is gone do nothing
    EXPECT_TRUE(outcomes.empty());
    EXPECT_EQ(readFile(local("one.dat")), content(200000, 'm'));
    EXPECT_EQ(readFile(local("two.dat")), content(100000, 'n'));
    EXPECT_TRUE(noTemporaryFiles());
}

// Local versions computed elsewhere: the list's end waits for them, the requests keep their
// order, and one file described again and again is packed once per run.
class DeferredVersions final : public updater::VersionComputer
{
public:
    void compute(const Bytes &path, Done done) override
    {
        asks.emplace_back(path, std::move(done));
    }
    std::size_t pending() const override { return asks.size(); }
    int computations() const override { return 0; }
    // Answers the newest request first, to show that the order of arrival decides nothing.
    void answerNewest(std::int32_t version)
    {
        auto ask = std::move(asks.back());
        asks.pop_back();
        ask.second(version);
    }
    std::vector<std::pair<Bytes, Done>> asks;
};

TEST_F(CoreFixture, FileListEndWaitsForTheLocalVersionsAndKeepsTheOrderOfRequests)
{
    DeferredVersions versions;
    makeCore();
    core->setVersionComputer(versions);
    connect();
    writeFile(client("a.txt"), "a");
    writeFile(client("b.txt"), "b");
    transport.clearSent();
    transport.deliver(fileInfo(3, 7, "b.txt", "") + fileInfo(2, 7, "a.txt", "") + packet(4) +
                      packet(0, "later.exe"));
    ASSERT_EQ(versions.asks.size(), 2u);
    EXPECT_TRUE(sent().empty()); // nothing requested before the versions are known
    EXPECT_FALSE(fs::exists(path("Settings.ini")));
    versions.answerNewest(1); // a.txt differs
    EXPECT_TRUE(sent().empty());
    versions.answerNewest(2); // b.txt differs
    ASSERT_FALSE(sent().empty());
    EXPECT_EQ(sent().front(), fileRequest(2));
    // What followed the list in the same arrival went with the request.
    EXPECT_FALSE(fs::exists(path("Settings.ini")));
}

TEST_F(CoreFixture, AFileDescribedAgainAndAgainIsPackedOncePerRun)
{
    makeCore();
    updater::ImmediateVersionComputer computer(*store);
    core->setVersionComputer(computer);
    connect();
    writeFile(client("big.dat"), Bytes(100000, 'b'));
    for (int i = 0; i < 20; ++i)
        transport.deliver(fileInfo(2, 1, "big.dat", ""));
    EXPECT_EQ(computer.computations(), 1);
    // A file that changed (another size) is packed again.
    writeFile(client("big.dat"), Bytes(100001, 'b'));
    transport.deliver(fileInfo(2, 1, "big.dat", ""));
    EXPECT_EQ(computer.computations(), 2);
}

TEST_F(Background, VersionsAreComputedOnWorkersAndReportedThroughTheEventLoop)
{
    const Bytes a = content(300000, 'a');
    writeFile(local("a.dat"), a);
    writeFile(local("b.dat"), "b");
    updater::ThreadedVersionComputer computer(*store, posts.poster(), 2);
    std::vector<std::pair<std::string, std::int32_t>> results;
    for (int i = 0; i < 5; ++i)
        computer.compute(target("a.dat"), [&](std::int32_t v) { results.emplace_back("a", v); });
    computer.compute(target("b.dat"), [&](std::int32_t v) { results.emplace_back("b", v); });
    EXPECT_TRUE(results.empty()); // never on the asking thread
    while (computer.pending() > 0) {
        ASSERT_TRUE(posts.waitForPost());
        posts.runAll();
    }
    ASSERT_EQ(results.size(), 6u);
    for (const auto &[name, version] : results)
        EXPECT_EQ(version, common::ByteSum(packed(name == "a" ? a : Bytes("b"))));
    // Asks for a file being computed share its computation; later ones find it recorded.
    EXPECT_EQ(computer.computations(), 2);
    computer.compute(target("a.dat"), [&](std::int32_t v) { results.emplace_back("a", v); });
    while (computer.pending() > 0) {
        ASSERT_TRUE(posts.waitForPost());
        posts.runAll();
    }
    EXPECT_EQ(computer.computations(), 2); // known from this run: not packed again
}

} // namespace
