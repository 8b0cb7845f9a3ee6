#pragma once

#include "common/Bytes.h"

#include <QString>

namespace common {

// Byte strings from the cores shown as text, and text turned back into bytes, through the
// Windows-1252 code page both ways. Characters outside it become "?".
QString FromWindows1252(ByteView bytes);
Bytes ToWindows1252(const QString &text);

} // namespace common
