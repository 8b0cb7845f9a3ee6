#pragma once

#include "common/Bytes.h"

#include <cstdint>

namespace common {

// Reads the fields of a message body from the front. It never throws and never reads past
// the end: a read that finds too few bytes gives 0 or the empty text and sets a failure flag
// that stays set, so a decoder checks ok() once after reading every field.
class ByteReader
{
public:
    explicit ByteReader(ByteView data) : m_data(data) {}

    bool ok() const { return m_ok; }
    std::size_t remaining() const { return m_data.size(); }

    // One byte.
    std::uint8_t byte()
    {
        if (!m_ok || m_data.empty())
            return fail<std::uint8_t>();
        const std::uint8_t value = byteAt(m_data, 0);
        m_data.remove_prefix(1);
        return value;
    }

    // The next `count` bytes; fails when fewer are left.
    ByteView take(std::size_t count)
    {
        if (!m_ok || m_data.size() < count)
            return fail<ByteView>();
        const ByteView bytes = m_data.substr(0, count);
        m_data.remove_prefix(count);
        return bytes;
    }

    // A text ended by one NUL; the NUL is read too but not returned.
    ByteView nulText()
    {
        const std::size_t end = m_ok ? m_data.find('\0') : ByteView::npos;
        if (end == ByteView::npos)
            return fail<ByteView>();
        const ByteView text = m_data.substr(0, end);
        m_data.remove_prefix(end + 1);
        return text;
    }

    // Whatever is left: a text that runs to the end of the body. Never fails.
    ByteView rest()
    {
        if (!m_ok)
            return {};
        const ByteView text = m_data;
        m_data = {};
        return text;
    }

    // Passes over up to `count` bytes, as many as there are. Never fails.
    void skipUpTo(std::size_t count)
    {
        m_data.remove_prefix(count < m_data.size() ? count : m_data.size());
    }

private:
    template <typename T> T fail()
    {
        m_ok = false;
        m_data = {};
        return T{};
    }

    ByteView m_data;
    bool m_ok = true;
};

} // namespace common
