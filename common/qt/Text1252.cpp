#include "common/qt/Text1252.h"

#include "common/Windows1252.h"

namespace common {

QString FromWindows1252(ByteView bytes)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (char c : bytes)
        out.append(QChar(FromWindows1252(static_cast<unsigned char>(c))));
    return out;
}

Bytes ToWindows1252(const QString &text)
{
    common::Bytes out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar ch : text)
        out.push_back(ToWindows1252(ch.unicode()));
    return out;
}

} // namespace common
