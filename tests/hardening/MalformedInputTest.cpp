// Malformed input from both servers, one named case each: bad length words, every message cut
// short at every byte of its fixed part, values out of range, missing separators, damaged
// packed data and Version.dat files of the wrong size. Each case states the reaction.

#include "tests/hardening/RegistryRig.h"
#include "tests/hardening/UpdaterRig.h"

#include <gtest/gtest.h>

#include <iostream>
#include <ostream>
#include <string>
#include <vector>

namespace hardening {
namespace {

Bytes bytes(std::initializer_list<int> values)
{
    return common::byteString(values);
}

Bytes frame(const Bytes &body)
{
    return *common::BuildPacket(body, common::PacketKind::Plain);
}

Bytes longBytes(std::uint32_t value)
{
    return bytes({static_cast<int>(value >> 24), static_cast<int>((value >> 16) & 0xFF),
                  static_cast<int>((value >> 8) & 0xFF), static_cast<int>(value & 0xFF)});
}

// What follows the case in the stream.
enum class After
{
    NextPacketHandled, // the stream stays in step: the packet after it is handled
    Waits,             // a length that runs past what arrived: everything after it waits
    Finishes,          // the Updater ends its pass (nothing after it is read)
    Closes,            // the Updater closes the connection (nothing after it is read)
};

// =========================================================================================
// Registry client

struct RegistryCase
{
    std::string name;
    Bytes wire;
    std::vector<Bytes> calls; // what the window is told, in order
    std::vector<Bytes> sent;  // bodies sent back
    After after = After::NextPacketHandled;
};

void PrintTo(const RegistryCase &c, std::ostream *os)
{
    *os << c.name;
}

const Bytes kRegistrySentinel = frame(Bytes(1, '\x07') + "sentinel");

std::vector<RegistryCase> registryCases()
{
    std::vector<RegistryCase> cases;
    const auto ignored = [&](std::string name, const Bytes &body) {
        cases.push_back({std::move(name), frame(body), {}, {}, After::NextPacketHandled});
    };

    // Every message cut short inside its fixed part (framed correctly, so the stream stays
    // in step): nothing happens.
    const struct
    {
        const char *name;
        Bytes body;
        std::size_t fixedLength; // shortest complete body
    } messages[] = {
        {"VersionAccepted", bytes({0, 0, 9}), 3},
        {"ServerEntry",
         bytes({1, 5, 1, 12}) + Bytes("Name\0Admin\0"
                                      "1.2.3.4",
                                      18),
         15},
        {"BootNotice", bytes({2, 3}), 2},
        {"LoginAccepted", bytes({5, 2, 0}) + "bob", 3},
        {"ServerCreated", bytes({5, 5, 1}), 3},
    };
    for (const auto &m : messages) {
        // A body of one byte is the bare type (below); cuts start at two bytes, except for
        // messages whose type alone is already shorter than their fixed part.
        for (std::size_t cut = 1; cut < m.fixedLength; ++cut) {
            if (cut == 1 && m.body[0] != '\x01' && m.body[0] != '\x02')
                continue; // bare types 0, 5 and 6 are cases of their own below
            ignored(std::string(m.name) + "_CutAfter" + std::to_string(cut) + "Bytes",
                    m.body.substr(0, cut));
        }
    }

    // The bare type, a body of length 1.
    cases.push_back({"BareType0_Version", frame(bytes({0})), {}, {}});
    cases.push_back({"BareType3_MyAddressReplyEmpty", frame(bytes({3})), {"address:"}, {}});
    cases.push_back({"BareType4_ServerPingAnswered", frame(bytes({4})), {}, {bytes({2})}});
    cases.push_back({"BareType5_AccountReply", frame(bytes({5})), {}, {}});
    cases.push_back({"BareType6_UserList", frame(bytes({6})), {}, {}});
    // UserListAdd takes the name from its fourth byte on, which may be nothing at all.
    cases.push_back({"UserListAdd_NothingAfterSubType", frame(bytes({6, 1})), {"user:"}, {}});
    cases.push_back({"UserListAdd_OnlyTheSkippedByte", frame(bytes({6, 1, 'x'})), {"user:"}, {}});
    cases.push_back({"BareType7_EmptyChatLineAddsNothing", frame(bytes({7})), {}, {}});
    cases.push_back({"BareType8_ServerListClear", frame(bytes({8})), {"clearRows", "count:0"}, {}});
    ignored("BareType9_Unknown", bytes({9}));
    ignored("BareType255_Unknown", bytes({255}));

    // Out-of-range values.
    for (int index : {0, 31, 32, 128, 255})
        ignored("ServerEntry_Index" + std::to_string(index),
                bytes({1, index, 1, 2}) + Bytes("Srv\0Adm\0addr", 12));
    for (int code : {6, 7, 128, 255})
        ignored("BootNotice_Code" + std::to_string(code), bytes({2, code}));
    for (int sub : {2, 128, 255})
        ignored("Version_SubType" + std::to_string(sub), bytes({0, sub, 0}));
    for (int sub : {6, 7, 255})
        ignored("AccountReply_SubType" + std::to_string(sub), bytes({5, sub, 0}));
    for (int sub : {2, 255})
        ignored("UserList_SubType" + std::to_string(sub), bytes({6, sub, 0}) + "x");
    for (int type : {9, 10, 64, 128, 200, 254})
        ignored("UnknownType" + std::to_string(type) + "_WithFields",
                bytes({type, 0, 1}) + "payload");

    // Missing NUL separators in ServerEntry.
    ignored("ServerEntry_NoSeparator", bytes({1, 3, 1, 2}) + "NameAdminAddress");
    ignored("ServerEntry_OneSeparator", bytes({1, 3, 1, 2}) + Bytes("Name\0AdminAddress", 17));
    ignored("ServerEntry_OneSeparatorAtEnd", bytes({1, 3, 1, 2}) + Bytes("Name\0", 5));
    ignored("ServerEntry_OnlyFixedFields", bytes({1, 3, 1, 2}));

    // Texts are taken as they come, NUL bytes included.
    cases.push_back({"ChatLine_WithNulBytes",
                     frame(bytes({7}) + Bytes("a\0b\0", 4)),
                     {Bytes("chat:a\0b\0", 9)},
                     {}});

    // Length words.
    cases.push_back({"Length0_Skipped", bytes({0, 0}), {}, {}});
    cases.push_back({"Length0_ThreeInARow", bytes({0, 0, 0, 0, 0, 0}), {}, {}});
    {
        const Bytes text(65534, 'c');
        cases.push_back({"Length65535_ChatLine", frame(bytes({7}) + text), {"chat:" + text}, {}});
        const Bytes address(65535 - 4 - 8, '7');
        cases.push_back({"Length65535_ServerEntry",
                         frame(bytes({1, 7, 0, 3}) + Bytes("Srv\0Adm\0", 8) + address),
                         {"row:7|Offline|Srv|3|Adm", "count:1"},
                         {}});
        ignored("Length65535_UnknownType", bytes({200}) + Bytes(65534, 'u'));
    }
    cases.push_back(
        {"LengthBeyondData_100of3", bytes({0, 100, 7, 'a', 'b'}), {}, {}, After::Waits});
    cases.push_back({"LengthBeyondData_65535of100",
                     bytes({255, 255, 7}) + Bytes(99, 'z'),
                     {},
                     {},
                     After::Waits});
    cases.push_back(
        {"LengthBeyondData_HighBitLength", bytes({128, 1, 7, 'x'}), {}, {}, After::Waits});
    // A length word with nothing after it takes the next packet's first bytes as its body;
    // that body is an unknown sub-type and the rest of the stream waits.
    cases.push_back({"LengthWordAlone_SwallowsNextPacket", bytes({0, 5}), {}, {}, After::Waits});
    return cases;
}

class RegistryMalformed : public ::testing::TestWithParam<RegistryCase>
{
};

TEST_P(RegistryMalformed, DefinedReaction)
{
    const RegistryCase &c = GetParam();
    RegistryRig rig;
    rig.main.deliver(c.wire);
    rig.main.deliver(kRegistrySentinel);

    std::vector<Bytes> expected = c.calls;
    if (c.after == After::NextPacketHandled)
        expected.push_back("chat:sentinel");
    EXPECT_EQ(rig.view.calls, expected);
    EXPECT_EQ(rig.sentBodies(), c.sent);
    EXPECT_TRUE(rig.client->connected());
    EXPECT_FALSE(rig.client->quitRequested());
    if (c.calls.empty()) {
        for (int i = 1; i <= registry::ServerTable::kSlots; ++i)
            EXPECT_TRUE(rig.client->servers().slot(i).name.empty()) << "slot " << i;
    }

    if (c.after == After::Waits) {
        // The cut packet dies with its connection; the next connection starts clean.
        rig.main.dropConnection();
        rig.clock.advance(registry::kConnectIntervalMs);
        rig.client->onTimer();
        rig.main.acceptConnection();
        rig.main.deliver(kRegistrySentinel);
        ASSERT_FALSE(rig.view.calls.empty());
        EXPECT_EQ(rig.view.calls.back(), "chat:sentinel");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, RegistryMalformed, ::testing::ValuesIn(registryCases()),
                         [](const auto &p) { return p.param.name; });

// The complete forms of the messages cut above do have an effect, so the cuts prove
// something.
TEST(RegistryMalformedControls, CompleteMessagesAct)
{
    {
        RegistryRig rig;
        rig.main.deliver(frame(bytes({0, 0, 9})));
        EXPECT_EQ(rig.sentBodies(), std::vector<Bytes>{bytes({3, 1}) + Bytes("alice\0secret", 12)});
    }
    {
        RegistryRig rig;
        rig.main.deliver(frame(bytes({1, 5, 1, 12}) + Bytes("Name\0Admin\0"
                                                            "1.2.3.4",
                                                            18)));
        EXPECT_EQ(rig.view.calls, (std::vector<Bytes>{"row:5|Online|Name|12|Admin", "count:1"}));
    }
    {
        RegistryRig rig;
        rig.main.deliver(frame(bytes({6, 1, 'x'}) + "carol"));
        EXPECT_EQ(rig.view.calls, std::vector<Bytes>{"user:carol"});
    }
    {
        RegistryRig rig;
        rig.main.deliver(frame(bytes({5, 5, 1})));
        EXPECT_EQ(rig.view.messages,
                  std::vector<Bytes>{"Your Server has been created succesfully!"});
    }
}

// =========================================================================================
// Updater

struct UpdaterCase
{
    std::string name;
    Bytes wire;
    std::vector<Bytes> log; // lines logged, in order
    After after = After::NextPacketHandled;
    std::vector<std::string> changed; // paths below the sandbox that may change
};

UpdaterCase makeCase(std::string name, Bytes wire, std::vector<Bytes> log,
                     After after = After::NextPacketHandled, std::vector<std::string> changed = {})
{
    UpdaterCase c;
    c.name = std::move(name);
    c.wire = std::move(wire);
    c.log = std::move(log);
    c.after = after;
    c.changed = std::move(changed);
    return c;
}

void PrintTo(const UpdaterCase &c, std::ostream *os)
{
    *os << c.name;
}

Bytes ignoredLine(const char *what)
{
    return Bytes("Ignored an invalid message from the Update Server (") + what + ").";
}

const Bytes kUpdaterSentinel = setLaunchFile("Sentinel.exe");

std::vector<UpdaterCase> updaterCases()
{
    std::vector<UpdaterCase> cases;
    const auto refused = [&](std::string name, const Bytes &body, const char *what) {
        cases.push_back(makeCase(std::move(name), frame(body), {ignoredLine(what)}));
    };
    const auto silent = [&](std::string name, const Bytes &body) {
        cases.push_back(makeCase(std::move(name), frame(body), {}));
    };

    // Bare types.
    // An empty launch file names the client folder; the hand-over then uses its fallbacks.
    cases.push_back(makeCase("BareType0_SetLaunchFileEmptyIsTheClientFolder", frame(bytes({0})), {},
                             After::NextPacketHandled, {"prog/Settings.ini"}));
    refused("BareType1_FolderEntry", bytes({1}), "folder");
    refused("BareType2_FileCount", bytes({2}), "file count");
    refused("BareType3_FileInfo", bytes({3}), "file info");
    cases.push_back(makeCase("BareType4_FileListEndEndsThePass", frame(bytes({4})),
                             {"No Update Required."}, After::Finishes, {"prog/Version.dat"}));
    // A FileData without its index and size is skipped; one that has them but is refused
    // is followed by what cannot be framed, so the connection ends.
    const auto closes = [&](std::string name, const Bytes &body) {
        cases.push_back(makeCase(std::move(name), frame(body),
                                 {ignoredLine("file data"),
                                  "Connection closed: the file that follows cannot be received."},
                                 After::Closes));
    };
    refused("BareType5_FileData", bytes({5}), "file data");

    // FolderEntry.
    for (int number : {0, 16, 128, 255})
        refused("FolderEntry_Number" + std::to_string(number), bytes({1, number}) + "Maps\\",
                "folder");
    refused("FolderEntry_NoTrailingSeparator", bytes({1, 1}) + "Maps", "folder");
    silent("FolderEntry_NumberOnlyIsTheClientFolder", bytes({1, 1}));

    // FileCount.
    silent("FileCount_TrailingBytesIgnored", bytes({2, 3, 9, 9, 9}));
    silent("FileCount_255_MoreThanTheTableHolds", bytes({2, 255}));
    silent("FileCount_0", bytes({2, 0}));

    // FileInfo cut short at every byte of its fixed part, and out of range.
    const Bytes info = bytes({3, 2}) + longBytes(1234) + Bytes("a.txt\0", 6);
    for (std::size_t cut = 2; cut <= 6; ++cut)
        refused("FileInfo_CutAfter" + std::to_string(cut) + "Bytes", info.substr(0, cut),
                "file info");
    refused("FileInfo_NameWithoutSeparator", bytes({3, 2}) + longBytes(1234) + "a.txt",
            "file info");
    refused("FileInfo_EmptyNameOnAFreshEntry",
            bytes({3, 2}) + longBytes(1234) + Bytes("\0Data\\", 6), "file info");
    for (int index : {251, 252, 255})
        refused("FileInfo_Index" + std::to_string(index),
                bytes({3, index}) + longBytes(1234) + Bytes("a.txt\0", 6), "file info");
    refused("FileInfo_Version0x80000000",
            bytes({3, 2}) + longBytes(0x80000000u) + Bytes("a.txt\0", 6), "file info");
    refused("FileInfo_Version0xFFFFFFFF",
            bytes({3, 2}) + longBytes(0xFFFFFFFFu) + Bytes("a.txt\0", 6), "file info");

    refused("FileInfo_FolderWithoutTrailingSeparator",
            bytes({3, 2}) + longBytes(1234) + Bytes("a.txt\0Data", 10), "file info");
    refused("FileInfo_NameWithSeparator", bytes({3, 2}) + longBytes(1234) + Bytes("a\\b.txt\0", 8),
            "file info");
    refused("FolderEntry_EmptySegment", bytes({1, 2}) + "Maps\\\\", "folder");

    // FileData cut short, out of range, too large.
    const Bytes data = bytes({5, 2}) + longBytes(10);
    for (std::size_t cut = 2; cut <= 5; ++cut)
        refused("FileData_CutAfter" + std::to_string(cut) + "Bytes", data.substr(0, cut),
                "file data");
    for (int index : {251, 255})
        closes("FileData_Index" + std::to_string(index), bytes({5, index}) + longBytes(10));
    closes("FileData_Size0x80000000", bytes({5, 2}) + longBytes(0x80000000u));
    closes("FileData_Size0xFFFFFFFF", bytes({5, 2}) + longBytes(0xFFFFFFFFu));
    closes("FileData_SizeAbove1GiB", bytes({5, 2}) + longBytes((1u << 30) + 1));

    // A file pushed for an entry the server never described has nowhere to go; like every
    // completed file it moves the pass on, and with nothing asked for the pass ends.
    cases.push_back(makeCase("FileData_ForAnUndescribedEntry", fileDataHeader(7, 3) + "abc",
                             {"Unable to write file: ", "No Update Required."}, After::Finishes,
                             {"prog/Version.dat"}));

    // Types the Updater does not know.
    for (int type : {6, 7, 100, 128, 255})
        silent("UnknownType" + std::to_string(type), bytes({type, 1, 2, 3}) + "payload");

    // Length words.
    cases.push_back(makeCase("Length0_Skipped", bytes({0, 0}), {}));
    cases.push_back(makeCase("Length0_ThreeInARow", bytes({0, 0, 0, 0, 0, 0}), {}));
    silent("Length65535_UnknownType", bytes({200}) + Bytes(65534, 'u'));
    silent("Length65535_FileCountTrailingBytes", bytes({2, 7}) + Bytes(65533, 't'));
    {
        const Bytes folder = Bytes(65532, 'A') + "\\"; // too long a name for any file system
        cases.push_back(makeCase("Length65535_FolderEntryNameTooLong",
                                 frame(bytes({1, 1}) + folder),
                                 {"Unable to create folder: " + folder}));
    }
    cases.push_back(makeCase("LengthBeyondData_100of2", bytes({0, 100, 0, 'a'}), {}, After::Waits));
    cases.push_back(makeCase("LengthBeyondData_65535of1", bytes({255, 255, 0}), {}, After::Waits));
    cases.push_back(
        makeCase("LengthBeyondData_HighBitLength", bytes({128, 0, 0}), {}, After::Waits));
    return cases;
}

class UpdaterMalformed : public ::testing::TestWithParam<UpdaterCase>
{
};

TEST_P(UpdaterMalformed, DefinedReaction)
{
    const UpdaterCase &c = GetParam();
    UpdaterRig rig;
    rig.startRun();
    const std::size_t firstLine = rig.view.logged.size();
    Snapshot before = snapshot(rig.sandbox);

    rig.transport->deliver(c.wire);
    rig.transport->deliver(kUpdaterSentinel);

    const std::vector<Bytes> logged(rig.view.logged.begin() + static_cast<long>(firstLine),
                                    rig.view.logged.end());
    EXPECT_EQ(logged, c.log);
    EXPECT_EQ(rig.passEnded(), c.after == After::Finishes);
    const Bytes sentinelPath = rig.store->clientFolder() + "Sentinel.exe";
    const auto launchFile = [&] {
        return rig.store->ReadSetting("Client", "Launch Application File");
    };
    EXPECT_EQ(launchFile() == sentinelPath, c.after == After::NextPacketHandled);

    Snapshot after = snapshot(rig.sandbox);
    if (c.after == After::NextPacketHandled) {
        before.erase("prog/Settings.ini");
        after.erase("prog/Settings.ini");
    }
    for (const auto &path : c.changed) {
        before.erase(path);
        after.erase(path);
    }
    EXPECT_EQ(before, after) << describeChanges(before, after);

    EXPECT_EQ(rig.transport->state() == common::Transport::State::Closed, c.after == After::Closes);
    if (c.after == After::Waits || c.after == After::Closes) {
        if (c.after == After::Waits)
            rig.transport->dropConnection();
        rig.reconnect();
        rig.transport->deliver(kUpdaterSentinel);
        EXPECT_EQ(launchFile(), sentinelPath);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdaterMalformed, ::testing::ValuesIn(updaterCases()),
                         [](const auto &p) { return p.param.name; });

// =========================================================================================
// Packed data: refused by Unpack, and through a whole transfer the old file stays.

struct ContainerCase
{
    std::string name;
    Bytes container; // what follows PackedMarker
};

void PrintTo(const ContainerCase &c, std::ostream *os)
{
    *os << c.name;
}

Bytes littleEndian(std::uint32_t value)
{
    return bytes({static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF), static_cast<int>(value >> 24)});
}

std::vector<ContainerCase> containerCases()
{
    const Bytes content = "The quick brown fox jumps over the lazy dog, again and again and again.";
    const Bytes good = updater::Pack(content);
    const Bytes stream = good.substr(4);
    const auto n = static_cast<std::uint32_t>(content.size());
    Bytes flipped = stream;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
    Bytes badChecksum = stream;
    badChecksum.back() = static_cast<char>(badChecksum.back() ^ 1);

    return {
        {"Header0", littleEndian(0) + stream},
        {"Header0xFFFFFFFF", littleEndian(0xFFFFFFFFu) + stream},
        {"Header0x80000000", littleEndian(0x80000000u) + stream},
        {"Header0x7FFFFFFF", littleEndian(0x7FFFFFFFu) + stream},
        {"HeaderAbove1GiB", littleEndian((1u << 30) + 1) + stream},
        {"UnpacksToMoreThanHeader", littleEndian(n - 1) + stream},
        {"UnpacksToFarMoreThanHeader", littleEndian(1) + stream},
        {"UnpacksToLessThanHeader", littleEndian(n + 1) + stream},
        {"UnpacksToFarLessThanHeader", littleEndian(n * 100) + stream},
        {"DamagedStream", littleEndian(n) + flipped},
        {"BadChecksum", littleEndian(n) + badChecksum},
        {"StreamCutShort", littleEndian(n) + stream.substr(0, stream.size() - 5)},
        {"HeaderOnly", littleEndian(n)},
        {"HeaderAndOneByte", littleEndian(n) + stream.substr(0, 1)},
        {"ShorterThanHeader", bytes({5, 0, 0})},
        {"OneByte", bytes({5})},
        {"NotAZlibStream", littleEndian(n) + Bytes(40, 'g')},
    };
}

class PackedMalformed : public ::testing::TestWithParam<ContainerCase>
{
};

TEST_P(PackedMalformed, RefusedAndOldFileKept)
{
    const ContainerCase &c = GetParam();
    EXPECT_FALSE(updater::Unpack(c.container).has_value());

    UpdaterRig rig;
    writeFile(rig.client() / "pack.dat", "old pack content");
    rig.startRun();
    ServedFile file;
    file.index = 2;
    file.name = "pack.dat";
    file.content = "new";
    file.wireOverride = updater::PackedMarker() + c.container;
    rig.server->files = {file};
    rig.server->serve();

    EXPECT_TRUE(rig.logHas("Unable to write file: pack.dat")) << rig.log();
    EXPECT_TRUE(rig.logHas("Update Incomplete: 1 file(s) could not be written.")) << rig.log();
    EXPECT_TRUE(rig.passEnded());
    EXPECT_EQ(readFile(rig.client() / "pack.dat"), "old pack content");
    EXPECT_TRUE(temporaryFiles(rig.sandbox).empty());
    // Not recorded as current, so the next run fetches it again.
    EXPECT_EQ(readFile(rig.program / "Version.dat"), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, PackedMalformed, ::testing::ValuesIn(containerCases()),
                         [](const auto &p) { return p.param.name; });

// =========================================================================================
// Version.dat of every kind of wrong size is ignored as a whole; a good one is consulted.

struct VersionDatCase
{
    std::string name;
    std::size_t size;
    bool consulted;
    bool negativeVersion = false;
};

void PrintTo(const VersionDatCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<VersionDatCase> versionDatCases()
{
    std::vector<VersionDatCase> cases;
    for (std::size_t size :
         {0u, 1u, 2u, 4u, 40u, 78u, 80u, 100u, 157u, 159u, 236u, 238u, 789u, 791u})
        cases.push_back({"Size" + std::to_string(size) + "_Ignored", size, false});
    for (std::size_t size : {79u, 158u, 237u, 790u})
        cases.push_back({"Size" + std::to_string(size) + "_Consulted", size, true});
    cases.push_back({"VersionFieldWithHighBit_Downloads", 79, false, true});
    return cases;
}

class VersionDatMalformed : public ::testing::TestWithParam<VersionDatCase>
{
};

TEST_P(VersionDatMalformed, ConsultedOnlyWhenWholeRecords)
{
    const VersionDatCase &c = GetParam();
    UpdaterRig rig;
    writeFile(rig.client() / "a.txt", "hello");
    ServedFile file;
    file.name = "a.txt";
    file.content = "hello";
    const std::int32_t computed = file.version();
    const std::int32_t recorded = computed + 1000; // what the server announces

    Bytes content;
    if (c.size >= 79) {
        content = updater::VersionRecord(recorded, "", "a.txt");
        if (c.negativeVersion)
            content.replace(0, 4, bytes({0x80, 0, 0, 1}));
        while (content.size() + 79 <= c.size)
            content += updater::VersionRecord(7, "Other\\", "other.txt");
    }
    content.resize(c.size, 'x');
    writeFile(rig.program / "Version.dat", content);

    rig.startRun();
    rig.transport->deliver(fileCount(1) + fileInfo(2, recorded, "a.txt", ""));
    // Reading it never changes it.
    EXPECT_EQ(readFile(rig.program / "Version.dat"), content);
    // The file is asked for when its version was not taken from Version.dat.
    rig.transport->deliver(fileListEnd());
    const bool requested = rig.transport->sends().back() == updatertest::fileRequest(2);
    EXPECT_EQ(requested, !c.consulted);
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionDatMalformed, ::testing::ValuesIn(versionDatCases()),
                         [](const auto &p) { return p.param.name; });

// The number of named malformed-input cases, for the record.
TEST(MalformedInputSuite, HasAtLeast150Cases)
{
    const std::size_t total = registryCases().size() + updaterCases().size() +
                              containerCases().size() + versionDatCases().size();
    RecordProperty("cases", static_cast<int>(total));
    std::cout << "malformed-input cases: " << total << " (registry " << registryCases().size()
              << ", updater " << updaterCases().size() << ", packed " << containerCases().size()
              << ", Version.dat " << versionDatCases().size() << ")\n";
    EXPECT_GE(total, 150u);
}

} // namespace
} // namespace hardening
