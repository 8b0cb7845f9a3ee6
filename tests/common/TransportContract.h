#pragma once

// What every transport adapter and core timer does, whatever toolkit it is made of: stated
// once here and instantiated over each adapter in the test executable of its toolkit.
//
// An adapter's description names:
//   Transport    the socket adapter (with bytesWaiting(): what it holds undelivered)
//   CoreTimer    the timer adapter, built from a TimedCore and a Clock
//   Peer         the other end on 127.0.0.1: port(), connected(), stopListening(),
//                send(bytes), closeWhenSent() (closes once the bytes given are written),
//                received(), and waitUntil(condition), which runs the loop meanwhile
//   kReadBufferLimit        what the adapter holds undelivered at most
//   noDelay(transport)      whether small writes leave at once
//   pumpPending()           handles the events already waiting
//   pumpUntil(condition)    runs the loop until the condition holds (false after a while)

#include "common/Clock.h"
#include "common/Transport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace transportcontract {

using State = common::Transport::State;

class Recorder final : public common::Transport::Listener
{
public:
    int connected = 0;
    int closed = 0;
    std::string data;
    std::function<void(common::ByteView)> onDataHook;

    void onConnected() override { ++connected; }
    void onClosed() override { ++closed; }
    void onData(common::ByteView bytes) override
    {
        data.append(bytes);
        if (onDataHook)
            onDataHook(bytes);
    }
};

// Fires three times, 5 ms apart, then wants no more.
class CountingCore final : public common::TimedCore
{
public:
    explicit CountingCore(const common::Clock &clock) : m_clock(clock) {}
    void onTimer() override
    {
        ++calls;
        if (deadline >= 0 && m_clock.nowMs() >= deadline) {
            ++fired;
            deadline = fired < 3 ? m_clock.nowMs() + 5 : -1;
        }
    }
    std::int64_t nextDeadline() const override { return deadline; }

    std::int64_t deadline = -1;
    int fired = 0;
    int calls = 0;

private:
    const common::Clock &m_clock;
};

inline std::string pattern(std::size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + static_cast<std::size_t>(seed));
    return bytes;
}

template <class Adapter> class TransportContract : public ::testing::Test
{
protected:
    bool connect()
    {
        m_transport.setListener(&m_rec);
        m_transport.connectTo("127.0.0.1", m_peer.port());
        return m_peer.waitUntil([&] { return m_rec.connected == 1 && m_peer.connected(); });
    }
    std::size_t waiting() const { return static_cast<std::size_t>(m_transport.bytesWaiting()); }

    typename Adapter::Peer m_peer;
    typename Adapter::Transport m_transport;
    Recorder m_rec;
};

TYPED_TEST_SUITE_P(TransportContract);

TYPED_TEST_P(TransportContract, ConnectsSendsReceivesAndReportsOnlyPeerCloses)
{
    auto &transport = this->m_transport;
    auto &peer = this->m_peer;
    Recorder &rec = this->m_rec;
    transport.setListener(&rec);

    EXPECT_FALSE(transport.send("x")); // not connected: dropped
    transport.connectTo("127.0.0.1", peer.port());
    EXPECT_EQ(transport.state(), State::Connecting);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 1; }));
    EXPECT_EQ(transport.state(), State::Connected);
    EXPECT_TRUE(TypeParam::noDelay(transport)); // small requests go out at once

    EXPECT_TRUE(transport.send("hello"));
    ASSERT_TRUE(peer.waitUntil([&] { return peer.received() == "hello"; }));

    peer.send("world");
    ASSERT_TRUE(peer.waitUntil([&] { return rec.data == "world"; }));

    // The peer's last bytes come before its close.
    peer.send("bye");
    peer.closeWhenSent();
    ASSERT_TRUE(peer.waitUntil([&] { return rec.closed == 1; }));
    EXPECT_EQ(rec.data, "worldbye");
    EXPECT_EQ(transport.state(), State::Closed);
    EXPECT_FALSE(transport.send("late"));

    // Our own close raises nothing, also with the peer's bytes and close on the way.
    transport.connectTo("localhost", peer.port());
    ASSERT_TRUE(peer.waitUntil([&] { return rec.connected == 2 && peer.connected(); }));
    transport.setReceiving(false);
    peer.send("unread");
    peer.closeWhenSent();
    ASSERT_TRUE(peer.waitUntil([&] { return !peer.connected() && this->waiting() == 6; }));
    transport.setReceiving(true); // a delivery is on its way now
    transport.close();
    transport.close();
    EXPECT_EQ(transport.state(), State::Closed);
    TypeParam::pumpPending();
    EXPECT_EQ(rec.closed, 1);
    EXPECT_EQ(rec.data, "worldbye");
}

TYPED_TEST_P(TransportContract, DataArrivingDuringANestedLoopIsDeliveredThen)
{
    ASSERT_TRUE(this->connect());
    auto &peer = this->m_peer;
    std::vector<std::string> deliveries;
    bool nestedSeen = false;
    this->m_rec.onDataHook = [&](common::ByteView bytes) {
        deliveries.emplace_back(bytes);
        if (bytes == "first") {
            // Like a modal message box: a nested loop runs until the next data arrived.
            peer.send("second");
            nestedSeen = peer.waitUntil([&] { return deliveries.size() == 2; });
        }
    };
    peer.send("first");
    ASSERT_TRUE(peer.waitUntil([&] { return deliveries.size() == 2; }));
    EXPECT_TRUE(nestedSeen);
    EXPECT_EQ(deliveries, (std::vector<std::string>{"first", "second"}));
}

TYPED_TEST_P(TransportContract, StoppedReceivingHoldsBytesAndCloseInOrderWithinItsLimit)
{
    ASSERT_TRUE(this->connect());
    auto &transport = this->m_transport;
    auto &peer = this->m_peer;
    Recorder &rec = this->m_rec;
    constexpr std::size_t limit = TypeParam::kReadBufferLimit;

    transport.setReceiving(false);
    EXPECT_FALSE(transport.receiving());
    const std::string flood = pattern(3 * 1024 * 1024, 0);
    peer.send(flood);
    // The adapter fills up to its limit and no further: the rest waits with the sender.
    ASSERT_TRUE(peer.waitUntil([&] { return this->waiting() >= limit; }));
    TypeParam::pumpPending();
    EXPECT_EQ(this->waiting(), limit);
    EXPECT_TRUE(rec.data.empty());

    transport.setReceiving(true);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.data.size() == flood.size(); }));
    EXPECT_TRUE(rec.data == flood);

    // A close behind held bytes waits for them, and for receiving to resume.
    transport.setReceiving(false);
    peer.send("tail");
    peer.closeWhenSent();
    ASSERT_TRUE(peer.waitUntil([&] { return !peer.connected() && this->waiting() == 4; }));
    TypeParam::pumpPending();
    EXPECT_EQ(rec.closed, 0);
    EXPECT_EQ(rec.data.size(), flood.size());
    transport.setReceiving(true);
    ASSERT_TRUE(peer.waitUntil([&] { return rec.closed == 1; }));
    EXPECT_EQ(rec.data.substr(rec.data.size() - 4), "tail");
}

TYPED_TEST_P(TransportContract, FailedAttemptsRaiseNothing)
{
    const std::uint16_t port = this->m_peer.port();
    this->m_peer.stopListening();
    for (const char *host : {"127.0.0.1", "no-such-host.invalid"}) {
        SCOPED_TRACE(host);
        typename TypeParam::Transport transport;
        Recorder rec;
        transport.setListener(&rec);
        transport.connectTo(host, port);
        ASSERT_TRUE(TypeParam::pumpUntil([&] { return transport.state() == State::Closed; }));
        TypeParam::pumpPending();
        EXPECT_EQ(rec.connected, 0);
        EXPECT_EQ(rec.closed, 0);
    }
}

TYPED_TEST_P(TransportContract, TheCoreTimerRunsTheCoreAtItsDeadlines)
{
    common::SteadyClock clock;
    CountingCore core(clock);
    core.deadline = clock.nowMs() + 5;
    typename TypeParam::CoreTimer timer(core, clock);
    ASSERT_TRUE(TypeParam::pumpUntil([&] { return core.fired == 3; }));
    EXPECT_EQ(core.deadline, -1);
}

REGISTER_TYPED_TEST_SUITE_P(TransportContract, ConnectsSendsReceivesAndReportsOnlyPeerCloses,
                            DataArrivingDuringANestedLoopIsDeliveredThen,
                            StoppedReceivingHoldsBytesAndCloseInOrderWithinItsLimit,
                            FailedAttemptsRaiseNothing, TheCoreTimerRunsTheCoreAtItsDeadlines);

} // namespace transportcontract
