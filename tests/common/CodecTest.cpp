#include "common/Codec.h"

#include <gtest/gtest.h>

using common::byteString;

TEST(Codec, WordsAndLongs)
{
    EXPECT_EQ(common::EncodeWord(0), byteString({0, 0}));
    EXPECT_EQ(common::EncodeWord(1), byteString({0, 1}));
    EXPECT_EQ(common::EncodeWord(300), byteString({1, 44}));
    EXPECT_EQ(common::EncodeWord(65535), byteString({255, 255}));

    EXPECT_EQ(common::DecodeWord(byteString({1, 44})), 300);
    EXPECT_EQ(common::DecodeWord(byteString({128, 0})), -32768);
    EXPECT_EQ(common::DecodeWord(byteString({255, 255})), -1);
    // Length words are never negative.
    EXPECT_EQ(common::DecodeLength(byteString({255, 255})), 65535);
    EXPECT_EQ(common::DecodeLength(byteString({128, 0})), 32768);

    EXPECT_EQ(common::EncodeLong(0), byteString({0, 0, 0, 0}));
    EXPECT_EQ(common::EncodeLong(5750), byteString({0, 0, 22, 118}));
    EXPECT_EQ(common::EncodeLong(2147483647), byteString({127, 255, 255, 255}));
    EXPECT_EQ(common::DecodeLong(byteString({0, 0, 22, 118})), 5750);
    EXPECT_EQ(common::DecodeLong(byteString({255, 255, 255, 255})), -1);
    EXPECT_TRUE(common::LongFits(byteString({127, 0, 0, 0})));
    EXPECT_FALSE(common::LongFits(byteString({128, 0, 0, 0})));
    EXPECT_FALSE(common::LongFits(byteString({0, 0, 0})));

    for (int v : {0, 1, 255, 256, 65535, 65536, 16777216, 2147483647})
        EXPECT_EQ(common::DecodeLong(common::EncodeLong(v)), v);
}

TEST(Codec, ByteSumWrapsInsteadOfOverflowing)
{
    EXPECT_EQ(common::ByteSum(""), 0);
    EXPECT_EQ(common::ByteSum(byteString({0, 1, 116, 5, 28})), 150);
    // 2^31 / 255 rounded up bytes of 0xFF go past the signed range and wrap.
    const std::string big(8421505, '\xFF');
    EXPECT_EQ(common::ByteSum(big), static_cast<std::int32_t>(8421505u * 255u));
    EXPECT_LT(common::ByteSum(big), 0);
}

TEST(Codec, CheckCharacterAndPackets)
{
    EXPECT_EQ(common::CheckCharacter(byteString({2})), 23);
    EXPECT_EQ(common::CheckCharacter(byteString({3, 2})), 149);
    EXPECT_EQ(common::CheckCharacter(byteString({1})), 73);

    EXPECT_EQ(common::BuildPacket(byteString({2}), common::PacketKind::WithCheckCharacter),
              byteString({0, 1, 23, 2}));
    EXPECT_EQ(common::BuildPacket(byteString({2}), common::PacketKind::Plain),
              byteString({0, 1, 2}));
    EXPECT_EQ(common::BuildPacket(byteString({3, 2}), common::PacketKind::WithCheckCharacter),
              byteString({0, 2, 149, 3, 2}));

    const std::string largest(65535, 'x');
    auto packet = common::BuildPacket(largest, common::PacketKind::Plain);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->substr(0, 2), byteString({255, 255}));
    EXPECT_EQ(packet->size(), 65537u);
    // One byte more has no length word: nothing is built rather than a wrapped length.
    EXPECT_FALSE(common::BuildPacket(std::string(65536, 'x'), common::PacketKind::Plain));
    EXPECT_FALSE(
        common::BuildPacket(std::string(65536, 'x'), common::PacketKind::WithCheckCharacter));
}

TEST(Codec, Trimming)
{
    EXPECT_EQ(common::TrimPadding(std::string("abc  \0 ", 7)), "abc");
    EXPECT_EQ(common::TrimPadding("   "), "");
    EXPECT_EQ(common::TrimPadding(""), "");
    EXPECT_EQ(common::TrimPadding(" abc"), " abc");
    EXPECT_EQ(common::TrimPadding(std::string("a\0b\0", 4)), std::string("a\0b", 3));

    EXPECT_EQ(common::TrimBlanks("  ab c  "), "ab c");
    EXPECT_EQ(common::TrimBlanks("   "), "");
    EXPECT_EQ(common::TrimBlanks("\r\n x \t"), "\r\n x \t");
}
