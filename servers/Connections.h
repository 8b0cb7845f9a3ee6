#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <functional>
#include <string>

namespace servers {

using common::Bytes;
using common::ByteView;

// Identifies one accepted connection for the life of the server process (never reused).
using ConnectionId = std::uint64_t;

// What a server core asks of the network.
class Connections
{
public:
    virtual ~Connections() = default;
    // Queues bytes for the peer. Ignored for a connection that is closing or gone.
    virtual void send(ConnectionId id, ByteView bytes) = 0;
    // Sends what is queued, then closes. The core hears nothing more from this connection:
    // no further data and no onClosed.
    virtual void close(ConnectionId id) = 0;
};

// How the network reaches a server core.
class ConnectionHandler
{
public:
    virtual ~ConnectionHandler() = default;
    virtual void onOpened(ConnectionId id, const std::string &peerAddress) = 0;
    virtual void onData(ConnectionId id, ByteView bytes) = 0;
    // The peer closed the connection or it failed.
    virtual void onClosed(ConnectionId id) = 0;
};

// One line per event, without a trailing newline; the program adds the time.
using LogFunction = std::function<void(const std::string &)>;

// Text that came from a peer, made safe for a log line: control bytes, DEL and bytes above
// 127 are written as \xNN, and the text is cut after `limit` bytes with "...".
std::string Printable(ByteView text, std::size_t limit = 200);

} // namespace servers
