#include "updater/files/Packing.h"

#include "common/Codec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

using common::Bytes;
using common::byteString;
using namespace updater;

namespace {

Bytes randomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes out(n, '\0');
    for (char &c : out)
        c = static_cast<char>(gen() & 0xFF);
    return out;
}

// What the update server produces: zlib's one-shot compress at the default level.
Bytes plainCompress(const Bytes &data)
{
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    Bytes out(length, '\0');
    EXPECT_EQ(compress(reinterpret_cast<Bytef *>(out.data()), &length,
                       reinterpret_cast<const Bytef *>(data.data()),
                       static_cast<uLong>(data.size())),
              Z_OK);
    out.resize(length);
    return out;
}

Bytes littleEndian(std::uint32_t value)
{
    return byteString({static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                       static_cast<int>((value >> 16) & 0xFF), static_cast<int>(value >> 24)});
}

} // namespace

TEST(Packing, MarkerBytesAndSum)
{
    EXPECT_EQ(PackedMarker(), byteString({0, 1, 116, 5, 28}));
    EXPECT_EQ(common::ByteSum(PackedMarker()), 150);
}

TEST(Packing, EmptyContentHasNoHeader)
{
    EXPECT_EQ(Pack(""), "");
    ASSERT_TRUE(Unpack("").has_value());
    EXPECT_EQ(*Unpack(""), "");
}

TEST(Packing, OneByteGivesKnownBytes)
{
    // Header 1,0,0,0 and the stream the server's zlib gives for "A"; a zlib build with other
    // output would change every version number.
    EXPECT_EQ(Pack("A"),
              byteString({1, 0, 0, 0, 0x78, 0x9C, 0x73, 0x04, 0x00, 0x00, 0x42, 0x00, 0x42}));
}

TEST(Packing, HeaderIsLittleEndianLength)
{
    EXPECT_EQ(Pack(Bytes(65536, 'x')).substr(0, 4), byteString({0, 0, 1, 0}));
    EXPECT_EQ(Pack(Bytes(258, 'x')).substr(0, 4), byteString({2, 1, 0, 0}));
}

TEST(Packing, MatchesPlainCompressAndRoundTrips)
{
    Bytes allBytes;
    for (int i = 0; i < 256; ++i)
        allBytes.push_back(static_cast<char>(i));
    const std::vector<Bytes> inputs = {
        "A",
        Bytes(1, '\0'),
        Bytes(1, '\xFF'),
        allBytes,
        Bytes(65535, '\0'),
        Bytes(65536, '\xFF'),
        randomBytes(100000, 1),
        randomBytes(1 << 20, 2) + Bytes(1 << 20, 'a'),
    };
    for (const Bytes &input : inputs) {
        SCOPED_TRACE(input.size());
        const Bytes packed = Pack(input);
        EXPECT_EQ(packed,
                  littleEndian(static_cast<std::uint32_t>(input.size())) + plainCompress(input));
        const auto back = Unpack(packed);
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, input);
    }
}

TEST(Packing, DamagedContainersAreRefused)
{
    const Bytes good = Pack("hello, hello, hello");
    const Bytes stream = good.substr(4);
    Bytes flipped = good;
    flipped[8] = static_cast<char>(flipped[8] ^ 0x55);

    const struct
    {
        const char *what;
        Bytes container;
    } cases[] = {
        {"one byte", byteString({1})},
        {"header only", byteString({1, 0, 0, 0})},
        {"length zero", littleEndian(0) + stream},
        {"negative length", littleEndian(0xFFFFFFFFu) + stream},
        {"length above the limit", littleEndian((1u << 30) + 1) + stream},
        {"header says more", littleEndian(20) + stream},
        {"header says less", littleEndian(18) + stream},
        {"truncated stream", good.substr(0, good.size() - 3)},
        {"damaged stream", flipped},
        {"not zlib at all", littleEndian(5) + "plain"},
        // More than the stream could ever inflate to: refused before anything is reserved.
        {"length beyond any stream of that size", littleEndian(1u << 30) + stream},
        {"length just beyond the stream", littleEndian(1032u * stream.size() + 1) + stream},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(Unpack(c.container).has_value());
    }
    EXPECT_EQ(Unpack(good), "hello, hello, hello");
}

TEST(Packing, MostCompressibleContentStillUnpacks)
{
    // Zeros pack about 1028-fold, near deflate's limit of 1032.
    const Bytes zeros(8u << 20, '\0');
    const Bytes packed = Pack(zeros);
    EXPECT_GT(zeros.size(), 1000 * (packed.size() - 4));
    EXPECT_EQ(Unpack(packed), zeros);
}
