#include "common/Bytes.h"
#include "common/Codec.h"
#include "updater/flow/UpdateProtocol.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using common::Bytes;
using common::ByteView;

// Every prefix of a complete message: the decoders accept from the shortest usable length on
// (99: never, for a version or size the Updater does not read as a number).
TEST(UpdateDecoders, EachMessageNeedsItsFixedPart)
{
    struct Case
    {
        const char *name;
        Bytes full; // the body without its type byte
        std::size_t shortest;
        bool (*decode)(ByteView);
    };
    auto as = [](auto message) {
        return +[](ByteView fields) {
            decltype(message) m;
            return m.decode(fields);
        };
    };
    const Case cases[] = {
        {"SetLaunchFile", "Bin\\Game.exe", 0, as(updater::SetLaunchFileMessage{})},
        {"FolderEntry", "\x03Maps\\", 1, as(updater::FolderEntryMessage{})},
        {"FileCount", "\x07", 1, as(updater::FileCountMessage{})},
        {"FileInfo", Bytes("\x02\x00\x00\x01\x02v.txt\0Maps\\", 16), 5,
         as(updater::FileInfoMessage{})},
        {"FileInfoVersionAbove2^31", Bytes("\x02\xC8\x00\x00\x00v.txt\0", 11), 99,
         as(updater::FileInfoMessage{})},
        {"FileData", Bytes("\x02\x00\x00\x00\x03", 5), 5, as(updater::FileDataMessage{})},
        {"FileDataSizeAbove2^31", Bytes("\x02\x80\x00\x00\x03", 5), 99,
         as(updater::FileDataMessage{})},
        {"FileRequest", "\x04", 1, as(updater::FileRequestMessage{})},
        {"TransferAck", Bytes("\x04\xFF\x00\x00\x01", 5), 5, as(updater::TransferAckMessage{})},
    };
    for (const Case &c : cases) {
        for (std::size_t size = 0; size <= c.full.size(); ++size)
            EXPECT_EQ(c.decode(ByteView(c.full).substr(0, size)), size >= c.shortest)
                << c.name << " " << size;
    }
    for (std::size_t size = 0; size <= 5; ++size) {
        std::int32_t value = 0;
        EXPECT_EQ(updater::DecodeUpdateExeSize(Bytes("\x00\x00\x01\x00\x00", size), value),
                  size >= 4)
            << "Update.exe size " << size;
    }
    std::int32_t value = 0;
    EXPECT_FALSE(updater::DecodeUpdateExeSize(Bytes("\x80\x00\x00\x00", 4), value));
}

TEST(UpdateDecoders, FieldsAreTakenFromTheirPlacesAndTheEncodersMatch)
{
    // The decoded texts are views into the body, which must outlive them.
    const Bytes infoBody = updater::FileInfoBody(7, 258, "v.txt", "Maps\\");
    updater::FileInfoMessage info;
    ASSERT_TRUE(info.decode(ByteView(infoBody).substr(1)));
    EXPECT_EQ(infoBody[0], static_cast<char>(updater::FromServer::FileInfo));
    EXPECT_EQ(info.index, 7);
    EXPECT_EQ(info.version, 258);
    EXPECT_EQ(info.name, "v.txt");
    EXPECT_EQ(info.folder, "Maps\\");
    // Without a NUL the rest is the folder; an empty name gives none.
    const Bytes noName("\x07\x00\x00\x00\x01Maps\\", 10);
    ASSERT_TRUE(info.decode(noName));
    EXPECT_EQ(info.name, "");
    EXPECT_EQ(info.folder, "Maps\\");

    const Bytes dataBody = updater::FileDataBody(250, 1 << 30);
    updater::FileDataMessage data;
    ASSERT_TRUE(data.decode(ByteView(dataBody).substr(1)));
    EXPECT_EQ(data.index, 250);
    EXPECT_EQ(data.size, 1 << 30);

    const Bytes ackBody = updater::TransferAckBody(3, -1);
    updater::TransferAckMessage ack;
    ASSERT_TRUE(ack.decode(ByteView(ackBody).substr(1)));
    EXPECT_EQ(ack.index, 3);
    EXPECT_EQ(ack.received, 0xFFFFFFFFu) << "the server reads the count unsigned";

    const Bytes folderBody = updater::FolderEntryBody(15, "Maps\\");
    updater::FolderEntryMessage folder;
    ASSERT_TRUE(folder.decode(ByteView(folderBody).substr(1)));
    EXPECT_EQ(folder.number, 15);
    EXPECT_EQ(folder.folder, "Maps\\");
}

} // namespace
