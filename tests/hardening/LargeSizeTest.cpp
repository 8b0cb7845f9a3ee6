// Sizes above the Updater's limit (updater::kMaxFileSize, 1 GiB), announced by FileData, by
// the size word of Update.exe, or declared by a packed header, are refused before any memory
// is reserved for them. This executable counts every allocation made through operator new
// and checks that none of them comes near the announced size.

#include "tests/hardening/UpdaterRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {
std::atomic<std::size_t> g_largestAllocation{0};
} // namespace

void *operator new(std::size_t size)
{
    std::size_t seen = g_largestAllocation.load(std::memory_order_relaxed);
    while (size > seen && !g_largestAllocation.compare_exchange_weak(seen, size))
        ;
    if (void *p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

// The operator new above takes its memory from malloc, so free is the right release; GCC for
// Windows sees only the operator names and warns.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace hardening {
namespace {

// Far above anything these small exchanges need, far below the sizes announced.
constexpr std::size_t kSmall = 1 << 20;

void resetLargest()
{
    g_largestAllocation.store(0);
}
std::size_t largest()
{
    return g_largestAllocation.load();
}

Bytes littleEndian(std::uint32_t value)
{
    return common::byteString(
        {static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
         static_cast<int>((value >> 16) & 0xFF), static_cast<int>(value >> 24)});
}

Bytes bigEndian(std::uint32_t value)
{
    return common::byteString(
        {static_cast<int>(value >> 24), static_cast<int>((value >> 16) & 0xFF),
         static_cast<int>((value >> 8) & 0xFF), static_cast<int>(value & 0xFF)});
}

const std::uint32_t kAnnounced[] = {(1u << 30) + 1, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu};

TEST(LargeSizes, TrackerSeesAllocations)
{
    resetLargest();
    Bytes big(3 * kSmall, 'x');
    EXPECT_GE(largest(), 3 * kSmall);
}

TEST(LargeSizes, FileDataAboveTheLimitIsRefusedUnreserved)
{
    for (const std::uint32_t size : kAnnounced) {
        SCOPED_TRACE(size);
        UpdaterRig rig;
        rig.startRun();
        rig.transport->deliver(fileCount(1) + fileInfo(2, 1, "big.dat", ""));
        resetLargest();
        rig.transport->deliver(updatePacket(byteOf(5) + byteOf(2) + bigEndian(size)) +
                               Bytes(100, 'd'));
        EXPECT_LT(largest(), kSmall);
        EXPECT_TRUE(rig.logHas("Ignored an invalid message from the Update Server (file data)."))
            << rig.log();
        EXPECT_EQ(rig.transport->state(), common::Transport::State::Closed);
    }
}

// 1 GiB is accepted, but memory comes with the bytes, not with the announcement.
TEST(LargeSizes, FileDataAtTheLimitReservesMemoryOnlyWithTheBytes)
{
    UpdaterRig rig;
    rig.startRun();
    rig.transport->deliver(fileCount(1) + fileInfo(2, 1, "big.dat", "") + fileListEnd());
    resetLargest();
    rig.transport->deliver(fileDataHeader(2, std::int32_t{1} << 30) + "abc");
    EXPECT_LE(largest(), std::size_t{64} << 20);
    EXPECT_EQ(rig.transport->sends().back(), updatertest::transferAck(2, 3));
    EXPECT_EQ(rig.transport->state(), common::Transport::State::Connected);
}

TEST(LargeSizes, UpdateExeSizeAboveTheLimitIsRefusedUnreserved)
{
    for (const std::uint32_t size : kAnnounced) {
        SCOPED_TRACE(size);
        UpdaterRig rig;
        rig.startRun();
        // Updater.dat (3 bytes), then the size word of Update.exe and its first byte.
        rig.transport->deliver(fileDataHeader(1, 3) + "dat");
        resetLargest();
        rig.transport->deliver(bigEndian(size) + "e");
        EXPECT_LT(largest(), kSmall);
        EXPECT_TRUE(rig.logHas("Ignored an invalid file size from the Update Server."))
            << rig.log();
        EXPECT_EQ(rig.transport->state(), common::Transport::State::Closed);
        EXPECT_FALSE(fs::exists(rig.program / "Update.exe"));
    }
}

TEST(LargeSizes, DeclaredUnpackedLengthAboveTheLimitIsRefusedUnreserved)
{
    const Bytes stream = updater::Pack("a small file").substr(4);
    for (const std::uint32_t declared : kAnnounced) {
        SCOPED_TRACE(declared);
        const Bytes container = littleEndian(declared) + stream;
        resetLargest();
        EXPECT_FALSE(updater::Unpack(container).has_value());
        EXPECT_LT(largest(), kSmall);

        UpdaterRig rig;
        writeFile(rig.client() / "big.dat", "old");
        rig.startRun();
        ServedFile file{2, "", "big.dat", "new", true, updater::PackedMarker() + container};
        rig.server->files = {file};
        resetLargest();
        rig.server->serve();
        EXPECT_LT(largest(), kSmall);
        EXPECT_TRUE(rig.logHas("Unable to write file: big.dat")) << rig.log();
        EXPECT_EQ(readFile(rig.client() / "big.dat"), "old");
    }
}

// A header that declares far more than its stream could ever unpack to, though within the
// limit, is refused before its length is reserved too.
TEST(LargeSizes, DeclaredLengthBeyondWhatTheStreamCanHold)
{
    const Bytes container = littleEndian(1u << 30) + updater::Pack("tiny").substr(4);
    resetLargest();
    EXPECT_FALSE(updater::Unpack(container).has_value());
    EXPECT_LT(largest(), kSmall);
}

} // namespace
} // namespace hardening
