#include "updater/files/WindowsNames.h"

namespace updater {

namespace {

// The capital of a code page 1252 letter, as Windows' own case table has it.
unsigned char upper1252(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) // à..þ without ÷
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: // š
    case 0x9C: // œ
    case 0x9E: // ž
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF: // ÿ
        return 0x9F;
    default:
        return c;
    }
}

void appendSegment(common::Bytes &key, common::ByteView segment)
{
    while (!segment.empty() && (segment.back() == '.' || segment.back() == ' '))
        segment.remove_suffix(1);
    for (const char c : segment)
        key += static_cast<char>(upper1252(static_cast<unsigned char>(c)));
}

} // namespace

common::Bytes WindowsNameKey(common::ByteView relativePath)
{
    common::Bytes key;
    key.reserve(relativePath.size());
    for (;;) {
        const auto separator = relativePath.find_first_of("\\/");
        appendSegment(key, relativePath.substr(0, separator));
        if (separator == common::ByteView::npos)
            return key;
        key += '\\';
        relativePath.remove_prefix(separator + 1);
    }
}

} // namespace updater
