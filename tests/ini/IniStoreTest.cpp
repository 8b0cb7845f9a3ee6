#include "common/IniStore.h"

#include "TempFolder.h"
#include "tests/support/Links.h"

#include <gtest/gtest.h>

using common::Bytes;
using common::ReadIniNumber;
using common::ReadIniString;
using common::WriteIni;
namespace fs = std::filesystem;

namespace {

class IniStoreTest : public ::testing::Test
{
protected:
    Bytes file() const { return (m_temp.path() / "settings.ini").string(); }
    void put(const Bytes &content) const { writeFile(file(), content); }
    Bytes content() const { return readFile(file()); }

    TempFolder m_temp;
};

} // namespace

TEST_F(IniStoreTest, ReadsLikeThePrivateProfileReader)
{
    put("\xEF\xBB\xBF[Start]\r\n"
        "Early=before\r\n"
        "; Comment=not a key\r\n"
        "  [ Account ]  \r\n"
        "  User Name  =  Alice Smith  \r\n"
        "Quoted=\"  spaced  \"\r\n"
        "DoubleQuoted=\"\"x\"\"\r\n"
        "OneQuote=\"\r\n"
        "Inner=a \"b\" c\r\n"
        "Empty=\r\n"
        "Equals=a=b\r\n"
        "Tab\t=\tvalue\t\r\n"
        "line without equals sign\r\n"
        "Long=" +
        Bytes(300, 'v') +
        "\r\n"
        "User Name=second\r\n"
        "[Other]\r\n"
        "Only=other\r\n"
        "[account]\r\n"
        "Late=in a second section of the same name\n"
        "Last=no line end");

    const struct
    {
        Bytes section, key, expected;
    } cases[] = {
        {"Start", "early", "before"},
        {"ACCOUNT", "user name", "Alice Smith"}, // first of two, trimmed, any case
        {"Account", "Quoted", "  spaced  "},
        {"Account", "DoubleQuoted", "\"x\""}, // one pair stripped
        {"Account", "OneQuote", "\""},
        {"Account", "Inner", "a \"b\" c"},
        {"Account", "Empty", ""},
        {"Account", "Equals", "a=b"},
        {"Account", "Long", Bytes(255, 'v')},
        {"Account", "; Comment", ""},
        {"Account", "Late", ""}, // only the first section of a name counts
        {"account", "Tab", "value"},
        {"Other", "only", "other"},
        {"Missing", "Only", ""},
        {"Other", "Missing", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ReadIniString(file(), c.section, c.key), c.expected) << c.section << "/" << c.key;
    EXPECT_EQ(ReadIniString((m_temp.path() / "missing.ini").string(), "Account", "User Name"), "");
}

TEST_F(IniStoreTest, ReadsNumbers)
{
    put("[N]\na=12\nb=-7\nc=+3\nd=12abc\ne=abc\nf=\ng=4294967297\nh=\" 5\"\n");
    const struct
    {
        const char *key;
        std::int32_t expected;
    } cases[] = {{"a", 12}, {"b", -7}, {"c", 3},  {"d", 12},   {"e", 99},
                 {"f", 99}, {"g", 1},  {"h", 99}, {"none", 99}};
    for (const auto &c : cases)
        EXPECT_EQ(ReadIniNumber(file(), "N", c.key, 99), c.expected) << c.key;
    EXPECT_EQ(ReadIniNumber(file(), "N", "none"), 0);
}

TEST_F(IniStoreTest, ReplacesInPlaceAndKeepsEveryOtherByte)
{
    const Bytes before = "; settings\r\n"
                         "[Account]\r\n"
                         "User = bob\r\n"
                         "garbage line\r\n"
                         "\r\n"
                         "AutoLogin=1 ; not a comment\r\n"
                         "[Other]\r\n"
                         "User=other\r\n";
    put(before);
    EXPECT_TRUE(WriteIni(file(), "account", "USER", "carol"));
    Bytes expected = before;
    expected.replace(expected.find("bob"), 3, "carol");
    EXPECT_EQ(content(), expected);

    EXPECT_TRUE(WriteIni(file(), "Account", "AutoLogin", "0"));
    expected.replace(expected.find("1 ; not a comment"), 17, "0");
    EXPECT_EQ(content(), expected);
    EXPECT_EQ(ReadIniString(file(), "Other", "User"), "other");
}

TEST_F(IniStoreTest, WritingTheSameValueAgainChangesNothing)
{
    // Blanks the value brings replace those after "=" instead of adding to them.
    put("[A]\r\nk =  old\r\n");
    EXPECT_TRUE(WriteIni(file(), "A", "k", "  spaced "));
    EXPECT_EQ(content(), "[A]\r\nk =  spaced \r\n");
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(WriteIni(file(), "A", "k", "  spaced "));
        EXPECT_TRUE(WriteIni(file(), "A", "j", "\tx"));
        EXPECT_EQ(content(), "[A]\r\nk =  spaced \r\nj=\tx\r\n");
    }
    EXPECT_EQ(ReadIniString(file(), "A", "k"), "spaced");
}

TEST_F(IniStoreTest, AppendsKeysAndSections)
{
    put("[Account]\r\nUser=bob\r\n\r\n[Other]\r\nX=1"); // last line without a line end
    EXPECT_TRUE(WriteIni(file(), "Account", "Password", "secret"));
    EXPECT_EQ(content(), "[Account]\r\nUser=bob\r\nPassword=secret\r\n\r\n[Other]\r\nX=1");

    EXPECT_TRUE(WriteIni(file(), "Other", "Y", "2"));
    EXPECT_EQ(content(),
              "[Account]\r\nUser=bob\r\nPassword=secret\r\n\r\n[Other]\r\nX=1\r\nY=2\r\n");

    EXPECT_TRUE(WriteIni(file(), "Client", "Launch Application File", "C:\\x.exe"));
    EXPECT_EQ(content(), "[Account]\r\nUser=bob\r\nPassword=secret\r\n\r\n[Other]\r\nX=1\r\nY=2\r\n"
                         "\r\n[Client]\r\nLaunch Application File=C:\\x.exe\r\n");
    EXPECT_EQ(ReadIniString(file(), "client", "launch application file"), "C:\\x.exe");
}

TEST_F(IniStoreTest, AppendsAfterALastLineEndingInACarriageReturn)
{
    // A lone "\r" ends no line: the new key must not be glued onto the last one.
    put("[A]\nk=1\r");
    EXPECT_TRUE(WriteIni(file(), "A", "j", "2"));
    EXPECT_EQ(content(), "[A]\nk=1\r\nj=2\n");
    EXPECT_EQ(ReadIniString(file(), "A", "k"), "1");
    EXPECT_EQ(ReadIniString(file(), "A", "j"), "2");
}

TEST_F(IniStoreTest, KeepsUnixLineEnds)
{
    put("[A]\nk=1\n");
    EXPECT_TRUE(WriteIni(file(), "A", "j", "2"));
    EXPECT_TRUE(WriteIni(file(), "B", "k", "3"));
    EXPECT_EQ(content(), "[A]\nk=1\nj=2\n\n[B]\nk=3\n");
}

TEST_F(IniStoreTest, CreatesAMissingFile)
{
    EXPECT_TRUE(WriteIni(file(), "Account", "User", "  padded  "));
    EXPECT_EQ(content(), "[Account]\r\nUser=  padded  \r\n");
    EXPECT_EQ(ReadIniString(file(), "Account", "User"), "padded");
    EXPECT_EQ(listAll(m_temp.path()), std::set<std::string>{"settings.ini"});
}

TEST_F(IniStoreTest, RefusesWhatWouldBreakTheFile)
{
    const Bytes before = "[Account]\r\nUser=bob\r\n";
    put(before);
    const struct
    {
        Bytes section, key, value;
    } refused[] = {
        {"Account", "User", "x\r\n[Evil]\r\nk=v"},
        {"Account", "User", "x\ny"},
        {"Account", "User", Bytes("a\0b", 3)},
        {"Acc]ount", "User", "x"},
        {"Account", "Us=er", "x"},
        {"Account", "", "x"},
        {"  ", "User", "x"},
        {"Account", "[User", "x"},
        {"Account", ";User", "x"},
        {"Acc\nount", "User", "x"},
    };
    for (const auto &c : refused)
        EXPECT_FALSE(WriteIni(file(), c.section, c.key, c.value)) << c.section << "/" << c.key;
    EXPECT_EQ(content(), before);
    EXPECT_FALSE(WriteIni("", "Account", "User", "x"));
}

TEST_F(IniStoreTest, FailedWritesKeepTheOldFile)
{
    // The parent of the path is a regular file: nothing can be created there.
    put("[A]\r\nk=1\r\n");
    const Bytes underFile = file() + "/inner.ini";
    EXPECT_FALSE(WriteIni(underFile, "A", "k", "2"));
    EXPECT_EQ(content(), "[A]\r\nk=1\r\n");

    // The target is a folder: the temporary file cannot replace it and is removed.
    fs::create_directories(m_temp.path() / "folder.ini" / "inner");
    EXPECT_FALSE(WriteIni((m_temp.path() / "folder.ini").string(), "A", "k", "2"));
    EXPECT_EQ(listAll(m_temp.path()),
              (std::set<std::string>{"settings.ini", "folder.ini", "folder.ini/inner"}));
}

TEST_F(IniStoreTest, WritesThroughASymbolicLink)
{
    put("[A]\r\nk=1\r\n");
    const fs::path link = m_temp.path() / "link.ini";
    if (!testsupport::MakeLink(file(), link, false))
        GTEST_SKIP() << "this system makes no symbolic links (wine)";
    EXPECT_TRUE(WriteIni(link.string(), "A", "k", "2"));
    EXPECT_TRUE(testsupport::IsLink(link));
    EXPECT_EQ(content(), "[A]\r\nk=2\r\n");
}

TEST_F(IniStoreTest, PathsWithBackslashesAreLocalised)
{
    fs::create_directories(m_temp.path() / "sub");
    const Bytes path = m_temp.path().string() + "\\sub\\x.ini";
    EXPECT_TRUE(WriteIni(path, "A", "k", "v"));
    EXPECT_EQ(readFile(m_temp.path() / "sub" / "x.ini"), "[A]\r\nk=v\r\n");
    EXPECT_EQ(ReadIniString(path, "A", "k"), "v");
}
