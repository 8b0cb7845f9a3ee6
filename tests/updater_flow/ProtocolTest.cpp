// The update protocol, the download of file bytes and the completion of a pass.
#include "CoreTestSupport.h"

#include "updater/files/Packing.h"
#include "updater/flow/Progress.h"

#include <filesystem>
#include <map>

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
    EXPECT_EQ(sent().back(), transferAck(2, 1000));
    EXPECT_EQ(view.status, "Status: Downloading: a.txt - 20%");
    EXPECT_FALSE(logHas("No Update Required."));
    const Bytes rest(4000, 'r');
    transport.deliver(rest);
    EXPECT_EQ(readFile(client("a.txt")), raw + rest);
}

TEST_F(ProtocolTest, PacketsSplitAndJoinedAreHandledInOrder)
{
    connect();
    const Bytes all =
        packet(2, byteOf(2)) + fileInfo(2, 1, "a.txt", "") + fileInfo(3, 1, "b.txt", "");
    transport.deliver(all.substr(0, 1));
    transport.deliver(all.substr(1, 6));
    EXPECT_EQ(view.status, "Status: Connecting..."); // no file described yet
    transport.deliver(all.substr(7));
    EXPECT_EQ(view.status, "Status: Loading File Versions - 100%");
    transport.deliver(packet(4));
    transport.deliver(fileData(2, 1) + "A");
    transport.deliver(fileData(3, 1) + "B");
    EXPECT_EQ(readFile(client("a.txt")), "A");
    EXPECT_EQ(readFile(client("b.txt")), "B");
}

TEST_F(ProtocolTest, EntryZeroIsZlibInTheProgramFolderThenTheVersionCheck)
{
    connect(false);
    transport.clearSent();
    // An earlier FileInfo gave entry 0 another name and folder; FileData overrides them.
    transport.deliver(fileInfo(0, 5, "other.dll", "Sub\\"));
    const Bytes zlib = content(300);
    // 10 bytes after the file: the start of a message that is not complete yet.
    const Bytes kept = folderEntry(3, "Kept\\Here\\");
    transport.deliver(fileData(0, 300) + zlib + kept.substr(0, 10));
    EXPECT_EQ(readFile(path("zlib.dll")), zlib);
    EXPECT_FALSE(fs::exists(client("Sub/other.dll")));
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0], common::byteString({0, 6, 2, 0, 0, 0, 1, 44}));
    EXPECT_EQ(sent()[1], versionCheck());
    EXPECT_TRUE(logHas("File Updated: zlib.dll (0 ms)"));
    // The 10 bytes waited as the start of a message, not as file data.
    EXPECT_FALSE(fs::exists(client("Kept")));
    transport.deliver(kept.substr(10));
    EXPECT_TRUE(fs::is_directory(client("Kept/Here")));
}

TEST_F(ProtocolTest, ZeroByteFileCompletesWhenTheNextByteArrives)
{
    connect();
    transport.deliver(fileInfo(2, 1, "empty.txt", "") + packet(4));
    transport.deliver(fileData(2, 0));
    EXPECT_FALSE(fs::exists(client("empty.txt")));
    transport.deliver(packet(9));
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
    EXPECT_EQ(store->ReadSetting("Client", "Launch Application File"),
              store->clientFolder() + "Bin\\Registry.exe");
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
    EXPECT_EQ(view.status, "Status: Update Complete");

    const Bytes versions = readFile(path("Version.dat"));
    EXPECT_EQ(versions, updater::VersionRecord(versionOf(town), "Maps\\Town\\", "town.map") +
                            updater::VersionRecord(versionOf(readme), "", "readme.txt"));

    // The hand-over comes on the next timer run.
    EXPECT_LE(core->nextDeadline(), clock.nowMs());
    core->onTimer();
    EXPECT_EQ(view.ended, 1);
}

// Names that are one file on Windows: the first entry of the list keeps the file and its
// record; the later ones are logged and neither fetched, written nor recorded.
TEST_F(ProtocolTest, EntriesNamingTheSameFileOnWindowsAreFetchedOnce)
{
    connect();
    transport.clearSent();
    transport.deliver(packet(1, byteOf(1) + "Data\\") + fileInfo(3, 3, "a.txt", "Data\\") +
                      fileInfo(5, 5, "A.TXT", "DATA\\") + fileInfo(6, 6, "good.txt", "") +
                      fileInfo(7, 7, "good.TXT", "") + fileInfo(8, 8, "GOOD.TXT", "") + packet(4));
    for (const char *line : {"Skipped DATA\\A.TXT: the same file as Data\\a.txt",
                             "Skipped good.TXT: the same file as good.txt",
                             "Skipped GOOD.TXT: the same file as good.txt"})
        EXPECT_EQ(logCount(line), 1) << line << "\n" << view.log();
    transport.deliver(fileData(3, 5) + "first");
    transport.deliver(fileData(5, 4) + "case"); // pushed all the same: not written
    transport.deliver(fileData(6, 4) + "good");
    EXPECT_EQ(sent(), (std::vector<Bytes>{fileRequest(3), transferAck(3, 5), fileRequest(6),
                                          transferAck(5, 4), fileRequest(6), transferAck(6, 4)}));
    EXPECT_EQ(readFile(client("Data/a.txt")), "first");
    EXPECT_EQ(readFile(client("good.txt")), "good");
    EXPECT_EQ(readFile(path("Version.dat")), updater::VersionRecord(3, "Data\\", "a.txt") +
                                                 updater::VersionRecord(6, "", "good.txt"));
    EXPECT_EQ(view.status, "Status: Update Complete");
}

// A server may make at most 1,024 distinct folders on one connection; the rest are refused
// with one line, a folder already made is taken again, and a new connection starts afresh.
TEST_F(ProtocolTest, AFloodOfFoldersIsCutOffPerConnection)
{
    connect();
    Bytes flood;
    for (int i = 0; i < 1030; ++i)
        flood += packet(1, byteOf(1 + i % 15) + "F" + std::to_string(i) + "\\");
    transport.deliver(flood + packet(1, byteOf(1) + "F3\\"));
    const Bytes limitLine = "Ignored further folders from the Update Server (more than 1024).";
    EXPECT_EQ(logCount(limitLine), 1);
    EXPECT_TRUE(fs::is_directory(client("F1023")));
    EXPECT_FALSE(fs::exists(client("F1024")));
    EXPECT_EQ(std::distance(fs::directory_iterator(client("")), fs::directory_iterator()), 1024);

    transport.dropConnection();
    clock.advance(1500);
    core->onTimer();
    transport.acceptConnection();
    transport.deliver(packet(1, byteOf(1) + "F1024\\"));
    EXPECT_TRUE(fs::is_directory(client("F1024")));
    EXPECT_EQ(logCount(limitLine), 1);
}

// A repair takes no version from Version.dat: each local file is packed and compared, what
// differs from the server is fetched, and Version.dat is written anew.
TEST_F(ProtocolTest, ARepairChecksEveryFileInsteadOfTrustingVersionDat)
{
    const Bytes good = content(300, 'g');
    const Bytes real = content(200, 'r');
    fs::create_directories(client(""));
    writeFile(client("good.txt"), good);
    writeFile(client("bad.txt"), "damaged on disk");
    const Bytes claimed = updater::VersionRecord(versionOf(good), "", "good.txt") +
                          updater::VersionRecord(versionOf(real), "", "bad.txt");
    writeFile(path("Version.dat"), claimed + updater::VersionRecord(1, "", "gone.txt"));
    repair = true;
    connect();
    EXPECT_EQ(view.logged.front(), "Checking every file...");
    transport.clearSent();
    transport.deliver(fileInfo(2, versionOf(good), "good.txt", "") +
                      fileInfo(3, versionOf(real), "bad.txt", "") + packet(4));
    EXPECT_EQ(sent(), std::vector<Bytes>{fileRequest(3)});
    transport.deliver(fileData(3, static_cast<std::int32_t>(packed(real).size())) + packed(real));
    EXPECT_EQ(readFile(client("bad.txt")), real);
    EXPECT_EQ(readFile(path("Version.dat")), claimed);
    EXPECT_EQ(view.status, "Status: Update Complete");
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
    EXPECT_EQ(sent(), std::vector<Bytes>{versionCheck()}); // nothing requested
    EXPECT_TRUE(logHas("No Update Required."));
    EXPECT_EQ(readFile(path("Version.dat")), updater::VersionRecord(versionOf(data), "", "a.txt"));
}

// The local version rule: a described file is asked for when it is missing, or when its local
// version (its Version.dat record when that file holds whole records, else the version
// computed from the file) is not the server's.
enum class VersionDat
{
    Absent,
    RecordsA100, // a.txt at version 100
    RecordsOther,
    Short, // the record of a.txt cut short
    Long,  // the record of a.txt and one byte more
};
constexpr std::int32_t kComputed = -1; // stands for the version computed from a.txt

struct LocalVersionCase
{
    const char *name;
    VersionDat dat;
    bool present;
    std::vector<std::int32_t> announced; // one FileInfo each
    bool requested;
};

class LocalVersionRule : public CoreFixture, public ::testing::WithParamInterface<LocalVersionCase>
{
};

TEST_P(LocalVersionRule, DecidesWhatIsAskedFor)
{
    const LocalVersionCase &c = GetParam();
    const Bytes record = updater::VersionRecord(100, "", "a.txt");
    const std::map<VersionDat, Bytes> contents = {
        {VersionDat::RecordsA100, record},
        {VersionDat::RecordsOther, updater::VersionRecord(100, "", "other.txt")},
        {VersionDat::Short, record.substr(0, 78)},
        {VersionDat::Long, record + "x"},
    };
    fs::create_directories(client(""));
    if (c.dat != VersionDat::Absent)
        writeFile(path("Version.dat"), contents.at(c.dat));
    if (c.present)
        writeFile(client("a.txt"), "A");
    connect();
    for (const std::int32_t version : c.announced)
        transport.deliver(
            fileInfo(2, version == kComputed ? versionOf("A") : version, "a.txt", ""));
    transport.deliver(packet(4));
    EXPECT_EQ(sent().back() == fileRequest(2), c.requested);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalVersionRule,
    ::testing::Values(
        LocalVersionCase{"Missing", VersionDat::RecordsA100, false, {100}, true},
        LocalVersionCase{"RecordedAlike", VersionDat::RecordsA100, true, {100}, false},
        LocalVersionCase{"RecordedOther", VersionDat::RecordsA100, true, {101}, true},
        LocalVersionCase{"NotRecorded", VersionDat::RecordsOther, true, {100}, true},
        LocalVersionCase{"ComputedAlike", VersionDat::Absent, true, {kComputed}, false},
        LocalVersionCase{"ComputedOther", VersionDat::Absent, true, {999}, true},
        LocalVersionCase{"ShortRecordComputedAlike", VersionDat::Short, true, {kComputed}, false},
        LocalVersionCase{"LongRecordComputedOther", VersionDat::Long, true, {100}, true},
        // A later FileInfo never takes the need back.
        LocalVersionCase{"DescribedAgainAlike", VersionDat::RecordsA100, true, {101, 100}, true}),
    [](const ::testing::TestParamInfo<LocalVersionCase> &p) { return std::string(p.param.name); });

TEST_F(ProtocolTest, SelfUpdateWithUpdateExeSizeInALaterSegment)
{
    connect();
    transport.deliver(fileInfo(1, 1, "Updater.dat", "") + fileInfo(4, 1, "later.txt", "") +
                      packet(4));
    EXPECT_EQ(sent().back(), fileRequest(1));
    transport.deliver(fileData(1, 6) + "UPDATE");
    EXPECT_EQ(readFile(path("Updater.dat")), "UPDATE");
    EXPECT_EQ(logCount("File Updated: Updater.dat (0 ms)"), 1);
    transport.deliver(common::byteString({0, 0, 0}));
    transport.deliver(common::byteString({9}));
    // 4 bytes: still waiting for the size of Update.exe.
    EXPECT_EQ(view.status, "Status: Downloading: Updater.dat - 100%");
    clock.advance(5);
    transport.deliver("#!");
    EXPECT_EQ(view.status, "Status: Downloading: Update.exe - 22%");
    transport.deliver("/bin/sh");
    EXPECT_EQ(logCount("File Updated: Updater.dat (0 ms)"), 1);
    EXPECT_EQ(readFile(path("Update.exe")), "#!/bin/sh");
    EXPECT_EQ(sent().back(), common::byteString({0, 6, 2, 1, 0, 0, 0, 9}));
    // The run is over: the hand-over starts Update.exe at the next timer run.
    EXPECT_LE(core->nextDeadline(), clock.nowMs());
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
    EXPECT_FALSE(fs::exists(path("Update.exe")));
    // The run goes on with the next server, reading messages again.
    clock.advance(1500);
    core->onTimer();
    transport.acceptConnection();
    transport.deliver(fileInfo(2, 1, "a.txt", "") + packet(4));
    EXPECT_EQ(sent().back(), fileRequest(2));
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
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        EXPECT_EQ(logCount(Bytes("File Updated: ") + name + " (0 ms)"), 1) << name;
    EXPECT_TRUE(logHas("Update Complete (0 ms)"));
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
    EXPECT_TRUE(logHas("The Update Server stopped sending."));
    EXPECT_TRUE(logHas("Download Interrupted: a.txt"));
    EXPECT_FALSE(fs::exists(client("a.txt")));
    // Closed, and the next slot is already being tried.
    ASSERT_EQ(transport.attempts().size(), 2u);
    EXPECT_EQ(transport.attempts()[1].host, "10.0.0.2");
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
    transport.deliver(packet(4));
    EXPECT_EQ(sent().back(), fileRequest(2));
    transport.deliver(fileData(2, 2) + "ok");
    EXPECT_EQ(readFile(client("Data/a.txt")), "ok");
    EXPECT_EQ(readFile(path("Version.dat")), updater::VersionRecord(7, "Data\\", "a.txt"));
}

// The count of described files runs on over a second file list in the same run, capped at
// the announced number: the second list shows 100 % throughout.
TEST_F(ProtocolTest, ASecondFileListShowsLoadingAtFullThroughout)
{
    connect();
    const Bytes a = fileInfo(2, 1, "a.txt", "");
    const Bytes b = fileInfo(3, 1, "b.txt", "");
    transport.deliver(packet(2, byteOf(2)) + a);
    EXPECT_EQ(view.status, "Status: Loading File Versions - 50%");
    // The connection is lost in the middle of the list; the next server sends it again.
    transport.dropConnection();
    clock.advance(1500);
    core->onTimer();
    transport.acceptConnection();
    transport.deliver(packet(2, byteOf(2)));
    for (const Bytes &info : {a, b}) {
        transport.deliver(info);
        EXPECT_EQ(view.status, "Status: Loading File Versions - 100%");
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
    for (const auto &l : view.logged)
        ignored += l.rfind("Ignored an invalid message", 0) == 0 ? 1 : 0;
    EXPECT_EQ(ignored, static_cast<int>(bad.size()));
    EXPECT_EQ(view.status, "Status: Connecting..."); // no file taken as described
    EXPECT_FALSE(fs::exists(folder + "/Maps"));
    EXPECT_FALSE(fs::exists(client("Maps")));

    // A refused FileData leaves bytes that cannot be framed: the connection ends, and what
    // followed it in the same arrival is not read as messages.
    for (const Bytes &refused :
         {packet(5, byteOf(2) + Bytes(4, '\xFF')), fileData(251, 3), fileData(2, (1 << 30) + 1)}) {
        transport.deliver(refused + packet(0, "evil.sh"));
        EXPECT_EQ(transport.state(), common::Transport::State::Closed);
        EXPECT_EQ(view.lines.back(),
                  "Connection closed: the file that follows cannot be received.");
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
    EXPECT_FALSE(logHas("File Updated: a.txt (0 ms)"));
    // Never reported as a success; Version.dat leaves the file out and the hand-over runs.
    EXPECT_EQ(view.lines.back(), "Update Incomplete: 1 file(s) could not be written.");
    EXPECT_EQ(view.status, "Status: Update Incomplete");
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

// The speed shown is what arrived in the last whole second.
TEST_F(ProtocolTest, ByteCounterRollsEverySecondAndSleepsWhenIdle)
{
    connect();
    const Bytes list = fileInfo(2, 1, "a.txt", "") + packet(4);
    transport.deliver(list);
    transport.deliver(fileData(2, 5000));
    transport.deliver(Bytes(1536, 'x'));
    clock.advance(1000);
    core->onTimer();
    // The first second counted everything that arrived in it.
    const auto firstSecond =
        static_cast<std::int64_t>(list.size() + fileData(2, 5000).size()) + 1536;
    transport.deliver(Bytes(1536, 'x'));
    EXPECT_EQ(view.bytes, updater::FormatProgress(3072, 5000, firstSecond).bytesText);
    clock.advance(1000);
    core->onTimer();
    transport.deliver("x");
    EXPECT_EQ(view.bytes, updater::FormatProgress(3073, 5000, 1536).bytesText);
    clock.advance(1000);
    core->onTimer();
    clock.advance(1000);
    core->onTimer();
    // Nothing counted: only the stall limit remains scheduled.
    EXPECT_EQ(core->nextDeadline(), clock.nowMs() - 3000 + 30000);
}

} // namespace
} // namespace updatertest
