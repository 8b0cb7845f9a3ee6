#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <string>

namespace common {

// One asynchronous TCP connection, as the cores see it.
class Transport
{
public:
    enum class State
    {
        Closed,
        Connecting,
        Connected
    };

    class Listener
    {
    public:
        virtual ~Listener() = default;
        // The connection attempt succeeded.
        virtual void onConnected() = 0;
        // An established connection was closed by the peer or failed. Never raised from
        // within close(), and never for an attempt that did not connect (that attempt just
        // leaves the state Closed).
        virtual void onClosed() = 0;
        // Bytes arrived, in order.
        virtual void onData(ByteView bytes) = 0;
    };

    virtual ~Transport() = default;

    virtual void setListener(Listener *listener) = 0;
    // Abandons whatever was going on and starts a new attempt. Returns at once.
    virtual void connectTo(const std::string &host, std::uint16_t port) = 0;
    // Closes without raising onClosed. Closing a closed transport does nothing.
    virtual void close() = 0;
    // Queues the bytes when connected; returns false (and sends nothing) otherwise.
    virtual bool send(ByteView bytes) = 0;
    virtual State state() const = 0;
    // Stops (false) or resumes (true) raising onData. While stopped, arriving bytes stay with
    // the system, whose buffers are bounded, so a sender that outpaces us is slowed down by
    // TCP itself; a close of the peer is raised only after the bytes before it were taken.
    // A new connection attempt starts receiving again.
    virtual void setReceiving(bool on) = 0;
    virtual bool receiving() const = 0;
};

} // namespace common
