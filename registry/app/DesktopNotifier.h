#pragma once

#include "common/Bytes.h"

namespace registry {

// Word to the player outside the window: a desktop notification (a notification-area balloon
// on Windows), and the taskbar entry asking for attention while the window is not in front.
class DesktopNotifier
{
public:
    virtual ~DesktopNotifier() = default;
    // `text` in Windows-1252, e.g. "Eastmarch is online (12 players)".
    virtual void notify(common::ByteView text) = 0;
};

} // namespace registry
