#include "updater/files/FileStore.h"
#include "updater/files/WindowsNames.h"

#include "TempFolder.h"
#include "common/Codec.h"
#include "common/Platform.h"
#include "tests/support/Links.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using common::Bytes;
using common::byteString;
using namespace updater;
namespace fs = std::filesystem;

namespace {

Bytes packed(const Bytes &content)
{
    return PackedMarker() + Pack(content);
}

class FileStoreTest : public ::testing::Test
{
protected:
    FileStoreTest()
        : m_program(m_temp.path() / "Game"), m_outside(m_temp.path() / "outside"),
          m_store(m_program.string())
    {
        fs::create_directories(m_program);
        fs::create_directories(m_outside);
        EXPECT_EQ(m_store.EnsureClientFolder(), FileError::None);
    }

    fs::path client() const { return m_program / "Client"; }
    Bytes clientPath(const Bytes &relative) const { return m_store.clientFolder() + relative; }
    fs::path versionFile() const { return m_program / "Version.dat"; }

    FileEntry entry(const Bytes &folder, const Bytes &name, std::int32_t version) const
    {
        FileEntry e;
        e.folder = folder;
        e.fileName = name;
        e.fullPath = m_store.clientFolder() + folder + name;
        e.version = version;
        return e;
    }

    TempFolder m_temp;
    fs::path m_program;
    fs::path m_outside;
    FileStore m_store;
};

} // namespace

TEST(PathConfinement, FoldersNamesAndRelativePaths)
{
    const struct
    {
        Bytes folder;
        bool safe;
    } folders[] = {
        {"", true},
        {"Maps\\", true},
        {"Maps\\Town\\", true},
        {"Sound Effects\\v1.2\\", true},
        {"Maps", false},     // not a folder form
        {"\\", false},       // empty segment
        {"\\Maps\\", false}, // absolute
        {"\\\\host\\share\\", false},
        {"C:\\Maps\\", false}, // drive letter
        {"Maps:x\\", false},   // stream name
        {"..\\", false},
        {"Maps\\..\\..\\", false},
        {".\\Maps\\", false},
        {"Maps\\\\Town\\", false}, // empty segment
        {"Maps/Town\\", false},    // second separator
        {"Maps\\Town.\\", false},  // trailing dot
        {"Maps\\Town \\", false},  // trailing blank
        {"CON\\", false},
        {"Maps\\aux.txt\\", false},
        {"lpt1\\", false},
        {Bytes("Ma\0ps\\", 6), false},
        {"Ma\x01ps\\", false},
        {"Ma*ps\\", false},
    };
    for (const auto &c : folders)
        EXPECT_EQ(IsSafeFolder(c.folder), c.safe) << c.folder;

    const struct
    {
        Bytes name;
        bool safe;
    } names[] = {
        {"Game.exe", true},   {".config", true},   {"", false},          {".", false},
        {"..", false},        {"a\\b", false},     {"a/b", false},       {"c:x", false},
        {"nul", false},       {"COM3.dat", false}, {"Game.exe.", false}, {"tab\tname", false},
        {"Comics.dat", true}, {"LPT.txt", true},
    };
    for (const auto &c : names)
        EXPECT_EQ(IsSafeFileName(c.name), c.safe) << c.name;

    EXPECT_TRUE(IsSafeRelativePath("Bin\\Game.exe"));
    EXPECT_TRUE(IsSafeRelativePath("Registry.exe"));
    EXPECT_FALSE(IsSafeRelativePath("Bin\\"));
    EXPECT_FALSE(IsSafeRelativePath("\\Game.exe"));
    EXPECT_FALSE(IsSafeRelativePath("..\\Game.exe"));
    EXPECT_FALSE(IsSafeRelativePath("C:\\Windows\\evil.exe"));
}

TEST_F(FileStoreTest, PathForms)
{
    EXPECT_EQ(m_store.clientFolder(), m_program.string() + "\\Client\\");
    EXPECT_EQ(m_store.programFile("zlib.dll"), m_program.string() + "\\zlib.dll");
    EXPECT_TRUE(m_store.FolderExists(m_store.clientFolder()));
}

TEST_F(FileStoreTest, MakeFoldersCreatesEveryLevelOutermostFirst)
{
    fs::create_directories(client() / "Maps");
    writeFile(client() / "Maps" / "keep.map", "old");

    EXPECT_EQ(m_store.MakeFolders("Maps\\Town\\"), FileError::None);
    EXPECT_TRUE(fs::is_directory(client() / "Maps" / "Town"));
    EXPECT_EQ(readFile(client() / "Maps" / "keep.map"), "old");

    // Text after the last "\" is a folder too, and the walk ends.
    EXPECT_EQ(m_store.MakeFolders("Sound\\Music"), FileError::None);
    EXPECT_TRUE(fs::is_directory(client() / "Sound" / "Music"));
    EXPECT_EQ(m_store.MakeFolders("Single"), FileError::None);
    EXPECT_TRUE(fs::is_directory(client() / "Single"));
    EXPECT_EQ(m_store.MakeFolders(""), FileError::None);
}

TEST_F(FileStoreTest, MakeFoldersRefusesWhatLeavesTheClientFolder)
{
    if (!testsupport::PlantLink(m_outside, client() / "Link", true))
        GTEST_SKIP() << "this system makes no symbolic links";
    const Bytes refused[] = {"..\\..\\outside\\x\\", "\\tmp\\x\\", "C:\\x\\", "Link\\Sub\\",
                             "Maps\\..\\..\\x\\"};
    for (const Bytes &folder : refused)
        EXPECT_EQ(m_store.MakeFolders(folder), FileError::UnsafePath) << folder;
    EXPECT_TRUE(listAll(m_outside).empty());
    EXPECT_EQ(listAll(client()), std::set<std::string>{"Link"});
    EXPECT_EQ(listAll(m_temp.path()).count("x"), 0u);
}

// A folder path (below the client folder) longer than Windows can create is refused before
// any level is made; one that just fits is made, level by level.
TEST_F(FileStoreTest, MakeFoldersKeepsToWhatWindowsCanCreate)
{
    Bytes fits;
    while (fits.size() + 2 <= kMaxFolderPath + 1)
        fits += "y\\";
    if (fits.size() < kMaxFolderPath + 1)
        fits.insert(0, "z");
    ASSERT_EQ(fits.size() - 1, kMaxFolderPath);
    EXPECT_EQ(m_store.MakeFolders(fits), FileError::None);
    EXPECT_TRUE(fs::is_directory(client() / common::LocalPath(fits)));
    testsupport::RemoveAll(client());
    fs::create_directories(client());
    EXPECT_EQ(m_store.MakeFolders("x" + fits), FileError::CreateFailed);
    EXPECT_EQ(m_store.MakeFolders(Bytes(2000, 'y') + "\\"), FileError::CreateFailed);
    EXPECT_TRUE(listAll(client()).empty());
}

namespace {

#ifdef _WIN32
// How the system names a path of the game's code page (1252), "/" separated. The tests'
// bytes stand for the characters of the same number, except 0x80: the euro sign.
std::wstring systemName(const std::string &bytes)
{
    std::wstring out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += b == 0x80 ? L'\u20AC' : b == '/' ? L'\\' : static_cast<wchar_t>(b);
    }
    return out;
}
#endif

// True when `relative` (bytes of the game's code page, "/" separated) lies below `base`
// under the very name the game's own programs use for it.
bool onDisk(const fs::path &base, const std::string &relative)
{
#ifdef _WIN32
    const std::wstring path = L"\\\\?\\" + base.wstring() + L"\\" + systemName(relative);
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    return fs::exists(base / relative);
#endif
}

void setReadOnly(const fs::path &path, bool readOnly)
{
#ifdef _WIN32
    SetFileAttributesW(path.wstring().c_str(),
                       readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
#else
    fs::permissions(path, readOnly ? fs::perms(0444) : fs::perms(0644));
#endif
}

bool isReadOnly(const fs::path &path)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
#else
    return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
#endif
}

} // namespace

// Wherever the player keeps the game (a folder with letters of the 8-bit code page, one of
// any depth), every file operation reaches the file the game's own programs know by that
// name.
TEST(FileStoreAnywhere, EveryOperationWorksWhereverThePlayerKeepsTheGame)
{
    Bytes deep;
    while (deep.size() < 351)
        deep += "a-folder-where-a-player-keeps/";
    const struct
    {
        const char *what;
        Bytes folder; // below a temporary folder, "/" separated
        Bytes name;
    } cases[] = {
        {"8-bit names", "Jeux \x80 \xE9t\xE9", "caf\xE9.txt"},
        {"8-bit name", "Game",
         "\xA5"
         "100.dat"},
        {"deep", deep + "Game", "caf\xE9.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        std::string program = temp.path().string();
        for (std::size_t start = 0; start < c.folder.size();) {
            const std::size_t end = std::min(c.folder.find('/', start), c.folder.size());
            program = common::LocalChild(program, c.folder.substr(start, end - start));
            ASSERT_TRUE(common::CreateFolder(program)) << program;
            start = end + 1;
        }
        FileStore store(program);
        ASSERT_EQ(store.EnsureClientFolder(), FileError::None);
        ASSERT_EQ(store.MakeFolders("Data\\Sub\\"), FileError::None);
        const Bytes path = store.clientFolder() + "Data\\Sub\\" + c.name;
        ASSERT_EQ(store.Write(path, FileContent::Unpack(packed("content"))), FileError::None);
        EXPECT_TRUE(onDisk(temp.path(), c.folder + "/Client/Data/Sub/" + c.name));
        EXPECT_TRUE(store.FileExists(path));
        EXPECT_TRUE(store.FolderExists(store.clientFolder() + "Data\\Sub\\"));
        EXPECT_EQ(store.ReadWholeFile(path), "content");
        EXPECT_EQ(store.ComputeFileVersion(path), common::ByteSum(packed("content")));

        ASSERT_EQ(store.Write(path, FileContent::Unpack("newer")), FileError::None);
        FileTable table;
        table[2] = {c.name, "Data\\Sub\\", path, 5, 7, {}, 5, 0, 0, false};
        ASSERT_EQ(store.SaveVersions(table), FileError::None);
        store.LoadVersions();
        EXPECT_EQ(store.LookupVersion("Data\\Sub\\", c.name), 7);
        EXPECT_TRUE(store.WriteSetting("Client", "Launch Application File", path));
        // Values are read back with 255 bytes at most.
        EXPECT_EQ(store.ReadSetting("Client", "Launch Application File"), path.substr(0, 255));
        EXPECT_TRUE(onDisk(temp.path(), c.folder + "/Settings.ini"));

        EXPECT_TRUE(common::RemoveRegularFile(path));
        EXPECT_FALSE(store.FileExists(path));
    }
}

// A file the player made read-only (files copied from a disc are) is replaced all the same,
// and recorded; it stays read-only.
TEST_F(FileStoreTest, AReadOnlyFileIsReplacedAndRecorded)
{
    writeFile(client() / "ro.txt", "old");
    setReadOnly(client() / "ro.txt", true);
    FileTable table;
    table[2] = entry("", "ro.txt", 5);
    EXPECT_EQ(m_store.Write(table[2].fullPath, FileContent::Unpack("new")), FileError::None);
    EXPECT_EQ(readFile(client() / "ro.txt"), "new");
    EXPECT_TRUE(isReadOnly(client() / "ro.txt"));
    EXPECT_EQ(listAll(client()), std::set<std::string>{"ro.txt"});
    ASSERT_EQ(m_store.SaveVersions(table), FileError::None);
    EXPECT_EQ(readFile(versionFile()), VersionRecord(5, "", "ro.txt"));
    setReadOnly(client() / "ro.txt", false);
}

TEST_F(FileStoreTest, MakeFoldersReportsALevelThatIsAFile)
{
    writeFile(client() / "Maps", "not a folder");
    EXPECT_EQ(m_store.MakeFolders("Maps\\Town\\"), FileError::CreateFailed);
    EXPECT_EQ(readFile(client() / "Maps"), "not a folder");
}

TEST_F(FileStoreTest, ReadWholeFile)
{
    Bytes all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    writeFile(client() / "all.bin", all);
    writeFile(client() / "empty.bin", "");
    EXPECT_EQ(m_store.ReadWholeFile(clientPath("all.bin")), all);
    EXPECT_EQ(m_store.ReadWholeFile(clientPath("empty.bin")), "");
    EXPECT_EQ(m_store.ReadWholeFile(clientPath("missing.bin")), "");
    EXPECT_EQ(m_store.ReadWholeFile(m_store.clientFolder()), "");
}

TEST_F(FileStoreTest, WriteUnpacksMarkedData)
{
    const struct
    {
        const char *what;
        Bytes data;
        Bytes written;
    } cases[] = {
        {"plain", "plain text", "plain text"},
        {"packed", packed("game data \0\xFF"), "game data \0\xFF"},
        {"marker alone", PackedMarker(), ""},
        {"shorter than the marker", byteString({0, 1, 116}), byteString({0, 1, 116})},
        {"marker off by one byte", byteString({0, 1, 116, 5, 29}) + Pack("x"),
         byteString({0, 1, 116, 5, 29}) + Pack("x")},
        {"empty", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(client() / "file.dat", "previous content");
        const FileContent content = FileContent::Unpack(c.data, "an earlier file's buffer");
        EXPECT_EQ(m_store.Write(clientPath("file.dat"), content), FileError::None);
        EXPECT_EQ(readFile(client() / "file.dat"), c.written);
        EXPECT_EQ(content.bytes(), c.written);
        EXPECT_EQ(content.received(), c.data);
        EXPECT_FALSE(m_store.LastWriteFailed(clientPath("file.dat")));
    }
    EXPECT_EQ(listAll(client()), std::set<std::string>{"file.dat"});
}

TEST_F(FileStoreTest, WriteInTheProgramFolderKeepsPermissions)
{
    writeFile(m_program / "Update.exe", "old");
    fs::permissions(m_program / "Update.exe", fs::perms(0755));
    const fs::perms before =
        fs::status(m_program / "Update.exe").permissions(); // as the system keeps them
    EXPECT_EQ(m_store.Write(m_store.programFile("Update.exe"), FileContent::Unpack("new")),
              FileError::None);
    EXPECT_EQ(readFile(m_program / "Update.exe"), "new");
    EXPECT_EQ(fs::status(m_program / "Update.exe").permissions(), before);
#ifndef _WIN32

    // A set-user-ID or set-group-ID bit is never carried over to content from a server.
    fs::permissions(m_program / "Update.exe", fs::perms(06755));
    if ((fs::status(m_program / "Update.exe").permissions() & fs::perms::set_uid) ==
        fs::perms::none)
        GTEST_SKIP() << "this file system keeps no set-user-ID bit";
    EXPECT_EQ(m_store.Write(m_store.programFile("Update.exe"), FileContent::Unpack("newer")),
              FileError::None);
    EXPECT_EQ(fs::status(m_program / "Update.exe").permissions(), fs::perms(0755));
#endif
}

// Every failure leaves the old file as it was, no temporary file, nothing outside, and the
// caller told why.
TEST_F(FileStoreTest, FailedWritesLoseNothing)
{
    const Bytes good = packed("new content");
    Bytes flipped = good;
    flipped[12] = static_cast<char>(flipped[12] ^ 0x40);
    Bytes wrongLength = good;
    wrongLength[5] = 12;

    fs::create_directories(client() / "Maps");
    const bool linked = testsupport::MakeLink(m_outside, client() / "Out", true);
    if (!linked)
        fs::create_directory(client() / "Out"); // wine makes no links: a plain folder stands in
    writeFile(client() / "Plain", "a regular file");
    fs::create_directories(client() / "Busy" / "inner");

    const struct
    {
        const char *what;
        Bytes path;
        Bytes data;
        FileError expected;
    } cases[] = {
        {"damaged stream", clientPath("Maps\\town.map"), flipped, FileError::DamagedData},
        {"length differs", clientPath("Maps\\town.map"), wrongLength, FileError::DamagedData},
        {"marker and 3 bytes", clientPath("Maps\\town.map"), PackedMarker() + "abc",
         FileError::DamagedData},
        {"declared too large", clientPath("Maps\\town.map"),
         PackedMarker() + byteString({1, 0, 0, 0x40}) + "xx", FileError::TooLarge},
        {"traversal", clientPath("..\\..\\outside\\town.map"), good, FileError::UnsafePath},
        {"traversal in the middle", clientPath("Maps\\..\\..\\..\\outside\\x"), good,
         FileError::UnsafePath},
        {"elsewhere", (m_outside / "town.map").string(), good, FileError::UnsafePath},
        {"drive letter", clientPath("C:\\town.map"), good, FileError::UnsafePath},
        {"NUL in the name", clientPath(Bytes("Maps\\a\0b", 8)), good, FileError::UnsafePath},
        {"link out of the folder", clientPath(linked ? "Out\\town.map" : "Out\\..\\..\\x"), good,
         FileError::UnsafePath},
        {"empty path", "", good, FileError::UnsafePath},
        {"parent is a file", clientPath("Plain\\town.map"), good, FileError::CreateFailed},
        {"missing folder", clientPath("Nowhere\\town.map"), good, FileError::CreateFailed},
        {"target is a folder", clientPath("Busy"), good, FileError::RenameFailed},
    };
    writeFile(client() / "Maps" / "town.map", "old content");
    const std::set<std::string> inside = listAll(client()); // what each failure must leave
    EXPECT_EQ(inside.count("Maps/town.map"), 1u);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(client() / "Maps" / "town.map", "old content");
        const FileContent content = FileContent::Unpack(c.data);
        EXPECT_EQ(m_store.Write(c.path, content), c.expected);
        EXPECT_EQ(content.received(), c.data);
        EXPECT_EQ(readFile(client() / "Maps" / "town.map"), "old content");
        EXPECT_TRUE(listAll(m_outside).empty());
        EXPECT_EQ(listAll(client()), inside);
        if (!c.path.empty()) {
            EXPECT_TRUE(m_store.LastWriteFailed(c.path));
        }
    }
    // A later good write clears the mark.
    EXPECT_EQ(m_store.Write(clientPath("Maps\\town.map"), FileContent::Unpack(good)),
              FileError::None);
    EXPECT_FALSE(m_store.LastWriteFailed(clientPath("Maps\\town.map")));
    EXPECT_EQ(readFile(client() / "Maps" / "town.map"), "new content");
}

TEST_F(FileStoreTest, FailureAtEachStepOfTheWrite)
{
    const struct
    {
        WriteStep step;
        FileError expected;
    } cases[] = {
        {WriteStep::CreateTemporary, FileError::CreateFailed},
        {WriteStep::Write, FileError::WriteFailed},
        {WriteStep::Rename, FileError::RenameFailed},
    };
    for (const auto &c : cases) {
        writeFile(client() / "game.dat", "old");
        m_store.setFaultHook([&](WriteStep step) { return step != c.step; });
        EXPECT_EQ(m_store.Write(clientPath("game.dat"), FileContent::Unpack(packed("new"))),
                  c.expected);
        EXPECT_EQ(readFile(client() / "game.dat"), "old");
        EXPECT_EQ(listAll(client()), std::set<std::string>{"game.dat"});
    }
}

TEST_F(FileStoreTest, ReadOnlyFolderKeepsTheOldFile)
{
    fs::create_directories(client() / "Locked");
    writeFile(client() / "Locked" / "game.dat", "old");
    fs::permissions(client() / "Locked", fs::perms(0555));
    // Permission bits do not stop the administrator account: there the system's refusal to
    // create the temporary file is simulated.
#ifdef _WIN32
    if (true) // a read-only folder does not stop writes on Windows
#else
    if (::geteuid() == 0)
#endif
        m_store.setFaultHook([](WriteStep step) { return step != WriteStep::CreateTemporary; });
    EXPECT_EQ(m_store.Write(clientPath("Locked\\game.dat"), FileContent::Unpack("new")),
              FileError::CreateFailed);
    fs::permissions(client() / "Locked", fs::perms(0755));
    EXPECT_EQ(readFile(client() / "Locked" / "game.dat"), "old");
    EXPECT_EQ(listAll(client() / "Locked"), std::set<std::string>{"game.dat"});
}

TEST_F(FileStoreTest, ComputeFileVersion)
{
    writeFile(client() / "empty.dat", "");
    writeFile(client() / "a.txt", "A");
    EXPECT_EQ(m_store.ComputeFileVersion(clientPath("empty.dat")), 150);
    // 150 + 1 (header) + the bytes of zlib's stream for "A"
    EXPECT_EQ(m_store.ComputeFileVersion(clientPath("a.txt")),
              150 + 1 + 0x78 + 0x9C + 0x73 + 0x04 + 0x42 + 0x42);
}

TEST_F(FileStoreTest, ComputeFileVersionWrapsAbove2To31)
{
    // Random bytes do not compress; 18 MiB of them sum to about 2.4e9.
    Bytes content(18u << 20, '\0');
    std::mt19937 gen(7);
    for (char &c : content)
        c = static_cast<char>(gen() & 0xFF);
    writeFile(client() / "big.dat", content);

    std::uint64_t sum = 150;
    for (char c : Pack(content))
        sum += static_cast<unsigned char>(c);
    ASSERT_GT(sum, std::uint64_t{1} << 31);
    EXPECT_EQ(m_store.ComputeFileVersion(clientPath("big.dat")),
              static_cast<std::int32_t>(static_cast<std::uint32_t>(sum)));
}

TEST_F(FileStoreTest, VersionDatOfWrongLengthIsIgnored)
{
    const Bytes record = VersionRecord(999, "", "a.txt");
    ASSERT_EQ(record.size(), 79u);

    for (const Bytes &content : {Bytes(), record.substr(0, 78), record + "x"}) {
        SCOPED_TRACE(content.size());
        writeFile(versionFile(), content);
        m_store.LoadVersions();
        EXPECT_FALSE(m_store.VersionsUsable());
        EXPECT_EQ(m_store.LookupVersion("", "a.txt"), 0);
    }
}

TEST_F(FileStoreTest, VersionDatOfTwoRecordsIsConsulted)
{
    writeFile(versionFile(),
              VersionRecord(111, "", "a.txt") + VersionRecord(-5, "Maps\\", "b.map"));
    m_store.LoadVersions();
    ASSERT_TRUE(m_store.VersionsUsable());

    EXPECT_EQ(m_store.LookupVersion("", "a.txt"), 111);
    EXPECT_EQ(m_store.LookupVersion("Maps\\", "b.map"), -5); // first byte 255: two's complement
    EXPECT_EQ(m_store.LookupVersion("maps\\", "b.map"), 0);  // case matters
    EXPECT_EQ(m_store.LookupVersion("", "c.txt"), 0);
}

TEST_F(FileStoreTest, VersionDatIsReadOncePerPass)
{
    writeFile(client() / "a.txt", "A");
    writeFile(versionFile(), VersionRecord(111, "", "a.txt"));
    m_store.LoadVersions();
    fs::remove(versionFile());
    EXPECT_EQ(m_store.LookupVersion("", "a.txt"), 111);
    m_store.LoadVersions();
    EXPECT_FALSE(m_store.VersionsUsable());
}

TEST_F(FileStoreTest, LongNamesAreStoredAndMatchedByTheirFirst25Bytes)
{
    const Bytes name30 = "abcdefghijklmnopqrstuvwxy12345";
    const Bytes other30 = "abcdefghijklmnopqrstuvwxy67890";
    writeFile(client() / name30, "x");
    FileTable table;
    table[3] = entry("", name30, 42);
    ASSERT_EQ(m_store.SaveVersions(table), FileError::None);
    const Bytes saved = readFile(versionFile());
    ASSERT_EQ(saved.size(), 79u);
    EXPECT_EQ(saved.substr(54), name30.substr(0, 25));

    m_store.LoadVersions();
    EXPECT_EQ(m_store.LookupVersion("", other30), 42);
    EXPECT_EQ(m_store.LookupVersion(Bytes(60, 'F'), "n"),
              0); // a long folder is cut to 50 bytes too, and still must match
}

TEST_F(FileStoreTest, FirstMatchingRecordWins)
{
    writeFile(versionFile(), VersionRecord(1, "", "same") + VersionRecord(2, "", "same"));
    m_store.LoadVersions();
    EXPECT_EQ(m_store.LookupVersion("", "same"), 1);
}

TEST_F(FileStoreTest, KeyStraddlingTwoRecordsIsNoMatch)
{
    // The key of ("", "A") is 50 blanks, "A", 24 blanks. Here it appears from byte 55 on:
    // 24 blanks of record 1's name, record 2's version 0x20202020, then 22 blanks and "A" of
    // record 2's folder.
    const Bytes content =
        VersionRecord(7, "QQ", "Z") + VersionRecord(0x20202020, Bytes(22, ' ') + "A", "tail");
    ASSERT_NE(content.find(Bytes(50, ' ') + "A" + Bytes(24, ' ')), Bytes::npos);
    writeFile(versionFile(), content);
    m_store.LoadVersions();
    EXPECT_EQ(m_store.LookupVersion("", "A"), 0);
}

TEST_F(FileStoreTest, SaveVersionsWritesWhatIsOnDisk)
{
    fs::create_directories(client() / "Maps");
    writeFile(m_program / "zlib.dll", "dll");
    writeFile(client() / "a.txt", "A");
    writeFile(client() / "Maps" / "b.map", "B");
    FileTable table;
    table[0].fileName = "zlib.dll";
    table[0].fullPath = m_store.programFile("zlib.dll");
    table[0].version = 5;
    table[2] = entry("Maps\\", "b.map", 200);
    table[7] = entry("", "missing.txt", 300);
    table[250] = entry("", "a.txt", 100);
    writeFile(versionFile(), Bytes(158, 'x'));

    ASSERT_EQ(m_store.SaveVersions(table), FileError::None);
    EXPECT_EQ(readFile(versionFile()),
              VersionRecord(200, "Maps\\", "b.map") + VersionRecord(100, "", "a.txt"));
    EXPECT_EQ(listAll(m_program).count("Version.dat"), 1u);
    EXPECT_EQ(listAll(m_program).size(), 6u); // zlib.dll, Version.dat, Client and its three

    // Nothing qualifies: an empty Version.dat.
    ASSERT_EQ(m_store.SaveVersions(FileTable{}), FileError::None);
    EXPECT_TRUE(fs::exists(versionFile()));
    EXPECT_EQ(fs::file_size(versionFile()), 0u);
}

TEST_F(FileStoreTest, SaveVersionsLeavesOutFilesWhoseWriteFailed)
{
    writeFile(client() / "a.txt", "old");
    writeFile(client() / "b.txt", "old");
    FileTable table;
    table[1] = entry("", "a.txt", 100);
    table[2] = entry("", "b.txt", 200);
    const Bytes damaged = PackedMarker() + byteString({3, 0, 0, 0}) + "junk";
    EXPECT_EQ(m_store.Write(table[1].fullPath, FileContent::Unpack(damaged)),
              FileError::DamagedData);
    EXPECT_EQ(m_store.Write(table[2].fullPath, FileContent::Unpack(packed("new"))),
              FileError::None);

    ASSERT_EQ(m_store.SaveVersions(table), FileError::None);
    EXPECT_EQ(readFile(versionFile()), VersionRecord(200, "", "b.txt"));

    // Next run: the failed file is looked up as 0 and fetched again.
    m_store.LoadVersions();
    EXPECT_EQ(m_store.LookupVersion("", "a.txt"), 0);
}

TEST_F(FileStoreTest, SaveVersionsWritesRecordsThatLookLikePackedData)
{
    // Version 0x00017405 followed by a folder starting with byte 28 is the packed marker; the
    // manifest must still be written byte for byte.
#ifdef _WIN32
    GTEST_SKIP() << "Windows names hold no control bytes, so no such folder can exist";
#endif
    const Bytes folder = "\x1c"
                         "F\\";
    fs::create_directories(client() / "\x1c"
                                      "F");
    writeFile(client() /
                  "\x1c"
                  "F" /
                  "n",
              "x");
    FileTable table;
    table[1] = entry(folder, "n", 0x00017405);
    ASSERT_EQ(m_store.SaveVersions(table), FileError::None);
    EXPECT_EQ(readFile(versionFile()), VersionRecord(0x00017405, folder, "n"));
}

TEST_F(FileStoreTest, Settings)
{
    EXPECT_EQ(m_store.ReadSetting("Client", "Launch Application File"), "");
    const Bytes path = m_store.clientFolder() + "Registry.exe";
    EXPECT_TRUE(m_store.WriteSetting("Client", "Launch Application File", path));
    EXPECT_EQ(m_store.ReadSetting("client", "LAUNCH APPLICATION FILE"), path);
    EXPECT_TRUE(fs::exists(m_program / "Settings.ini"));

    EXPECT_TRUE(m_store.WriteSetting("Client", "Launch Application File", Bytes(300, 'p')));
    EXPECT_EQ(m_store.ReadSetting("Client", "Launch Application File"), Bytes(255, 'p'));
    EXPECT_FALSE(m_store.WriteSetting("Client", "Launch Application File", "a\r\n[X]"));
    EXPECT_EQ(m_store.ReadSetting("Client", "Launch Application File"), Bytes(255, 'p'));

    // A Settings.ini that is no regular file reads as absent (a pipe would block start-up).
    fs::remove(m_program / "Settings.ini");
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((m_program / "Settings.ini").c_str(), 0600), 0);
    EXPECT_EQ(m_store.ReadSetting("Client", "Launch Application File"), "");
    fs::remove(m_program / "Settings.ini");
#endif
    fs::create_directory(m_program / "Settings.ini");
    EXPECT_EQ(m_store.ReadSetting("Client", "Launch Application File"), "");
}

TEST_F(FileStoreTest, SettingsAreNotWrittenThroughALinkLeadingOut)
{
    writeFile(m_outside / "elsewhere.ini", "[Client]\r\n");
    if (!testsupport::MakeLink(m_outside / "elsewhere.ini", m_program / "Settings.ini", false))
        GTEST_SKIP() << "this system makes no symbolic links (wine)";
    EXPECT_FALSE(m_store.WriteSetting("Client", "Launch Application File", "x"));
    EXPECT_EQ(readFile(m_outside / "elsewhere.ini"), "[Client]\r\n");

    // A link that stays inside the program folder is followed.
    fs::remove(m_program / "Settings.ini");
    writeFile(m_program / "real.ini", "");
    ASSERT_TRUE(testsupport::MakeLink(m_program / "real.ini", m_program / "Settings.ini", false));
    EXPECT_TRUE(m_store.WriteSetting("Client", "Launch Application File", "x"));
    EXPECT_EQ(readFile(m_program / "real.ini"), "[Client]\r\nLaunch Application File=x\r\n");
}

TEST(WindowsNameKey, NamesOfOneFileOnWindowsShareTheirKey)
{
    const struct
    {
        const char *a;
        const char *b;
        bool same;
    } cases[] = {
        {"Data\\a.txt", "DATA\\A.TXT", true},
        {"good.txt", "GOOD.txt", true},
        {"Maps\\Town.\\x. . ", "maps\\town\\X", true},
        {"caf\xE9.txt", "CAF\xC9.TXT", true}, // code page 1252 letters
        {"\x9A\x9C\x9E\xFF\xFE", "\x8A\x8C\x8E\x9F\xDE", true},
        {"a.txt", "a.txt.bak", false},
        {"Data\\a.txt", "Data\\b.txt", false},
        {"x\xF7", "x\xD7", false}, // division and multiplication signs are no letters
        {"Data\\a.txt", "Dat\\aa.txt", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(updater::WindowsNameKey(c.a) == updater::WindowsNameKey(c.b), c.same);
    }
}
