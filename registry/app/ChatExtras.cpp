#include "registry/app/ChatExtras.h"

#include <cstdio>

namespace registry {

namespace {

bool isWordByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    // Letters and digits of code page 1252, and the underscore names often hold.
    return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' ||
           b == 0x8A || b == 0x8C || b == 0x8E || b == 0x9A || b == 0x9C || b == 0x9E ||
           b == 0x9F || (b >= 0xC0 && b != 0xD7 && b != 0xF7);
}

bool startsWith(ByteView text, ByteView start)
{
    return text.size() >= start.size() &&
           common::equalsIgnoringAsciiCase(text.substr(0, start.size()), start);
}

} // namespace

Bytes ChatTimePrefix(int hour, int minute)
{
    char text[16];
    std::snprintf(text, sizeof text, "[%02d:%02d] ", hour % 24, minute % 60);
    return text;
}

bool MentionsName(ByteView line, ByteView name)
{
    if (name.empty() || startsWith(line, "You: ") || startsWith(line, Bytes(name) + ":"))
        return false;
    const Bytes text = common::LowerCase1252(line);
    const Bytes word = common::LowerCase1252(name);
    for (std::size_t at = text.find(word); at != Bytes::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !isWordByte(text[at - 1])) &&
            (end == text.size() || !isWordByte(text[end])))
            return true;
    }
    return false;
}

void ChatHistory::sent(ByteView line)
{
    if (!line.empty() && (m_lines.empty() || m_lines.back() != line)) {
        m_lines.emplace_back(line);
        if (m_lines.size() > kLines)
            m_lines.pop_front();
    }
    m_position = m_lines.size();
    m_typed.clear();
}

std::optional<Bytes> ChatHistory::up(ByteView typed)
{
    if (m_position == 0 || m_lines.empty())
        return std::nullopt;
    if (m_position > m_lines.size())
        m_position = m_lines.size();
    if (m_position == m_lines.size())
        m_typed = Bytes(typed);
    return m_lines[--m_position];
}

std::optional<Bytes> ChatHistory::down()
{
    if (m_position >= m_lines.size())
        return std::nullopt;
    ++m_position;
    return m_position == m_lines.size() ? m_typed : m_lines[m_position];
}

} // namespace registry
