#include "registry/app/ChatExtras.h"

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
    // Every chat line of a burst may take one: no formatting machinery.
    hour = ((hour % 24) + 24) % 24;
    minute = ((minute % 60) + 60) % 60;
    return {'[',
            static_cast<char>('0' + hour / 10),
            static_cast<char>('0' + hour % 10),
            ':',
            static_cast<char>('0' + minute / 10),
            static_cast<char>('0' + minute % 10),
            ']',
            ' '};
}

bool MentionsName(ByteView line, ByteView name)
{
    if (name.empty() || startsWith(line, "You: ") ||
        (startsWith(line, name) && line.size() > name.size() && line[name.size()] == ':'))
        return false;
    // Compared in place, letter by letter in lower case: every line of a burst is looked at.
    const auto sameAt = [&](std::size_t at) {
        for (std::size_t i = 0; i < name.size(); ++i)
            if (common::lower1252(line[at + i]) != common::lower1252(name[i]))
                return false;
        return true;
    };
    for (std::size_t at = 0; at + name.size() <= line.size(); ++at) {
        const std::size_t end = at + name.size();
        if (sameAt(at) && (at == 0 || !isWordByte(line[at - 1])) &&
            (end == line.size() || !isWordByte(line[end])))
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
