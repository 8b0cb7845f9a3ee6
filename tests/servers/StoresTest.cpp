#include "servers/AccountStore.h"
#include "servers/ServerDirectory.h"
#include "servers/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace servers;

namespace {

constexpr int kFastIterations = 1000;

std::string pathIn(const QTemporaryDir &dir, const char *name)
{
    return dir.filePath(QString::fromLatin1(name)).toStdString();
}

Bytes readAll(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll().toStdString();
}

void writeAll(const std::string &path, const Bytes &content)
{
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

} // namespace

TEST(AccountStore, KeepsSaltedHashesOnlyAndSurvivesARestart)
{
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "accounts.txt");
    {
        AccountStore store(path, kFastIterations);
        EXPECT_EQ(store.create("Alice", "sesame"), AccountStore::CreateResult::Created);
        EXPECT_EQ(store.create("Bob", "sesame"), AccountStore::CreateResult::Created);
        EXPECT_EQ(store.create("ALICE", "other"), AccountStore::CreateResult::Exists);
    }
    const Bytes content = readAll(path);
    EXPECT_EQ(content.find("sesame"), Bytes::npos) << content;
    EXPECT_NE(content.find("pbkdf2-sha256"), Bytes::npos);
    // The same password under two accounts gives two different keys (random salts).
    std::vector<std::vector<Bytes>> rows;
    std::string error;
    ASSERT_TRUE(ReadTabFile(path, rows, error));
    std::vector<Bytes> keys;
    for (const auto &row : rows) {
        if (row.size() == 5)
            keys.push_back(row[3] + row[4]);
    }
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_NE(keys[0], keys[1]);

    AccountStore reloaded(path, kFastIterations);
    std::vector<std::string> warnings;
    ASSERT_TRUE(reloaded.load(error, warnings));
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(reloaded.verify("alice", "sesame"), std::optional<Bytes>("Alice"));
    EXPECT_EQ(reloaded.verify("Alice", "Sesame"), std::nullopt);
    EXPECT_EQ(reloaded.verify("Carol", "sesame"), std::nullopt);
    EXPECT_EQ(reloaded.verify("Alice", std::string("sesame\0", 7)), std::nullopt);
}

TEST(AccountStore, RefusesNamesAndPasswordsClientsCouldNotUse)
{
    QTemporaryDir dir;
    AccountStore store(pathIn(dir, "accounts.txt"), kFastIterations);
    struct Case
    {
        Bytes name;
        Bytes password;
        bool ok;
    };
    const Case cases[] = {
        {"Abc", "pwd", true},
        {"Ab", "pwd", false},               // too short
        {"A23456789012345", "pwd", true},   // 15
        {"A234567890123456", "pwd", false}, // 16
        {"1abc", "pwd", false},             // must start with a letter
        {"\xC4"
         "bc",
         "pwd", false},          // accented first letter
        {"Ab\tc", "pwd", false}, // tab would break the file
        {"Ab\nc", "pwd", false},
        {"Abc d", "pwd", true},
        {"Abcd", "pw", false},
        {"Abce", Bytes(64, 'x'), true},
        {"Abcf", Bytes(65, 'x'), false},
        {"Abcg", Bytes("p\0w", 3), false},
    };
    for (const auto &c : cases) {
        const auto result = store.create(c.name, c.password);
        EXPECT_EQ(result == AccountStore::CreateResult::Created, c.ok) << c.name;
        if (!c.ok) {
            EXPECT_EQ(result, AccountStore::CreateResult::Invalid) << c.name;
        }
    }
}

TEST(AccountStore, SkipsDamagedLinesAndRefusesAnUnreadableFile)
{
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "accounts.txt");
    {
        AccountStore store(path, kFastIterations);
        ASSERT_EQ(store.create("Alice", "sesame"), AccountStore::CreateResult::Created);
    }
    writeAll(path, readAll(path) + "Broken\tline\n" + "Bob\tpbkdf2-sha256\t0\t00\t00\n" +
                       "\n# comment\n");
    AccountStore store(path, kFastIterations);
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(store.load(error, warnings));
    EXPECT_EQ(store.size(), 1u);
    EXPECT_EQ(warnings.size(), 2u);

    const std::string folderPath = pathIn(dir, "folder");
    QDir().mkpath(QString::fromStdString(folderPath));
    AccountStore unreadable(folderPath, kFastIterations);
    EXPECT_FALSE(unreadable.load(error, warnings));
    EXPECT_FALSE(error.empty());
}

TEST(AccountStore, KeepsMemoryAndFileInStepWhenSavingFails)
{
    QTemporaryDir dir;
    // The file's place is taken by a folder, so nothing can be written there.
    const std::string path = pathIn(dir, "taken");
    QDir().mkpath(QString::fromStdString(path));
    AccountStore store(path, kFastIterations);
    EXPECT_EQ(store.create("Alice", "sesame"), AccountStore::CreateResult::StorageFailed);
    EXPECT_FALSE(store.exists("Alice"));
}

TEST(ServerDirectory, FillsTheLowestFreeSlotAndPersists)
{
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "servers.txt");
    ServerDirectory directory(path);
    ListedServer a{0, "Alpha", "Alice", "10.0.0.1", 5750, true, 3};
    ListedServer b{0, "Beta", "Bob", "10.0.0.2", 6000, false, 0};
    ListedServer c{0, "Gamma", "", "10.0.0.3", 7000, true, 0};
    ASSERT_EQ(directory.add(a), ServerDirectory::AddResult::Added);
    ASSERT_EQ(directory.add(b), ServerDirectory::AddResult::Added);
    EXPECT_EQ(a.index, 1);
    EXPECT_EQ(b.index, 2);
    ASSERT_TRUE(directory.remove(1));
    ASSERT_EQ(directory.add(c), ServerDirectory::AddResult::Added);
    EXPECT_EQ(c.index, 1);

    ListedServer sameName{0, "BETA", "Carol", "10.0.0.9", 1, true, 0};
    EXPECT_EQ(directory.add(sameName), ServerDirectory::AddResult::NameTaken);
    ListedServer sameOwner{0, "Delta", "bob", "10.0.0.9", 1, true, 0};
    EXPECT_EQ(directory.add(sameOwner), ServerDirectory::AddResult::OwnerHasServer);
    ListedServer shortAddress{0, "Delta", "Dave", "1.2.3", 1, true, 0};
    EXPECT_EQ(directory.add(shortAddress), ServerDirectory::AddResult::Invalid);
    EXPECT_EQ(directory.ownedBy("BOB"), 2);
    EXPECT_EQ(directory.ownedBy(""), 0);

    ServerDirectory reloaded(path);
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(reloaded.load(error, warnings));
    EXPECT_TRUE(warnings.empty());
    ASSERT_NE(reloaded.at(2), nullptr);
    EXPECT_EQ(reloaded.at(2)->name, "Beta");
    EXPECT_EQ(reloaded.at(2)->port, 6000);
    EXPECT_FALSE(reloaded.at(2)->online);
    EXPECT_EQ(reloaded.at(1)->name, "Gamma");
}

TEST(ServerDirectory, HoldsThirtyServersAtMost)
{
    QTemporaryDir dir;
    ServerDirectory directory(pathIn(dir, "servers.txt"));
    for (int i = 1; i <= ServerDirectory::kSlots; ++i) {
        ListedServer s{0, "Server " + std::to_string(i), "", "10.0.0.1", 1, true, 0};
        ASSERT_EQ(directory.add(s), ServerDirectory::AddResult::Added);
    }
    ListedServer extra{0, "One too many", "", "10.0.0.1", 1, true, 0};
    EXPECT_EQ(directory.add(extra), ServerDirectory::AddResult::Full);
}

TEST(ServerDirectory, SkipsDamagedEntriesOfAHandEditedFile)
{
    QTemporaryDir dir;
    const std::string path = pathIn(dir, "servers.txt");
    writeAll(path, "# servers\n"
                   "1\t1\t3\t5750\tAlice\tAlpha\t10.0.0.1\n"
                   "1\t1\t3\t5750\tBob\tTaken slot\t10.0.0.2\n"  // slot in use
                   "31\t1\t3\t5750\tBob\tBad slot\t10.0.0.2\n"   // no such slot
                   "2\t1\t300\t5750\tBob\tToo many\t10.0.0.2\n"  // players above 255
                   "3\tyes\t3\t5750\tBob\tBad state\t10.0.0.2\n" // state 0 or 1
                   "4\t0\t0\t0\tBob\tNo port\t10.0.0.2\n"        // port 0
                   "5\t0\t0\t80\tBob\tShort\n"                   // six fields
                   "6\t0\t0\t80\tBob\tGood\t10.0.0.6\r\n");      // CR LF tolerated
    ServerDirectory directory(path);
    std::string error;
    std::vector<std::string> warnings;
    ASSERT_TRUE(directory.load(error, warnings));
    EXPECT_EQ(warnings.size(), 6u);
    ASSERT_EQ(directory.all().size(), 2u);
    EXPECT_EQ(directory.at(6)->address, "10.0.0.6");
}

TEST(TextFile, HexAndDecimalRoundTrips)
{
    EXPECT_EQ(FromHex(ToHex(Bytes("\0\xff\x10z", 4))), Bytes("\0\xff\x10z", 4));
    EXPECT_EQ(FromHex("abc"), std::nullopt);
    EXPECT_EQ(FromHex("zz"), std::nullopt);
    EXPECT_EQ(ParseDecimal("0"), 0);
    EXPECT_EQ(ParseDecimal("123456789"), 123456789);
    EXPECT_EQ(ParseDecimal("1234567890"), std::nullopt);
    EXPECT_EQ(ParseDecimal("-1"), std::nullopt);
    EXPECT_EQ(ParseDecimal(""), std::nullopt);
    EXPECT_EQ(ParseDecimal(" 1"), std::nullopt);
}
