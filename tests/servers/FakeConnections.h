#pragma once

#include "common/Codec.h"
#include "common/ReceiveBuffer.h"
#include "servers/Connections.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace servertest {

using common::Bytes;
using servers::ConnectionId;

// Records what a server core sends and closes, per connection.
class FakeConnections final : public servers::Connections
{
public:
    void send(ConnectionId id, common::ByteView bytes) override
    {
        if (!closed.count(id))
            sent[id] += Bytes(bytes);
    }
    void close(ConnectionId id) override { closed.insert(id); }

    // Cuts the plain-framed packets sent to `id` since the last call.
    std::vector<common::Packet> packets(ConnectionId id)
    {
        common::ReceiveBuffer buffer;
        buffer.append(sent[id]);
        sent[id].clear();
        std::vector<common::Packet> out;
        while (auto p = buffer.cutPacket())
            out.push_back(*p);
        sent[id] = Bytes(buffer.view()); // whatever is not a whole packet stays
        return out;
    }

    std::map<ConnectionId, Bytes> sent;
    std::set<ConnectionId> closed;
};

// Collects log lines.
struct LogLines
{
    std::vector<std::string> lines;
    servers::LogFunction function()
    {
        return [this](const std::string &line) { lines.push_back(line); };
    }
    bool contains(const std::string &text) const
    {
        for (const auto &line : lines) {
            if (line.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
};

inline common::Packet packet(int type, const Bytes &fields = {})
{
    return common::Packet{static_cast<std::uint8_t>(type), fields};
}

} // namespace servertest
