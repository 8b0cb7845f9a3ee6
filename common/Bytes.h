#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace common {

// Every protocol value, file content and path inside the cores is a byte string: each char
// holds one byte 0..255. Conversion to display text happens only at the widget boundary.
using Bytes = std::string;
using ByteView = std::string_view;

inline unsigned char byteAt(ByteView text, std::size_t pos)
{
    return static_cast<unsigned char>(text[pos]);
}

inline Bytes byteString(std::initializer_list<int> values)
{
    Bytes out;
    out.reserve(values.size());
    for (int v : values)
        out.push_back(static_cast<char>(static_cast<unsigned char>(v)));
    return out;
}

// ASCII letters only: every other byte stands for itself, whatever the code page.
inline char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A letter of Windows-1252 text in lower case: A-Z, the accented capitals and the four
// capitals the code page keeps among its punctuation (Š, Œ, Ž, Ÿ); other bytes as they are.
inline char lower1252(char c)
{
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 0xC0 && b <= 0xDE && b != 0xD7))
        return static_cast<char>(b + 0x20);
    if (b == 0x8A || b == 0x8C || b == 0x8E)
        return static_cast<char>(b + 0x10);
    if (b == 0x9F)
        return static_cast<char>(0xFF);
    return c;
}

// The text with every letter of Windows-1252 in lower case (lower1252).
inline Bytes LowerCase1252(ByteView text)
{
    Bytes out(text);
    for (char &c : out)
        c = lower1252(c);
    return out;
}

// True when both hold the same bytes once ASCII letters are taken as lower case.
inline bool equalsIgnoringAsciiCase(ByteView a, ByteView b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

// The text with every line break as CR LF: a lone CR or LF becomes CR LF, as edit controls
// and the chat log take them. Appends to `out`.
inline void AppendWithCrLf(Bytes &out, ByteView text)
{
    // Most texts hold no line break at all: they go in whole.
    if (text.find('\r') == ByteView::npos && text.find('\n') == ByteView::npos) {
        out.append(text);
        return;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            out += c;
            continue;
        }
        out += "\r\n";
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
}

} // namespace common
