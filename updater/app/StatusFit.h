#pragma once

#include "common/Bytes.h"

#include <functional>

namespace updater {

// The status line has one line's room. A status too wide for it keeps its beginning
// ("Status: Downloading: "), the percentage and the file's own name, and gives up the folders
// before the name, then the beginning of the name, for "\x85" (an ellipsis):
// "Status: Downloading: Maps\Tow\x85\Square.map - 58%". The window keeps the whole text; only
// what is drawn is shortened. `measure` gives a text's width in the units of `width`.
common::Bytes FitStatusText(const common::Bytes &text, int width,
                            const std::function<int(const common::Bytes &)> &measure);

} // namespace updater
