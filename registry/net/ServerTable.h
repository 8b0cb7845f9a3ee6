#pragma once

#include "common/Bytes.h"

#include <array>
#include <cstdint>

namespace registry {

using common::Bytes;

struct ServerRecord
{
    Bytes name; // empty: the slot is free
    Bytes administrator;
    Bytes address;
    bool online = false;
    std::uint8_t players = 0;
};

// Game servers are always joined on this port: the server list carries no port of its own.
inline constexpr std::int32_t kGameClientPort = 2601;

// The 30 slots of known game servers, numbered 1 to 30 as the registry server sends them.
class ServerTable
{
public:
    static constexpr int kSlots = 30;

    const ServerRecord &slot(int index) const
    {
        return m_slots.at(static_cast<std::size_t>(index - 1));
    }
    ServerRecord &slot(int index) { return m_slots.at(static_cast<std::size_t>(index - 1)); }
    static bool validIndex(int index) { return index >= 1 && index <= kSlots; }

    int CountServers() const;
    void clear();

private:
    std::array<ServerRecord, kSlots> m_slots{};
};

} // namespace registry
