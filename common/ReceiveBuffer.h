#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace common {

// One packet cut from the stream: the body's first byte and the rest of the body.
struct Packet
{
    std::uint8_t type = 0;
    Bytes fields;

    bool operator==(const Packet &) const = default;
};

// Bytes received and not yet consumed. Packets are cut from the front; consuming only
// moves a read offset, and the storage is compacted when the consumed part dominates, so
// cutting N packets from one burst costs time linear in the burst.
class ReceiveBuffer
{
public:
    void append(ByteView bytes);
    void clear();

    std::size_t size() const { return m_data.size() - m_offset; }
    bool empty() const { return size() == 0; }
    // The unconsumed bytes. Invalidated by any other call.
    ByteView view() const { return ByteView(m_data).substr(m_offset); }

    // Removes and returns up to `count` bytes from the front (raw data outside the framing).
    Bytes take(std::size_t count);

    // Cuts the next whole packet. A packet is removed from the buffer before it is returned,
    // so a handler that lets more data arrive re-entrantly finds a consistent buffer.
    // Zero-length packets are consumed and skipped, but only once at least 3 bytes are
    // buffered: two bytes 0,0 alone wait for the next arrival. Returns std::nullopt when
    // fewer than 3 bytes are buffered or the next packet is incomplete.
    std::optional<Packet> cutPacket();

    // The receive loop: cuts and hands every complete packet to `dispatch`, in arrival
    // order. `keepGoing`, when given, is asked before each packet (the Updater stops while
    // raw file bytes are arriving).
    void dispatchAll(const std::function<void(const Packet &)> &dispatch,
                     const std::function<bool()> &keepGoing = {});

private:
    void consume(std::size_t count);

    Bytes m_data;
    std::size_t m_offset = 0;
};

} // namespace common
