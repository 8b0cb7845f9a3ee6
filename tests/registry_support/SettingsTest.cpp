#include "registry/support/Settings.h"
#include "common/IniStore.h"

#include "tests/updater_files/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using registry::AutoLoginValue;
using registry::IniValueFor;
using registry::RegistrySettings;
using registry::ScramblePassword;
using registry::UnscramblePassword;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary);
    out << content;
}

class RegistryIniTest : public ::testing::Test
{
protected:
    TempFolder m_dir;
    std::string folder() const { return m_dir.path().string(); }
    std::string iniPath() const { return folder() + "/registry.ini"; }
};

} // namespace

TEST(ScrambleTest, ShiftDependsOnLengthOnly)
{
    // k for n = 1..15, as the table of shifts gives it.
    const int shifts[15] = {-4, 3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14};
    for (int n = 1; n <= 15; ++n) {
        const std::string text(static_cast<std::size_t>(n), 'm');
        const std::string scrambled = ScramblePassword(text);
        ASSERT_EQ(scrambled.size(), text.size());
        for (char c : scrambled)
            EXPECT_EQ(static_cast<unsigned char>(c), 'm' - shifts[n - 1]) << "n = " << n;
    }
}

TEST(ScrambleTest, Examples)
{
    EXPECT_EQ(ScramblePassword("abc"), common::byteString({97, 96, 95}));
    EXPECT_EQ(UnscramblePassword(common::byteString({97, 96, 95})), "abc");
    EXPECT_EQ(ScramblePassword("hello"), "olleh"); // five bytes: reversed, unshifted
    EXPECT_EQ(ScramblePassword("a"), "e");         // one byte: up by 4
    EXPECT_EQ(ScramblePassword(""), "");
}

TEST(ScrambleTest, BytesWrapModulo256AndAlwaysInvert)
{
    EXPECT_EQ(ScramblePassword(common::byteString({252})), common::byteString({0}));
    EXPECT_EQ(ScramblePassword(common::byteString({255})), common::byteString({3}));
    // Fourteen bytes shift down by 15: a control byte wraps to the top.
    EXPECT_EQ(static_cast<unsigned char>(ScramblePassword(std::string(13, 'x') + '\x05')[0]),
              256 + 5 - 15);
    for (int n = 1; n <= 15; ++n) {
        for (int b = 0; b < 256; ++b) {
            std::string text(static_cast<std::size_t>(n), 'q');
            text[static_cast<std::size_t>(b % n)] = static_cast<char>(b);
            ASSERT_EQ(UnscramblePassword(ScramblePassword(text)), text) << n << " " << b;
        }
    }
}

TEST(ScrambleTest, BlanksAtTheEndsAreKept)
{
    // Six bytes shift down by 7: a first byte of 39 ends the scrambled text in a blank.
    const std::string password = "'abcde";
    const std::string scrambled = ScramblePassword(password);
    ASSERT_EQ(scrambled.back(), ' ');
    EXPECT_EQ(UnscramblePassword(scrambled), password);
}

TEST(IniValueTest, QuotesOnlyWhatTheReaderWouldChange)
{
    const struct
    {
        std::string value;
        std::string stored;
    } cases[] = {
        {"abc", "abc"},     {"", ""},       {"a b", "a b"},         {" ab", "\" ab\""},
        {"ab ", "\"ab \""}, {" ", "\" \""}, {"\"q\"", "\"\"q\"\""}, {"\"q", "\"q"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IniValueFor(c.value), c.stored) << c.value;
}

TEST(AutoLoginTest, OnlyZeroOneAndTwoAreKept)
{
    const struct
    {
        int stored;
        int value;
    } cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {-1, 0}, {100, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(AutoLoginValue(c.stored), c.value) << c.stored;
}

TEST_F(RegistryIniTest, MissingFileReadsAsDefaults)
{
    RegistrySettings settings(folder());
    EXPECT_EQ(settings.user(), "");
    EXPECT_EQ(settings.autoLogin(), 0);
    EXPECT_EQ(settings.password(), "");
}

TEST_F(RegistryIniTest, ReadsTheAccountSection)
{
    writeFile(iniPath(), "[Account]\r\nUser=Brannoc\r\nAutoLogin=1\r\nPassword=" +
                             ScramblePassword("secret") + "\r\n");
    RegistrySettings settings(folder());
    EXPECT_EQ(settings.user(), "Brannoc");
    EXPECT_EQ(settings.autoLogin(), 1);
    EXPECT_EQ(settings.password(), "secret");
}

TEST_F(RegistryIniTest, HandEditedAutoLoginOutsideTheBoxValuesReadsAsZero)
{
    writeFile(iniPath(), "[Account]\r\nAutoLogin=7\r\n");
    EXPECT_EQ(RegistrySettings(folder()).autoLogin(), 0);
    writeFile(iniPath(), "[Account]\r\nAutoLogin=2\r\n");
    EXPECT_EQ(RegistrySettings(folder()).autoLogin(), 2);
}

TEST_F(RegistryIniTest, EveryTypablePasswordComesBackFromTheFile)
{
    RegistrySettings settings(folder());
    // Passwords whose scrambled form begins or ends in a blank, or is wrapped in quotes.
    const std::string passwords[] = {"'abcde", "abcde'", "' bcd'", "!\"#",        " ab",
                                     "ab ",    "abc",    "x y z",  "\xFC\xE9\xE8"};
    for (const std::string &p : passwords) {
        settings.writePassword(p);
        EXPECT_EQ(settings.password(), p) << p;
    }
    for (int b = 32; b < 256; ++b) {
        const std::string p(1, static_cast<char>(b));
        settings.writePassword(p + p + p);
        ASSERT_EQ(settings.password(), p + p + p) << b;
    }
}

TEST_F(RegistryIniTest, PlainScrambledValuesAreStoredAsBefore)
{
    RegistrySettings settings(folder());
    settings.writePassword("hello");
    EXPECT_NE(readFile(iniPath()).find("Password=olleh"), std::string::npos);
}

TEST_F(RegistryIniTest, CheckBoxClicksWriteAutoLoginAndLeaveThePassword)
{
    RegistrySettings settings(folder());
    settings.writePassword("secret");
    settings.autoLoginClicked(0);
    EXPECT_EQ(common::ReadIniString(iniPath(), "Account", "AutoLogin"), "0");
    settings.autoLoginClicked(1);
    EXPECT_EQ(common::ReadIniString(iniPath(), "Account", "AutoLogin"), "1");
    settings.autoLoginClicked(2); // greyed counts as not ticked
    EXPECT_EQ(common::ReadIniString(iniPath(), "Account", "AutoLogin"), "0");
    EXPECT_EQ(settings.password(), "secret");
}

TEST_F(RegistryIniTest, UserIsStoredAsTypedAndReadUpTo255Bytes)
{
    RegistrySettings settings(folder());
    settings.writeUser(" bob ");
    EXPECT_EQ(settings.user(), " bob ");
    settings.writeUser(std::string(300, 'u'));
    EXPECT_EQ(settings.user(), std::string(255, 'u'));
}
