#include "servers/CheckedFraming.h"

#include "common/Codec.h"

#include <gtest/gtest.h>

using common::Bytes;
using common::byteString;
using servers::CheckedCut;
using servers::CutCheckedPacket;

namespace {

Bytes framed(const Bytes &body)
{
    return *common::BuildPacket(body, common::PacketKind::WithCheckCharacter);
}

} // namespace

TEST(CheckedFraming, CutsTheClientsKeepAliveAndVersionCheck)
{
    common::ReceiveBuffer buffer;
    // The keep-alive as the client sends it: 0, 1, 23, 2.
    buffer.append(byteString({0, 1, 23, 2}));
    buffer.append(framed(Bytes("\0R0.7\0"
                               "1234",
                               10)));
    CheckedCut cut = CutCheckedPacket(buffer, 100);
    ASSERT_EQ(cut.result, CheckedCut::Result::Packet);
    EXPECT_EQ(cut.packet.type, 2);
    EXPECT_TRUE(cut.packet.fields.empty());
    cut = CutCheckedPacket(buffer, 100);
    ASSERT_EQ(cut.result, CheckedCut::Result::Packet);
    EXPECT_EQ(cut.packet.type, 0);
    EXPECT_EQ(cut.packet.fields, Bytes("R0.7\0"
                                       "1234",
                                       9));
    EXPECT_EQ(CutCheckedPacket(buffer, 100).result, CheckedCut::Result::Incomplete);
    EXPECT_TRUE(buffer.empty());
}

TEST(CheckedFraming, WaitsForEveryPieceOfAPacket)
{
    const Bytes whole = framed(byteString({3, 1, 'a', 'b', 'c', 0, 'x', 'y', 'z'}));
    for (std::size_t split = 0; split < whole.size(); ++split) {
        common::ReceiveBuffer buffer;
        buffer.append(whole.substr(0, split));
        EXPECT_EQ(CutCheckedPacket(buffer, 100).result, CheckedCut::Result::Incomplete)
            << "split at " << split;
        EXPECT_EQ(buffer.size(), split);
        buffer.append(whole.substr(split));
        EXPECT_EQ(CutCheckedPacket(buffer, 100).result, CheckedCut::Result::Packet);
        EXPECT_TRUE(buffer.empty());
    }
}

TEST(CheckedFraming, RefusesAWrongCheckCharacterAndKeepsTheBytes)
{
    common::ReceiveBuffer buffer;
    buffer.append(byteString({0, 1, 24, 2})); // 23 would be right
    EXPECT_EQ(CutCheckedPacket(buffer, 100).result, CheckedCut::Result::BadCheck);
    EXPECT_EQ(buffer.size(), 4u);
    // Packets without any check character (the Updater's framing) are refused too.
    common::ReceiveBuffer plain;
    plain.append(byteString({0, 2, 1, 5}));
    plain.append(byteString({0, 0}));
    EXPECT_EQ(CutCheckedPacket(plain, 100).result, CheckedCut::Result::BadCheck);
}

TEST(CheckedFraming, JudgesTheLengthBeforeTheBodyArrives)
{
    common::ReceiveBuffer buffer;
    buffer.append(byteString({0xFF, 0xFF}));
    EXPECT_EQ(CutCheckedPacket(buffer, 2048).result, CheckedCut::Result::TooLong);
    common::ReceiveBuffer limit;
    limit.append(byteString({0, 101}));
    EXPECT_EQ(CutCheckedPacket(limit, 100).result, CheckedCut::Result::TooLong);
    common::ReceiveBuffer fits;
    fits.append(byteString({0, 100}));
    EXPECT_EQ(CutCheckedPacket(fits, 100).result, CheckedCut::Result::Incomplete);
}

TEST(CheckedFraming, SkipsEmptyPacketsWithTheirCheckCharacter)
{
    common::ReceiveBuffer buffer;
    buffer.append(byteString({0, 0, 0})); // empty body, check character 0
    buffer.append(framed(byteString({1})));
    const CheckedCut cut = CutCheckedPacket(buffer, 100);
    ASSERT_EQ(cut.result, CheckedCut::Result::Packet);
    EXPECT_EQ(cut.packet.type, 1);
    common::ReceiveBuffer bad;
    bad.append(byteString({0, 0, 9}));
    EXPECT_EQ(CutCheckedPacket(bad, 100).result, CheckedCut::Result::BadCheck);
}
