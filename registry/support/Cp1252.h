#pragma once

#include "common/Bytes.h"

#include <QString>

namespace registry {

// The one 8-bit code page of the window: byte strings of the cores become display text
// and typed text becomes bytes only through these two functions. Characters that the
// code page cannot hold become "?".
QString FromCp1252(common::ByteView bytes);
common::Bytes ToCp1252(const QString &text);

} // namespace registry
