#include "updater/files/WindowsNames.h"

namespace updater {

namespace {

void appendSegment(common::Bytes &key, common::ByteView segment)
{
    while (!segment.empty() && (segment.back() == '.' || segment.back() == ' '))
        segment.remove_suffix(1);
    for (const char c : segment)
        key += common::lower1252(c);
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
