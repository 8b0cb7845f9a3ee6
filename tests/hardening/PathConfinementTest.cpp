// Path confinement: a scripted update server sends one hostile path in every place a path
// can travel (FolderEntry, FileInfo name and folder, SetLaunchFile) and then the files'
// bytes (FileData). Whatever the path, nothing outside the client folder is created or
// changed, checked by a snapshot of the whole sandbox around the program folder. Symbolic
// links planted inside the client folder point out of it. Each system has patterns of its
// own besides the shared ones; Windows adds its rules: "/" separates, case does not count,
// trailing dots and blanks vanish, device names, streams, drives, short names.

#include "tests/hardening/UpdaterRig.h"
#include "tests/support/Links.h"

#include <gtest/gtest.h>

#include <cctype>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

namespace hardening {
namespace {

struct PathCase
{
    std::string name;
    Bytes path;
};

void PrintTo(const PathCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<PathCase> sharedCases()
{
    using namespace std::string_literals;
    return {
        // Parent references, both separators.
        {"DotDot", ".."},
        {"DotDotBackslash", "..\\"},
        {"DotDotTwice", "..\\.."},
        {"DotDotTwiceBackslash", "..\\..\\"},
        {"DotDotToSibling", "..\\..\\outside\\"},
        {"DotDotToSiblingFile", "..\\..\\outside\\victim.txt"},
        {"InnerDotDot", "a\\..\\..\\"},
        {"ClientDotDot", "Client\\..\\..\\"},
        {"DotDotSlash", "../"},
        {"DotDotSlashSibling", "../../outside/"},
        {"DotDotDoubleSlash", "..//"},
        {"InnerDotDotSlash", "a/../../"},
        {"MixedSeparators", "..\\/..\\/"},
        {"DotDotNul", "..\0"s},
        // Absolute paths, drives, UNC and device namespaces.
        {"Slash", "/"},
        {"SlashTmp", "/tmp"},
        {"SlashTmpFile", "/tmp/hardening-escape.txt"},
        {"Backslash", "\\"},
        {"BackslashSibling", "\\outside\\"},
        {"UncShare", "\\\\host\\share"},
        {"UncShareFolder", "\\\\host\\share\\"},
        {"SlashUnc", "//host/share/"},
        {"LongPathPrefix", "\\\\?\\C:\\"},
        {"LongPathUnc", "\\\\?\\UNC\\host\\share\\"},
        {"LongPathDotDot", "\\\\?\\..\\"},
        {"DeviceNamespace", "\\\\.\\PhysicalDrive0"},
        {"DriveRoot", "C:\\"},
        {"DriveFolder", "C:\\Windows\\"},
        {"DriveRelative", "C:x"},
        {"DriveOnly", "C:"},
        {"DriveDotDot", "c:..\\"},
        {"ColonInName", "a:b"},
        {"ColonInFolder", "a:b\\"},
        {"AlternateStream", "file.txt:stream"},
        {"AlternateDataStream", "file.txt::$DATA"},
        // Reserved device names, any case, with and without an extension.
        {"Con", "CON"},
        {"ConLower", "con"},
        {"ConFolder", "CON\\"},
        {"Nul", "NUL"},
        {"NulTxt", "nul.txt"},
        {"Prn", "PRN"},
        {"Aux", "AUX"},
        {"AuxFolder", "aux\\x\\"},
        {"Com1", "COM1"},
        {"Com1Txt", "COM1.txt"},
        {"Com9Log", "com9.log"},
        {"ComSuperscript1", "COM\xB9"},
        {"Lpt1", "LPT1"},
        {"Lpt9Dat", "LPT9.dat"},
        {"ConIn", "CONIN$"},
        {"ConOut", "CONOUT$"},
        {"ConBlankExtension", "CON .txt"},
        // Trailing dots and blanks, empty and "." segments.
        {"TrailingDot", "a."},
        {"TrailingDots", "a.."},
        {"ThreeDots", "..."},
        {"ThreeDotsFolder", "...\\"},
        {"TrailingBlank", "a "},
        {"TrailingBlanksFolder", "a  \\"},
        {"Blank", " "},
        {"BlankFolder", " \\"},
        {"TrailingDotFolder", "a.\\b\\"},
        {"Dot", "."},
        {"DotFolder", ".\\"},
        {"DotThenDotDot", ".\\..\\"},
        {"InnerDot", "a\\.\\b\\"},
        {"EmptySegment", "a\\\\b\\"},
        {"TwoBackslashes", "\\\\"},
        {"Empty", ""},
        // NUL and other control bytes, characters no file name may hold.
        {"NulInside", "a\0b"s},
        {"NulAlone", "\0"s},
        {"NulThenDotDot", "a\0\\..\\..\\"s},
        {"ControlByte", "a\x01"
                        "b"},
        {"Unit separator", "a\x1f"},
        {"Tab", "a\tb"},
        {"LineFeed", "a\nb"},
        {"Star", "a*b"},
        {"Question", "a?b"},
        {"Quote", "a\"b"},
        {"Less", "a<b"},
        {"Greater", "a>b"},
        {"Pipe", "a|b"},
        {"ForwardSlash", "a/b"},
        // Symbolic links planted in the client folder (see plantLinks).
        {"LinkToSibling", "link"},
        {"LinkToSiblingFolder", "link\\"},
        {"LinkToSiblingSub", "link\\sub\\"},
        {"LinkToSiblingFile", "link\\victim.txt"},
        {"LinkToProgramFolder", "up\\"},
        {"LinkToProgramFolderSub", "up\\sub\\"},
        {"LinkToProgramFolderFile", "up\\zlib.dll"},
        {"LinkToProgramFolderVersionDat", "up\\Version.dat"},
        {"FileLinkToSibling", "file.lnk"},
        {"RelativeLinkDeeper", "deep\\inner\\"},
        {"RelativeLinkDeeperFile", "deep\\inner\\victim.txt"},
        {"DanglingLink", "dangling\\"},
        // Odd but harmless: stays inside.
        {"Tilde", "~\\"},
        {"PercentVariable", "%TEMP%\\"},
        {"DollarVariable", "$HOME\\"},
        {"EightBitName", "\xE9t\xE9\\"},
        {"DeepFolder", "a\\b\\c\\d\\e\\f\\"},
        {"NameTooLong", Bytes(300, 'A')},
    };
}

#ifdef _WIN32
std::vector<PathCase> systemCases()
{
    return {
        // Case does not count: the same escapes and names in other spellings.
        {"ClientUpperDotDot", "CLIENT\\..\\..\\"},
        {"ConMixedCase", "cOn"},
        {"NulMixedCaseExtension", "Nul.Dat"},
        {"Com1UpperExtension", "com1.TXT"},
        {"Lpt3MixedCase", "lPt3"},
        {"AuxLogFolder", "AuX.log\\"},
        {"ConTwoExtensions", "CON.tar.gz"},
        {"NulFolderFile", "nul\\x.txt"},
        {"PrnTrailingDot", "PRN."},
        {"Lpt1TrailingBlank", "LPT1 "},
        {"ConOutExtension", "conout$.txt"},
        {"LinkUpper", "LINK\\"},
        {"UpUpperVersionDat", "UP\\VERSION.DAT"},
        // Trailing dots and blanks the system drops.
        {"EvilExeDot", "evil.exe."},
        {"EvilExeBlank", "evil.exe "},
        {"EvilExeDotsAndBlanks", "evil.exe. . "},
        {"DotDotEvilExeDot", "..\\evil.exe."},
        {"ClientDotFolder", "Client.\\"},
        {"DotBlankFolder", ". .\\"},
        {"DotDotBlank", ".. \\"},
        {"DotDotDotFolderEscape", "...\\..\\"},
        // Streams.
        {"StreamData", "x::$DATA"},
        {"VersionDatStream", "Version.dat::$DATA"},
        {"NamedStreamData", "a:b:$DATA"},
        {"StreamFolder", "folder:stream\\"},
        {"IndexAllocation", "x:$I30:$INDEX_ALLOCATION\\"},
        {"BareIndexAllocation", "::$INDEX_ALLOCATION\\"},
        // Drives, UNC names and namespaces.
        {"DriveRelativeDotDot", "C:..\\x"},
        {"OtherDrive", "D:\\x"},
        {"DriveZ", "z:\\tmp\\"},
        {"LongPathFile", "\\\\?\\C:\\x"},
        {"DeviceDrive", "\\\\.\\C:\\x"},
        {"GlobalRoot", "\\\\?\\GLOBALROOT\\"},
        {"AdminShare", "\\\\host\\c$\\"},
        {"SlashLongPath", "//?/C:/x"},
        {"DeviceCon", "\\\\.\\CON"},
        {"NtObjectPath", "\\??\\C:\\x"},
        {"SlashWindows", "/Windows/"},
        // Short names for long ones.
        {"ShortProgramFiles", "PROGRA~1\\"},
        {"ShortClient", "CLIENT~1\\"},
        {"ShortVersionDatAbove", "..\\VERSIO~1.DAT"},
        {"ShortVersionDat", "VERSIO~1.DAT"},
        {"ShortLongLink", "OUTSID~1\\"},
        {"ShortLongLinkFile", "OUTSID~1\\victim.txt"},
        {"LongLink", "outside-by-a-long-name\\"},
        {"LongLinkFile", "outside-by-a-long-name\\victim.txt"},
    };
}
constexpr std::size_t kMinimumPatterns = 120;
#else
std::vector<PathCase> systemCases()
{
    return {
        {"ProcCwd", "/proc/self/cwd/"},
        {"DevShm", "/dev/shm/"},
        {"HomeTilde", "~/"},
    };
}
constexpr std::size_t kMinimumPatterns = 80;
#endif

std::vector<PathCase> pathCases()
{
    std::vector<PathCase> all = sharedCases();
    for (PathCase &c : systemCases())
        all.push_back(std::move(c));
    return all;
}

// Links inside the client folder that lead out of it (under wine links of the host system,
// as players' tools leave them there). A system that makes no links runs these patterns
// against plain names.
void plantLinks(const fs::path &client, const fs::path &sandbox)
{
    fs::create_directories(client / "deep");
    testsupport::PlantLinks({
        {sandbox / "outside", client / "link", true},
        {"..", client / "up", true}, // the program folder
        {sandbox / "outside" / "victim.txt", client / "file.lnk", false},
        {fs::path("..") / ".." / ".." / "outside", client / "deep" / "inner", true},
        {sandbox / "outside" / "missing", client / "dangling", true},
#ifdef _WIN32
        // A long name has a short one besides it.
        {sandbox / "outside", client / "outside-by-a-long-name", true},
#endif
    });
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

class PathConfinement : public ::testing::TestWithParam<PathCase>
{
};

TEST_P(PathConfinement, NothingOutsideTheClientFolderChanges)
{
    const Bytes &p = GetParam().path;
    UpdaterRig rig;
    plantLinks(rig.client(), rig.sandbox);
    writeFile(rig.program / "Version.dat", "");
    writeFile(rig.program / "Settings.ini", "[Client]\r\nLaunch Application File=\r\n");
    const Snapshot before = snapshot(rig.sandbox);

    rig.startRun();
    ScriptedUpdateServer &server = *rig.server;
    server.prologue = folderEntry(1, p) + folderEntry(2, p + "\\") + setLaunchFile(p) +
                      setLaunchFile(p + "\\evil.exe");
    server.files = {
        {2, "", p, "PWNED as a name", false, {}},
        {3, p, "f.txt", "PWNED in a folder", false, {}},
        {4, p + "\\", "g.txt", "PWNED in a folder with a separator", true, {}},
    };
    server.serve();
    rig.clock.advance(10);
    rig.core->onTimer(); // the hand-over
    ASSERT_EQ(rig.view.ended, 1) << rig.log();

    // Outside the client folder only the Updater's own two files may change.
    Snapshot outsideBefore = before;
    Snapshot outsideAfter = snapshot(rig.sandbox);
    for (Snapshot *s : {&outsideBefore, &outsideAfter}) {
        for (auto it = s->begin(); it != s->end();) {
            const bool own = it->first == "prog/Version.dat" || it->first == "prog/Settings.ini";
            if (own || startsWith(it->first, "prog/Client/"))
                it = s->erase(it);
            else
                ++it;
        }
    }
    EXPECT_EQ(outsideBefore, outsideAfter)
        << describeChanges(outsideBefore, outsideAfter) << rig.log();
    // Absolute targets beyond the sandbox.
    EXPECT_FALSE(fs::exists("/tmp/hardening-escape.txt"));
    EXPECT_FALSE(fs::exists("/tmp/f.txt"));
    EXPECT_FALSE(fs::exists("/tmp/g.txt"));

    // Inside: no new links, and everything new resolves inside the client folder.
    const fs::path realClient = fs::canonical(rig.client());
    const Snapshot after = snapshot(rig.sandbox);
    for (const auto &[name, value] : after) {
        if (!startsWith(name, "prog/Client/") || before.count(name))
            continue;
        EXPECT_NE(value.substr(0, 2), "l:") << name;
        const fs::path real = fs::weakly_canonical(rig.sandbox / name);
        EXPECT_TRUE(startsWith(real.string(), (realClient / "").string())) << name;
    }
    EXPECT_TRUE(temporaryFiles(rig.sandbox).empty());

    // The program to start lies in the client folder and is named safely.
    const Bytes client = rig.store->clientFolder();
    const Bytes launch = rig.store->ReadSetting("Client", "Launch Application File");
    if (!launch.empty()) {
        ASSERT_TRUE(startsWith(launch, client)) << launch;
        // The client folder itself (an empty launch file) or a safe path inside it.
        const common::ByteView rest = common::ByteView(launch).substr(client.size());
        EXPECT_TRUE(rest.empty() || updater::IsSafeRelativePath(rest)) << launch;
    }
    for (const Bytes &started : rig.launcher.started)
        EXPECT_TRUE(startsWith(started, client)) << started;

    // Version.dat names only files whose names and folders are safe.
    const Bytes versions = readFile(rig.program / "Version.dat");
    ASSERT_EQ(versions.size() % 79, 0u);
    for (std::size_t at = 0; at < versions.size(); at += 79) {
        const Bytes folder = common::TrimBlanks(versions.substr(at + 4, 50));
        const Bytes name = common::TrimBlanks(versions.substr(at + 54, 25));
        EXPECT_TRUE(updater::IsSafeFolder(folder)) << folder;
        EXPECT_TRUE(updater::IsSafeFileName(name)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, PathConfinement, ::testing::ValuesIn(pathCases()),
                         [](const auto &p) {
                             std::string name = p.param.name;
                             for (char &c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(PathConfinementSuite, HasEnoughPatterns)
{
    std::cout << "path patterns: " << pathCases().size() << " (" << systemCases().size()
              << " of this system)\n";
    EXPECT_GE(pathCases().size(), kMinimumPatterns);
}

// A safe folder and file from the same kind of exchange do arrive, so the refusals above
// are not the store refusing everything.
TEST(PathConfinementSuite, SafePathsAreWritten)
{
    UpdaterRig rig;
    rig.startRun();
    rig.server->prologue = folderEntry(1, "Maps\\Town\\") + setLaunchFile("Bin\\Game.exe");
    rig.server->files = {{3, "Maps\\Town\\", "town.map", "map", true, {}}};
    rig.server->serve();
    EXPECT_EQ(readFile(rig.client() / "Maps" / "Town" / "town.map"), "map");
    EXPECT_EQ(rig.store->ReadSetting("Client", "Launch Application File"),
              rig.store->clientFolder() + "Bin\\Game.exe");
}

} // namespace
} // namespace hardening
