#include "common/ReceiveBuffer.h"
#include "common/Codec.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using common::byteString;
using common::Packet;
using common::ReceiveBuffer;

namespace {

std::vector<Packet> drain(ReceiveBuffer &buffer)
{
    std::vector<Packet> out;
    buffer.dispatchAll([&](const Packet &p) { out.push_back(p); });
    return out;
}

std::string framed(const std::string &body)
{
    return *common::BuildPacket(body, common::PacketKind::Plain);
}

// A stream of packets of many sizes, zero-length ones and one-byte ones included.
std::string sampleStream(std::vector<Packet> &expected)
{
    std::mt19937 rng(7);
    std::string stream;
    for (int i = 0; i < 60; ++i) {
        const int length = i % 7 == 0 ? 0 : static_cast<int>(rng() % (i % 5 == 0 ? 700 : 12)) + 1;
        std::string body;
        for (int k = 0; k < length; ++k)
            body.push_back(static_cast<char>(rng() % 256));
        stream += framed(body);
        if (length > 0)
            expected.push_back({static_cast<std::uint8_t>(body[0]), body.substr(1)});
    }
    return stream;
}

} // namespace

TEST(ReceiveBuffer, SameDispatchWhateverTheSplit)
{
    std::vector<Packet> expected;
    const std::string stream = sampleStream(expected);

    ReceiveBuffer burst;
    burst.append(stream);
    EXPECT_EQ(drain(burst), expected);
    EXPECT_TRUE(burst.empty());

    // Split once at every offset, and byte by byte.
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        ReceiveBuffer buffer;
        buffer.append(std::string_view(stream).substr(0, cut));
        std::vector<Packet> got = drain(buffer);
        buffer.append(std::string_view(stream).substr(cut));
        for (auto &p : drain(buffer))
            got.push_back(p);
        ASSERT_EQ(got, expected) << "split at " << cut;
    }
    ReceiveBuffer trickle;
    std::vector<Packet> got;
    for (char c : stream) {
        trickle.append(std::string_view(&c, 1));
        for (auto &p : drain(trickle))
            got.push_back(p);
    }
    EXPECT_EQ(got, expected);
}

TEST(ReceiveBuffer, PartialPacketsWait)
{
    ReceiveBuffer buffer;
    buffer.append(byteString({0}));
    EXPECT_FALSE(buffer.cutPacket());
    buffer.append(byteString({3, 7}));
    EXPECT_FALSE(buffer.cutPacket());
    buffer.append(byteString({1}));
    EXPECT_FALSE(buffer.cutPacket());
    buffer.append(byteString({2}));
    auto p = buffer.cutPacket();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, 7);
    EXPECT_EQ(p->fields, byteString({1, 2}));
    EXPECT_TRUE(buffer.empty());
}

TEST(ReceiveBuffer, ZeroLengthPacketWaitsUntilAThirdByte)
{
    ReceiveBuffer buffer;
    buffer.append(byteString({0, 0}));
    EXPECT_FALSE(buffer.cutPacket());
    EXPECT_EQ(buffer.size(), 2u); // still there
    buffer.append(byteString({0}));
    EXPECT_FALSE(buffer.cutPacket());
    EXPECT_EQ(buffer.size(), 1u); // the empty packet went, the next one waits
    buffer.append(byteString({1, 9}));
    auto p = buffer.cutPacket();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, 9);
    EXPECT_TRUE(p->fields.empty()); // a bare type
}

TEST(ReceiveBuffer, LengthsAboveThe16BitSignedRangeAreWaitedFor)
{
    ReceiveBuffer buffer;
    buffer.append(byteString({0xFF, 0xFF, 5}));
    EXPECT_FALSE(buffer.cutPacket()); // 65535 bytes announced: wait, never a negative length
    buffer.append(std::string(65534, 'a'));
    auto p = buffer.cutPacket();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, 5);
    EXPECT_EQ(p->fields.size(), 65534u);
}

TEST(ReceiveBuffer, HandlerThatDeliversMoreDataSeesAConsistentBuffer)
{
    ReceiveBuffer buffer;
    const std::string first = framed(byteString({1, 'a'}));
    const std::string second = framed(byteString({2, 'b'}));
    const std::string third = framed(byteString({3, 'c'}));
    buffer.append(first + second.substr(0, 2));

    std::vector<int> order;
    std::function<void(const Packet &)> handler = [&](const Packet &p) {
        order.push_back(p.type);
        if (p.type == 1) {
            // While "a message box is open", the rest arrives and is handled then.
            EXPECT_EQ(buffer.view(), second.substr(0, 2));
            buffer.append(second.substr(2) + third);
            buffer.dispatchAll(handler);
        }
    };
    buffer.dispatchAll(handler);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(buffer.empty());
}

TEST(ReceiveBuffer, StopsWhenToldAndHandsOverRawBytes)
{
    ReceiveBuffer buffer;
    buffer.append(framed(byteString({5, 1})) + "RAWBYTES" + framed(byteString({4})));
    bool inTransfer = false;
    std::vector<int> types;
    buffer.dispatchAll(
        [&](const Packet &p) {
            types.push_back(p.type);
            inTransfer = p.type == 5;
        },
        [&] { return !inTransfer; });
    EXPECT_EQ(types, (std::vector<int>{5}));
    EXPECT_EQ(buffer.take(8), "RAWBYTES");
    inTransfer = false;
    buffer.dispatchAll([&](const Packet &p) { types.push_back(p.type); },
                       [&] { return !inTransfer; });
    EXPECT_EQ(types, (std::vector<int>{5, 4}));
    EXPECT_EQ(buffer.take(10), "");
}

TEST(ReceiveBuffer, LongBurstIsCutCompletely)
{
    ReceiveBuffer buffer;
    std::string burst;
    for (int i = 0; i < 20000; ++i)
        burst += framed(byteString({i % 256, 1, 2, 3}));
    buffer.append(burst);
    int count = 0;
    buffer.dispatchAll([&](const Packet &p) {
        EXPECT_EQ(p.type, count % 256);
        ++count;
    });
    EXPECT_EQ(count, 20000);
    EXPECT_TRUE(buffer.empty());
}
