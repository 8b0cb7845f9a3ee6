// Files written while the next one arrives: the core's use of a writer that holds files, and
// the background writer itself on real threads.
#include "tests/updater_flow/CoreTestSupport.h"
#include "updater/flow/FileWriter.h"

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
        held.push_back({std::move(path), std::move(data), std::move(done)});
    }
    void finish() override
    {
        ++finishes;
        while (busy())
            releaseOldest();
    }
    bool busy() const override { return !held.empty(); }
    void releaseOldest()
    {
        Held h = std::move(held.front());
        held.pop_front();
        const FileError error = m_store->WriteWholeFile(h.path, h.data);
        h.done(error, std::move(h.data));
    }

    struct Held
    {
        Bytes path;
        Bytes data;
        Done done;
    };
    std::deque<Held> held;
    int finishes = 0;

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
    EXPECT_EQ(core->filesWritten(), 1);

    // The pass ends only once the last file is written: Version.dat lists both.
    transport.deliver(fileData(3, 3) + "bbb");
    EXPECT_FALSE(held->busy());
    EXPECT_EQ(readFile(client("b.txt")), "bbb");
    EXPECT_EQ(readFile(path("Version.dat")),
              updater::VersionRecord(1, "", "a.txt") + updater::VersionRecord(2, "", "b.txt"));
    const auto &log = core->logLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "File Updated: b.txt (0 ms)");
    EXPECT_EQ(log.back(), "Update Complete (40 ms)");
}

TEST_F(HeldWrites, AFailedWriteReportedLateIsLeftOutOfVersionsAndCountsNothing)
{
    makeCore();
    listTwoFiles();
    fs::create_directories(client("a.txt")); // a folder where the file should go
    transport.deliver(fileData(2, 3) + "aaa");
    transport.deliver(fileData(3, 3) + "bbb");
    EXPECT_TRUE(logHas("Unable to write file: a.txt"));
    EXPECT_EQ(core->filesWritten(), 1);
    EXPECT_EQ(readFile(path("Version.dat")), updater::VersionRecord(2, "", "b.txt"));
}

TEST_F(HeldWrites, ClosingWhileAFileIsHeldWritesItBeforeAnythingIsStarted)
{
    writeFile(path("next.sh"), "#!/bin/sh\n");
    writeFile(path("Settings.ini"), "[Client]\nLaunch Application File=" + folder + "/next.sh\n");
    makeCore();
    listTwoFiles();
    transport.deliver(fileData(2, 3) + "aaa");
    ASSERT_TRUE(held->busy());
    core->FinishAndLaunch();
    EXPECT_FALSE(held->busy());
    EXPECT_EQ(readFile(client("a.txt")), "aaa");
    EXPECT_TRUE(logHas("File Updated: a.txt (0 ms)"));
    ASSERT_EQ(launcher.started.size(), 1u);
    // An interrupted pass leaves Version.dat alone, as before.
    EXPECT_FALSE(fs::exists(path("Version.dat")));
}

TEST_F(HeldWrites, TheUpdatersOwnFilesAreWrittenAtOnce)
{
    makeCore();
    connect(false); // zlib.dll missing: entry 0 first
    transport.deliver(fileData(0, 4) + "zlib");
    EXPECT_FALSE(held->busy());
    EXPECT_EQ(readFile(path("zlib.dll")), "zlib");
    EXPECT_EQ(sent().back(), versionCheck());
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
        return [this, name](FileError error, Bytes) { outcomes.emplace_back(name, error); };
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
    writer.write(target("a.dat"), packed(content(20000, 'q')), [&](FileError error, Bytes buffer) {
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

} // namespace
