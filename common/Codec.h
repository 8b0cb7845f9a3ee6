#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <optional>

namespace common {

// Largest body a packet can carry: the length word counts 0..65535.
inline constexpr std::size_t kMaxBodyLength = 65535;

// Two characters, high byte first. Callers pass 0..65535; higher bits are dropped.
Bytes EncodeWord(std::int32_t value);
// The Registry client's reading: a two's-complement 16-bit number (255,255 gives -1).
std::int16_t DecodeWord(ByteView text);
// Length words on the wire are read unsigned (0..65535) by both programs, so a length
// can never be negative.
std::uint16_t DecodeLength(ByteView text);

// Four characters, most significant first.
Bytes EncodeLong(std::int32_t value);
// Two's-complement 32-bit reading of four characters (the first byte 128 or more gives a
// negative number). `LongFits` tells whether the Updater's reading accepts the bytes.
std::int32_t DecodeLong(ByteView text);
bool LongFits(ByteView text);

// Sum of all byte values in 32-bit two's-complement arithmetic (wraps instead of
// overflowing for inputs above 8 MiB of 0xFF bytes).
std::int32_t ByteSum(ByteView text);

// The check character the Registry client puts between length and body.
std::uint8_t CheckCharacter(ByteView body);

enum class PacketKind
{
    WithCheckCharacter,
    Plain
};

// Length word, optional check character, body. A body longer than 65535 bytes has no
// length word: nothing is built and the caller gets std::nullopt.
std::optional<Bytes> BuildPacket(ByteView body, PacketKind kind);

// Drops trailing blanks and NULs; leading characters are kept.
Bytes TrimPadding(ByteView text);

// Removes blanks (byte 32 only) from both ends.
Bytes TrimBlanks(ByteView text);

} // namespace common
