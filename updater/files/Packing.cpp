#include "updater/files/Packing.h"

#include <zlib.h>

#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

namespace updater {

namespace {

constexpr std::size_t kHeaderLength = 4;

void putLittleEndian32(char *out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>(static_cast<unsigned char>((value >> (8 * i)) & 0xFFu));
}

std::int32_t readLittleEndian32(ByteView text)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | common::byteAt(text, static_cast<std::size_t>(i));
    return static_cast<std::int32_t>(value);
}

} // namespace

Bytes PackedMarker()
{
    // EncodeWord(1), then ByteSum("\x1c") * 18 mod 194 (= 116), then 5 and 28.
    return common::byteString({0, 1, (28 * 18) % 194, 5, 28});
}

bool IsPacked(ByteView data)
{
    static const Bytes marker = PackedMarker();
    return data.substr(0, marker.size()) == marker;
}

std::int64_t DeclaredLength(ByteView data)
{
    static const std::size_t markerLength = PackedMarker().size();
    if (!IsPacked(data) || data.size() < markerLength + kHeaderLength)
        return 0;
    return static_cast<std::uint32_t>(readLittleEndian32(data.substr(markerLength)));
}

Bytes Pack(ByteView data)
{
    const std::size_t n = data.size();
    if (n == 0)
        return {};
    if (n > std::numeric_limits<uLong>::max() / 2)
        throw std::length_error("Pack: content too large for one zlib call");

    // The update server sizes its buffer as n + 1 % + 12; zlib's own bound is used when it is
    // larger. The compressed bytes do not depend on the capacity, only on the input and level.
    const double serverCapacity = std::nearbyint(static_cast<double>(n) * 1.01 + 12.0);
    uLong capacity = compressBound(static_cast<uLong>(n));
    if (serverCapacity > static_cast<double>(capacity))
        capacity = static_cast<uLong>(serverCapacity);

    Bytes out(kHeaderLength + capacity, '\0');
    putLittleEndian32(out.data(), static_cast<std::uint32_t>(n));
    uLongf written = capacity;
    const int status =
        compress(reinterpret_cast<Bytef *>(out.data() + kHeaderLength), &written,
                 reinterpret_cast<const Bytef *>(data.data()), static_cast<uLong>(n));
    if (status != Z_OK) // with a sufficient buffer only memory can run out
        throw std::bad_alloc();
    out.resize(kHeaderLength + written);
    return out;
}

std::optional<Bytes> Unpack(ByteView container)
{
    Bytes out;
    if (!UnpackInto(container, out))
        return std::nullopt;
    return out;
}

bool UnpackInto(ByteView container, Bytes &out)
{
    out.clear();
    if (container.empty())
        return true;
    if (container.size() <= kHeaderLength)
        return false;
    const std::int32_t declared = readLittleEndian32(container);
    if (declared <= 0 || declared > kMaxFileSize)
        return false;
    // Deflate expands at most 1032-fold, so a header that declares more than the stream can
    // hold is damaged: refused before its length is reserved (a few bytes must not cost a
    // gigabyte).
    const ByteView stream = container.substr(kHeaderLength);
    if (static_cast<std::int64_t>(declared) > static_cast<std::int64_t>(stream.size()) * 1032)
        return false;

    out.resize(static_cast<std::size_t>(declared));
    uLongf written = static_cast<uLongf>(declared);
    const int status = uncompress(reinterpret_cast<Bytef *>(out.data()), &written,
                                  reinterpret_cast<const Bytef *>(stream.data()),
                                  static_cast<uLong>(stream.size()));
    // Z_BUF_ERROR: the stream holds more than the header says, or ends early; Z_DATA_ERROR:
    // damaged. A stream that ends before filling the declared length is damaged too.
    if (status != Z_OK || written != static_cast<uLongf>(declared)) {
        out.clear();
        return false;
    }
    return true;
}

} // namespace updater
