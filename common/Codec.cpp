#include "common/Codec.h"

namespace common {

Bytes EncodeWord(std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    return Bytes{static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)};
}

std::int16_t DecodeWord(ByteView text)
{
    return static_cast<std::int16_t>(DecodeLength(text));
}

std::uint16_t DecodeLength(ByteView text)
{
    return static_cast<std::uint16_t>((byteAt(text, 0) << 8) | byteAt(text, 1));
}

Bytes EncodeLong(std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    Bytes out(4, '\0');
    for (int k = 0; k < 4; ++k)
        out[static_cast<std::size_t>(k)] = static_cast<char>((v >> (8 * (3 - k))) & 0xFF);
    return out;
}

std::int32_t DecodeLong(ByteView text)
{
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k)
        v = (v << 8) | byteAt(text, k);
    return static_cast<std::int32_t>(v);
}

bool LongFits(ByteView text)
{
    return text.size() >= 4 && byteAt(text, 0) < 128;
}

std::int32_t ByteSum(ByteView text)
{
    std::uint32_t sum = 0;
    for (char c : text)
        sum += static_cast<unsigned char>(c);
    return static_cast<std::int32_t>(sum);
}

std::uint8_t CheckCharacter(ByteView body)
{
    const auto s = static_cast<std::uint32_t>(ByteSum(body));
    const std::uint32_t x = (s * 28u) % 256u;
    return static_cast<std::uint8_t>((x * x * x) % 187u);
}

std::optional<Bytes> BuildPacket(ByteView body, PacketKind kind)
{
    if (body.size() > kMaxBodyLength)
        return std::nullopt;
    Bytes packet = EncodeWord(static_cast<std::int32_t>(body.size()));
    packet.reserve(body.size() + 3);
    if (kind == PacketKind::WithCheckCharacter)
        packet.push_back(static_cast<char>(CheckCharacter(body)));
    packet.append(body);
    return packet;
}

Bytes TrimPadding(ByteView text)
{
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0'))
        --end;
    return Bytes(text.substr(0, end));
}

Bytes TrimBlanks(ByteView text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == ' ')
        ++begin;
    while (end > begin && text[end - 1] == ' ')
        --end;
    return Bytes(text.substr(begin, end - begin));
}

} // namespace common
