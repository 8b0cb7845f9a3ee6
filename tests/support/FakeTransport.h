#pragma once

#include "common/Transport.h"

#include <string>
#include <vector>

namespace testsupport {

// A transport that records what the core does and lets a test play the peer.
class FakeTransport final : public common::Transport
{
public:
    void setListener(Listener *listener) override { m_listener = listener; }
    void connectTo(const std::string &host, std::uint16_t port) override;
    void close() override;
    bool send(common::ByteView bytes) override;
    State state() const override { return m_state; }
    void setReceiving(bool on) override { m_receiving = on; }
    bool receiving() const override { return m_receiving; }

    // Peer side.
    void acceptConnection(); // Connecting -> Connected, raises onConnected
    void dropConnection();   // Connected -> Closed, raises onClosed
    // Raises onData, like the real transport only while receiving: otherwise the bytes are
    // held (and a drop waits behind them) until the test calls releaseHeld().
    void deliver(common::ByteView bytes);
    void releaseHeld();
    const std::string &held() const { return m_held; }
    void setState(State state) { m_state = state; }

    struct Attempt
    {
        std::string host;
        std::uint16_t port;
    };
    const std::vector<Attempt> &attempts() const { return m_attempts; }
    int closeCalls() const { return m_closeCalls; }
    // Everything sent so far, concatenated, and each send() separately.
    std::string sentBytes() const;
    const std::vector<std::string> &sends() const { return m_sends; }
    void clearSent() { m_sends.clear(); }

private:
    Listener *m_listener = nullptr;
    State m_state = State::Closed;
    std::vector<Attempt> m_attempts;
    std::vector<std::string> m_sends;
    int m_closeCalls = 0;
    bool m_receiving = true;
    bool m_dropHeld = false;
    std::string m_held;
};

} // namespace testsupport
