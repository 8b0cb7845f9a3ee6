#include "common/ByteReader.h"
#include "common/Bytes.h"
#include "registry/net/RegistryProtocol.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using common::ByteReader;
using common::Bytes;
using common::ByteView;

TEST(ByteReader, ReadsFieldsInOrderAndFailsStickilyAtTheEnd)
{
    const Bytes data("\x01\xFF"
                     "ab\0"
                     "cd",
                     7);
    ByteReader reader(data);
    EXPECT_EQ(reader.byte(), 1);
    EXPECT_EQ(reader.byte(), 255);
    EXPECT_EQ(reader.nulText(), "ab");
    EXPECT_EQ(reader.remaining(), 2u);
    EXPECT_TRUE(reader.ok());
    // No NUL is left: the read fails, gives nothing and stays failed.
    EXPECT_EQ(reader.nulText(), "");
    EXPECT_FALSE(reader.ok());
    EXPECT_EQ(reader.rest(), "");
    EXPECT_EQ(reader.byte(), 0);
    EXPECT_FALSE(reader.ok());

    ByteReader empty{ByteView()};
    EXPECT_EQ(empty.rest(), "");
    empty.skipUpTo(3);
    EXPECT_TRUE(empty.ok()) << "the rest and skipping never fail";
    EXPECT_EQ(empty.byte(), 0);
    EXPECT_FALSE(empty.ok());
}

// Every prefix of a complete message: the decoders accept from the shortest usable length on.
TEST(RegistryDecoders, EachMessageNeedsItsFixedPart)
{
    struct Case
    {
        const char *name;
        Bytes full;
        std::size_t shortest; // the first length that decodes
        bool (*decode)(ByteView);
    };
    auto as = [](auto message) {
        return +[](ByteView fields) {
            decltype(message) m;
            return m.decode(fields);
        };
    };
    const Case cases[] = {
        {"VersionAccepted", Bytes("\x00\x00", 2), 2, as(registry::VersionReply{})},
        {"VersionOutdated", Bytes("\x01", 1), 1, as(registry::VersionReply{})},
        {"ServerEntry", Bytes("\x05\x01\x03name\0admin\0addr", 18), 14,
         as(registry::ServerEntryFields{})},
        {"BootNotice", Bytes("\x04", 1), 1, as(registry::BootNotice{})},
        {"LoginAccepted", Bytes("\x02\x00zed", 5), 2, as(registry::AccountReplyMessage{})},
        {"ServerCreated", Bytes("\x05\x01", 2), 2, as(registry::AccountReplyMessage{})},
        {"AccountCreated", Bytes("\x00", 1), 1, as(registry::AccountReplyMessage{})},
        {"UserListAdd", Bytes("\x01Xann", 5), 1, as(registry::UserListMessage{})},
    };
    for (const Case &c : cases) {
        for (std::size_t size = 0; size <= c.full.size(); ++size)
            EXPECT_EQ(c.decode(ByteView(c.full).substr(0, size)), size >= c.shortest)
                << c.name << " " << size;
    }
}

TEST(RegistryDecoders, FieldsAreTakenFromTheirPlaces)
{
    // The decoded texts are views into the body, which must outlive them.
    const Bytes entryBody("\x1F\x01\xC8Town  \0Ann\0 1.2.3.4 \0", 24);
    registry::ServerEntryFields entry;
    ASSERT_TRUE(entry.decode(entryBody));
    EXPECT_EQ(entry.index, 31) << "the index is returned as sent";
    EXPECT_TRUE(entry.online);
    EXPECT_EQ(entry.players, 200);
    EXPECT_EQ(entry.name, "Town");
    EXPECT_EQ(entry.administrator, "Ann");
    EXPECT_EQ(entry.address, " 1.2.3.4") << "only trailing blanks and NULs go";

    const Bytes loginBody("\x02\x07Zed", 5);
    registry::AccountReplyMessage login;
    ASSERT_TRUE(login.decode(loginBody));
    EXPECT_EQ(login.ownServer, 7);
    EXPECT_EQ(login.name, "Zed");

    const Bytes userBody("\x01\x00"
                         "bob",
                         5);
    const Bytes emptyUserBody("\x01", 1);
    registry::UserListMessage user;
    ASSERT_TRUE(user.decode(userBody));
    EXPECT_EQ(user.name, "bob");
    ASSERT_TRUE(user.decode(emptyUserBody));
    EXPECT_EQ(user.name, "");
}

} // namespace
