#include "common/ReceiveBuffer.h"

#include "common/Codec.h"

#include <algorithm>

namespace common {

void ReceiveBuffer::append(ByteView bytes)
{
    m_data.append(bytes);
}

void ReceiveBuffer::clear()
{
    m_data.clear();
    m_offset = 0;
}

Bytes ReceiveBuffer::take(std::size_t count)
{
    count = std::min(count, size());
    Bytes out = m_data.substr(m_offset, count);
    consume(count);
    return out;
}

void ReceiveBuffer::consume(std::size_t count)
{
    m_offset += count;
    if (m_offset == m_data.size()) {
        m_data.clear();
        m_offset = 0;
    } else if (m_offset > 4096 && m_offset > m_data.size() / 2) {
        // Compact only when the consumed prefix outweighs the rest: each byte moves a
        // bounded number of times, so the cost stays linear.
        m_data.erase(0, m_offset);
        m_offset = 0;
    }
}

std::optional<Packet> ReceiveBuffer::cutPacket()
{
    while (size() >= 3) {
        const ByteView rest = view();
        const std::size_t length = DecodeLength(rest);
        if (rest.size() - 2 < length)
            return std::nullopt;
        if (length == 0) {
            consume(2);
            continue;
        }
        Packet packet;
        packet.type = byteAt(rest, 2);
        packet.fields.assign(rest.substr(3, length - 1));
        consume(length + 2);
        return packet;
    }
    return std::nullopt;
}

void ReceiveBuffer::dispatchAll(const std::function<void(const Packet &)> &dispatch,
                                const std::function<bool()> &keepGoing)
{
    while (!keepGoing || keepGoing()) {
        std::optional<Packet> packet = cutPacket();
        if (!packet)
            return;
        dispatch(*packet);
    }
}

} // namespace common
