#pragma once

#include "common/Bytes.h"

namespace updater {

// A path relative to the client folder ("Data\a.txt") as Windows tells files apart: letters
// without regard to case (those of code page 1252 too: "é" is "É"), and each name without
// the dots and blanks it ends in, which Windows drops. Two paths with the same key name one
// file there, and so under wine as well.
common::Bytes WindowsNameKey(common::ByteView relativePath);

} // namespace updater
