// The update protocol, the download of file bytes and the completion of a pass.
#include "CoreTestSupport.h"

#include "updater/files/Packing.h"

#include <filesystem>

namespace updatertest {
namespace {

namespace fs = std::filesystem;

Bytes content(std::size_t n, char seed = 'a')
{
    Bytes out(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>(seed + static_cast<char>(i % 23));
    return out;
}

Bytes packed(const Bytes &data)
{
    return updater::PackedMarker() + updater::Pack(data);
}

std::int32_t versionOf(const Bytes &data)
{
    return common::ByteSum(packed(data));
}

using ProtocolTest = CoreFixture;

TEST_F(ProtocolTest, FileRequestAndTransferAckWireBytes)
{
    connect();
    transport.clearSent();
    // Only entry 5 is out of date: FileListEnd asks for it.
    transport.deliver(fileInfo(5, 77, "five.txt", "") + packet(4));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], fileRequest(5));

    // Entry 3 arriving: 1000 of 2000 bytes acknowledged as 0,6,2,3,0,0,3,232.
    transport.clearSent();
    transport.deliver(fileInfo(3, 1, "three.txt", ""));
    transport.deliver(fileData(3, 2000) + Bytes(1000, 'x'));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], common::byteString({0, 6, 2, 3, 0, 0, 3, 232}));
}

TEST_F(ProtocolTest, FileDataFollowedByBytesInOneArrivalStopsParsing)
{
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", ""));
    // The 4 bytes after the packet look like a packet but are file data.
    const Bytes raw = packet(4) + Bytes(997, 'q');
    transport.deliver(fileData(2, 5000) + raw);
    EXPECT_TRUE(core->inTransfer());
    EXPECT_EQ(core->fileTable()[2].received, 1000);
    EXPECT_EQ(core->fileTable()[2].data, raw);
    EXPECT_FALSE(core->finished());
}

TEST_F(ProtocolTest, PacketsSplitAndJoinedAreHandledInOrder)
{
    connect();
    const Bytes all =
        packet(2, byteOf(2)) + fileInfo(2, 1, "a.txt", "") + fileInfo(3, 1, "b.txt", "");
    transport.deliver(all.substr(0, 1));
    transport.deliver(all.substr(1, 6));
    EXPECT_EQ(core->fileTable()[2].fileName, "");
    transport.deliver(all.substr(7));
    EXPECT_EQ(core->fileTable()[2].fileName, "a.txt");
    EXPECT_EQ(core->fileTable()[3].fileName, "b.txt");
    EXPECT_EQ(core->statusText(), "Status: Loading File Versions - 100%");
}

TEST_F(ProtocolTest, EntryZeroIsZlibInTheProgramFolderThenTheVersionCheck)
{
    connect(false);
    transport.clearSent();
    // An earlier FileInfo gave entry 0 another name and folder; FileData overrides them.
    transport.deliver(fileInfo(0, 5, "other.dll", "Sub\\"));
    const Bytes zlib = content(300);
    // 10 bytes after the file: the start of a packet that is not complete yet.
    const Bytes extra = common::byteString({0, 20}) + Bytes(8, 'z');
    transport.deliver(fileData(0, 300) + zlib + extra);
    EXPECT_EQ(readFile(path("zlib.dll")), zlib);
    EXPECT_FALSE(fs::exists(client("Sub/other.dll")));
    EXPECT_FALSE(core->inTransfer());
    EXPECT_EQ(core->bufferedBytes(), 10u);
    EXPECT_EQ(core->fileTable()[0].received, 300);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0], common::byteString({0, 6, 2, 0, 0, 0, 1, 44}));
    EXPECT_EQ(sent()[1], versionCheck());
    EXPECT_TRUE(logHas("File Updated: zlib.dll (0 ms)"));
}

TEST_F(ProtocolTest, ZeroByteFileCompletesWhenTheNextByteArrives)
{
    connect();
    transport.deliver(fileInfo(2, 1, "empty.txt", "") + packet(4));
    transport.deliver(fileData(2, 0));
    EXPECT_TRUE(core->inTransfer());
    EXPECT_FALSE(fs::exists(client("empty.txt")));
    transport.deliver(packet(9));
    EXPECT_FALSE(core->inTransfer());
    ASSERT_TRUE(fs::exists(client("empty.txt")));
    EXPECT_EQ(fs::file_size(client("empty.txt")), 0u);
}

TEST_F(ProtocolTest, ServerWritesFoldersFilesLaunchPathAndVersions)
{
    connect();
    const Bytes town = content(5000, 'b');
    const Bytes readme = content(40, 'r');
    transport.deliver(packet(0, "Bin\\Registry.exe") + packet(1, byteOf(1) + "Maps\\") +
                      packet(1, byteOf(2) + "Maps\\Town\\") + packet(2, byteOf(2)) +
                      fileInfo(2, versionOf(town), "town.map", "Maps\\Town\\") +
                      fileInfo(3, versionOf(readme), "readme.txt", "") + packet(4));
    EXPECT_TRUE(fs::is_directory(client("Maps/Town")));
    EXPECT_EQ(core->launchPath(), store->clientFolder() + "Bin\\Registry.exe");
    EXPECT_EQ(store->ReadSetting("Client", "Launch Application File"), core->launchPath());
    ASSERT_EQ(sent().back(), fileRequest(2));

    clock.advance(10);
    transport.deliver(fileData(2, static_cast<std::int32_t>(packed(town).size())));
    clock.advance(30);
    transport.deliver(packed(town));
    EXPECT_EQ(readFile(client("Maps/Town/town.map")), town);
    EXPECT_TRUE(logHas("File Updated: town.map (30 ms)"));
    ASSERT_EQ(sent().back(), fileRequest(3));

    transport.deliver(fileData(3, 40));
    clock.advance(12);
    transport.deliver(readme);
    EXPECT_EQ(readFile(client("readme.txt")), readme);
    EXPECT_TRUE(logHas("Update Complete (42 ms)"));
    EXPECT_EQ(core->statusText(), "Status: Update Complete");
    EXPECT_TRUE(core->finished());

    const Bytes versions = readFile(path("Version.dat"));
    EXPECT_EQ(versions, updater::VersionRecord(versionOf(town), "Maps\\Town\\", "town.map") +
                            updater::VersionRecord(versionOf(readme), "", "readme.txt"));

    // The hand-over comes on the next timer run.
    EXPECT_LE(core->nextDeadline(), clock.nowMs());
    core->onTimer();
    EXPECT_EQ(view.ended, 1);
}

TEST_F(ProtocolTest, EntriesThreeAndSevenInOrderSumTheirDurations)
{
    connect();
    transport.deliver(fileInfo(7, 1, "seven.txt", "") + fileInfo(3, 1, "three.txt", "") +
                      packet(4));
    EXPECT_EQ(sent().back(), fileRequest(3));
    transport.deliver(fileData(3, 4));
    clock.advance(100);
    transport.deliver("3333");
    EXPECT_EQ(sent().back(), fileRequest(7));
    // The last acknowledgement and the next request leave in one write.
    EXPECT_EQ(transport.sends().back(),
              common::byteString({0, 6, 2, 3, 0, 0, 0, 4}) + fileRequest(7));
    transport.deliver(fileData(7, 4));
    clock.advance(250);
    transport.deliver("7777");
    EXPECT_TRUE(logHas("Update Complete (350 ms)"));
    EXPECT_EQ(readFile(client("three.txt")), "3333");
    EXPECT_EQ(readFile(client("seven.txt")), "7777");
}

TEST_F(ProtocolTest, FilesWrittenInNoTimeStillCountAsAnUpdate)
{
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + packet(4));
    transport.deliver(fileData(2, 1) + "x");
    EXPECT_TRUE(logHas("Update Complete (0 ms)"));
    EXPECT_FALSE(logHas("No Update Required."));
}

TEST_F(ProtocolTest, UpToDateFilesNeedNoUpdate)
{
    const Bytes data = content(100);
    fs::create_directories(client(""));
    writeFile(client("a.txt"), data);
    connect();
    transport.deliver(fileInfo(2, versionOf(data), "a.txt", "") + packet(4));
    EXPECT_FALSE(core->fileTable()[2].needsUpdate);
    EXPECT_TRUE(logHas("No Update Required."));
    EXPECT_EQ(readFile(path("Version.dat")), updater::VersionRecord(versionOf(data), "", "a.txt"));
}

TEST_F(ProtocolTest, SelfUpdateWithUpdateExeSizeInALaterSegment)
{
    connect();
    transport.deliver(fileInfo(1, 1, "Updater.dat", "") + fileInfo(4, 1, "later.txt", "") +
                      packet(4));
    EXPECT_EQ(sent().back(), fileRequest(1));
    transport.deliver(fileData(1, 6) + "UPDATE");
    EXPECT_EQ(readFile(path("Updater.dat")), "UPDATE");
    EXPECT_EQ(logCount("File Updated: Updater.dat (0 ms)"), 1);
    EXPECT_TRUE(core->inTransfer());
    transport.deliver(common::byteString({0, 0, 0}));
    transport.deliver(common::byteString({9}));
    EXPECT_EQ(core->fileTable()[1].fileName, "Updater.dat"); // 4 bytes: still waiting
    clock.advance(5);
    transport.deliver("#!");
    EXPECT_EQ(core->fileTable()[1].fileName, "Update.exe");
    transport.deliver("/bin/sh");
    EXPECT_EQ(logCount("File Updated: Updater.dat (0 ms)"), 1);
    EXPECT_EQ(readFile(path("Update.exe")), "#!/bin/sh");
    EXPECT_TRUE(core->selfUpdatePending());
    EXPECT_TRUE(core->finished());
    EXPECT_EQ(sent().back(), common::byteString({0, 6, 2, 1, 0, 0, 0, 9}));
    core->onTimer();
    ASSERT_EQ(launcher.started.size(), 1u);
    EXPECT_EQ(launcher.started[0], store->programFile("Update.exe"));
    EXPECT_EQ(launcher.directory, folder);
    EXPECT_FALSE(fs::exists(client("later.txt"))); // left for the next run
}

TEST_F(ProtocolTest, AnUnreadableUpdateExeSizeDropsTheConnection)
{
    connect();
    transport.deliver(fileData(1, 3) + "DAT");
    EXPECT_EQ(readFile(path("Updater.dat")), "DAT");
    // A size with its first byte at 128 or more cannot be a file size; the stream cannot be
    // followed any further.
    transport.deliver(common::byteString({200, 0, 0, 0}) + "MZ");
    EXPECT_TRUE(logHas("Ignored an invalid file size from the Update Server."));
    EXPECT_EQ(transport.state(), common::Transport::State::Closed);
    EXPECT_FALSE(core->inTransfer());
    EXPECT_EQ(core->bufferedBytes(), 0u);
    EXPECT_FALSE(fs::exists(path("Update.exe")));
    EXPECT_FALSE(core->selfUpdatePending());
}

TEST_F(ProtocolTest, AcknowledgementsAreSpacedBy500msPlusOneAtTheEnd)
{
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + packet(4));
    transport.clearSent();
    transport.deliver(fileData(2, 100));
    for (int i = 0; i < 12; ++i) {
        transport.deliver(Bytes(8, 'p')); // 96 bytes in 12 pieces, 100 ms apart
        clock.advance(100);
    }
    transport.deliver(Bytes(4, 'p'));
    std::vector<std::int32_t> acked;
    for (const auto &s : sent()) {
        if (s.size() == 8 && s[2] == 2)
            acked.push_back(common::DecodeLong(common::ByteView(s).substr(4)));
    }
    // At 0 ms, 500 ms, 1000 ms and the final one.
    EXPECT_EQ(acked, (std::vector<std::int32_t>{8, 48, 88, 100}));
}

TEST_F(ProtocolTest, DropDuringATransferAbandonsItAndThePassContinues)
{
    connect();
    const Bytes b = content(3000, 'B');
    transport.deliver(fileInfo(2, 1, "a.txt", "") + fileInfo(3, 1, "b.txt", "") +
                      fileInfo(5, 1, "c.txt", "") + packet(4));
    transport.deliver(fileData(2, 3) + "AAA");
    EXPECT_EQ(sent().back(), fileRequest(3));
    transport.deliver(fileData(3, 3000) + b.substr(0, 1200));
    transport.dropConnection();
    EXPECT_FALSE(core->inTransfer());
    EXPECT_EQ(core->bufferedBytes(), 0u);
    EXPECT_FALSE(fs::exists(client("b.txt")));
    EXPECT_TRUE(logHas("Download Interrupted: b.txt"));

    // The fallback reconnects; the server lists the files again.
    clock.advance(1500);
    core->onTimer();
    transport.acceptConnection();
    EXPECT_EQ(sent().back(), versionCheck());
    transport.clearSent();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + fileInfo(3, 1, "b.txt", "") +
                      fileInfo(5, 1, "c.txt", "") + packet(4));
    ASSERT_EQ(sent().size(), 1u);
    EXPECT_EQ(sent()[0], fileRequest(3)); // not 2 again, and 3 not skipped
    transport.deliver(fileData(3, 3000) + b);
    EXPECT_EQ(readFile(client("b.txt")), b);
    EXPECT_EQ(sent().back(), fileRequest(5));
    transport.deliver(fileData(5, 1) + "C");
    EXPECT_EQ(logCount("File Updated: a.txt (0 ms)"), 1);
    EXPECT_TRUE(logHas("Update Complete (0 ms)"));
    EXPECT_EQ(core->filesWritten(), 3);
}

TEST_F(ProtocolTest, AStalledTransferCountsAsALostConnection)
{
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + packet(4));
    transport.deliver(fileData(2, 5000) + Bytes(10, 's'));
    // 1 KiB within 30 s keeps the transfer alive; less does not, however steady the drip.
    clock.advance(20000);
    transport.deliver(Bytes(1024, 's'));
    for (int second = 1; second < 30; ++second) {
        clock.advance(1000);
        transport.deliver("s");
        core->onTimer();
    }
    clock.advance(999);
    core->onTimer();
    EXPECT_EQ(transport.state(), common::Transport::State::Connected);
    clock.advance(1);
    core->onTimer();
    EXPECT_FALSE(core->inTransfer());
    EXPECT_FALSE(fs::exists(client("a.txt")));
    // Closed, and the next slot is already being tried.
    ASSERT_EQ(transport.attempts().size(), 2u);
    EXPECT_EQ(transport.attempts()[1].host, "10.0.0.2");
}

TEST_F(ProtocolTest, AnAnnouncedSizeReservesNoGigabyte)
{
    // 1 GiB is accepted, but memory comes with the bytes, not with the announcement.
    connect();
    transport.deliver(fileInfo(2, 1, "big.dat", "") + packet(4));
    transport.deliver(fileData(2, std::int32_t{1} << 30) + "abc");
    ASSERT_TRUE(core->inTransfer());
    EXPECT_EQ(core->fileTable()[2].received, 3);
    EXPECT_LE(core->fileTable()[2].data.capacity(), std::size_t{64} << 20);
}

TEST_F(ProtocolTest, ASecondFileDataStartsTheDataAfresh)
{
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + fileInfo(3, 1, "b.txt", "") + packet(4));
    transport.deliver(fileData(2, 3) + "AAA");
    EXPECT_EQ(sent().back(), fileRequest(3));
    // Pushed again without a request: the old data must not be kept.
    transport.deliver(fileData(2, 2) + "B");
    transport.dropConnection(); // and an interrupted one leaves nothing behind either
    clock.advance(1500);
    core->onTimer();
    transport.acceptConnection();
    transport.deliver(fileData(2, 2) + "BB");
    EXPECT_EQ(readFile(client("a.txt")), "BB");
}

// A FileInfo without the byte 0 after the name keeps the name the entry already has and
// takes the rest as its folder.
TEST_F(ProtocolTest, FileInfoWithoutANameKeepsTheEntrysName)
{
    connect();
    fs::create_directories(client("Data"));
    transport.deliver(fileInfo(2, 1, "a.txt", ""));
    transport.deliver(packet(3, byteOf(2) + common::EncodeLong(7) + "Data\\"));
    const auto &e = core->fileTable()[2];
    EXPECT_EQ(e.fileName, "a.txt");
    EXPECT_EQ(e.folder, "Data\\");
    EXPECT_EQ(e.version, 7);
    EXPECT_EQ(e.fullPath, store->clientFolder() + "Data\\a.txt");
    EXPECT_TRUE(e.needsUpdate);
}

// The count of described files runs on over a second file list in the same run, capped at
// the announced number: the second list shows 100 % throughout.
TEST_F(ProtocolTest, ASecondFileListShowsLoadingAtFullThroughout)
{
    connect();
    const Bytes a = fileInfo(2, 1, "a.txt", "");
    const Bytes b = fileInfo(3, 1, "b.txt", "");
    transport.deliver(packet(2, byteOf(2)) + a);
    EXPECT_EQ(core->statusText(), "Status: Loading File Versions - 50%");
    // The connection is lost in the middle of the list; the next server sends it again.
    transport.dropConnection();
    clock.advance(1500);
    core->onTimer();
    transport.acceptConnection();
    transport.deliver(packet(2, byteOf(2)));
    for (const Bytes &info : {a, b}) {
        transport.deliver(info);
        EXPECT_EQ(core->statusText(), "Status: Loading File Versions - 100%");
    }
}

TEST_F(ProtocolTest, MalformedMessagesAreIgnoredAndTheRunGoesOn)
{
    connect();
    const std::vector<Bytes> bad = {
        fileInfo(251, 1, "x.txt", ""),      // index above 250
        fileInfo(2, 1, "evil.txt", "..\\"), // leaves the client folder
        fileInfo(2, 1, "..", ""),           // not a file name
        packet(1, byteOf(16) + "Maps\\"),   // folder number outside 1..15
        packet(1, byteOf(0) + "Maps\\"),    packet(1, byteOf(1) + "..\\..\\"),
        packet(0, "..\\..\\evil.sh"), // launch path leaving the client folder
    };
    for (const auto &b : bad)
        transport.deliver(b);
    int ignored = 0;
    for (const auto &l : core->logLines())
        ignored += l.rfind("Ignored an invalid message", 0) == 0 ? 1 : 0;
    EXPECT_EQ(ignored, static_cast<int>(bad.size()));
    EXPECT_TRUE(core->launchPath().empty());
    EXPECT_TRUE(core->fileTable()[2].fileName.empty());
    EXPECT_FALSE(fs::exists(folder + "/Maps"));
    EXPECT_FALSE(fs::exists(client("Maps")));
    EXPECT_FALSE(core->inTransfer());

    // A refused FileData leaves bytes that cannot be framed: the connection ends, and what
    // followed it in the same arrival is not read as messages.
    for (const Bytes &refused :
         {packet(5, byteOf(2) + "ab"), fileData(251, 3), fileData(2, (1 << 30) + 1)}) {
        transport.deliver(refused + packet(0, "evil.sh"));
        EXPECT_EQ(transport.state(), common::Transport::State::Closed);
        EXPECT_EQ(core->logLines().back(),
                  "Connection closed: the file that follows cannot be received.");
        EXPECT_TRUE(core->launchPath().empty());
        clock.advance(1500);
        core->onTimer();
        transport.acceptConnection();
    }
    EXPECT_FALSE(fs::exists(path("Settings.ini")));

    // A well-formed exchange still works afterwards.
    transport.deliver(fileInfo(2, 1, "ok.txt", "") + packet(4));
    transport.deliver(fileData(2, 2) + "ok");
    EXPECT_EQ(readFile(client("ok.txt")), "ok");
}

TEST_F(ProtocolTest, AFailedWriteIsLoggedAndNotCounted)
{
    connect();
    fs::create_directories(client("a.txt/inside")); // a folder where the file should go
    transport.deliver(fileInfo(2, 1, "a.txt", "") + packet(4));
    transport.deliver(fileData(2, 3) + "AAA");
    EXPECT_TRUE(logHas("Unable to write file: a.txt"));
    EXPECT_EQ(core->filesWritten(), 0);
    // Never reported as a success; Version.dat leaves the file out and the hand-over runs.
    EXPECT_EQ(core->logLines().back(), "Update Incomplete: 1 file(s) could not be written.");
    EXPECT_EQ(core->statusText(), "Status: Update Incomplete");
    EXPECT_EQ(readFile(path("Version.dat")), "");
    core->onTimer();
    EXPECT_EQ(view.ended, 1);
}

TEST_F(ProtocolTest, DamagedPackedDataIsNotWritten)
{
    connect();
    writeFile(client("a.txt"), "old");
    Bytes bad = packed(content(500));
    bad.resize(bad.size() - 6);
    transport.deliver(fileInfo(2, 1, "a.txt", "") + packet(4));
    transport.deliver(fileData(2, static_cast<std::int32_t>(bad.size())) + bad);
    EXPECT_EQ(readFile(client("a.txt")), "old");
    EXPECT_TRUE(logHas("Unable to write file: a.txt"));
}

TEST_F(ProtocolTest, ByteCounterRollsEverySecondAndSleepsWhenIdle)
{
    connect();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + packet(4));
    transport.deliver(fileData(2, 5000));
    transport.deliver(Bytes(1536, 'x'));
    clock.advance(1000);
    core->onTimer();
    EXPECT_GT(core->bytesLastSecond(), 1536);
    transport.deliver(Bytes(1536, 'x'));
    EXPECT_NE(core->bytesText().find("KB/s"), Bytes::npos);
    clock.advance(1000);
    core->onTimer();
    EXPECT_EQ(core->bytesLastSecond(), 1536);
    clock.advance(1000);
    core->onTimer();
    clock.advance(1000);
    core->onTimer();
    EXPECT_EQ(core->bytesLastSecond(), 0);
    // Only the stall limit remains scheduled.
    EXPECT_EQ(core->nextDeadline(), clock.nowMs() - 3000 + 30000);
}

} // namespace
} // namespace updatertest
