#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <optional>

namespace updater {

using common::Bytes;
using common::ByteView;

// The 5 bytes 0, 1, 116, 5, 28 that precede packed data.
Bytes PackedMarker();
// True when `data` begins with the marker.
bool IsPacked(ByteView data);
// The unpacked length that packed `data` (marker first) declares; 0 when `data` is not packed
// or too short to tell.
std::int64_t DeclaredLength(ByteView data);

// 4-byte little-endian unpacked length, then zlib's one-shot `compress` output at the
// default level. The empty content packs to the empty string.
Bytes Pack(ByteView data);

// Inverse of Pack. std::nullopt for damaged input: shorter than 5 bytes, an unpacked length
// of 0 or less or above kMaxUnpackedLength, a zlib error, or a result whose length differs
// from the header. The empty container unpacks to the empty string.
std::optional<Bytes> Unpack(ByteView container);
// The same into `out`, whose memory is used again: a caller that unpacks one file after
// another keeps one buffer instead of asking the system for fresh pages each time. False for
// damaged input; `out` then holds nothing of use.
bool UnpackInto(ByteView container, Bytes &out);

// Largest file the Updater accepts, packed or unpacked (1 GiB); larger announced or declared
// sizes are refused before any memory is reserved for them.
inline constexpr std::int64_t kMaxFileSize = std::int64_t{1} << 30;

} // namespace updater
