#pragma once

#include "common/Bytes.h"

namespace updater {

// What the Updater's window shows, as the core drives it. Texts are byte strings; the window
// converts them for display.
class UpdaterView
{
public:
    virtual ~UpdaterView() = default;

    // The log list: a line is appended, the oldest line removed, a line selected (scrolled
    // into view).
    virtual void appendLogLine(const common::Bytes &text) = 0;
    virtual void removeOldestLogLine() = 0;
    virtual void selectLogLine(int index) = 0;

    // "Status: ..." in the status label.
    virtual void setStatusText(const common::Bytes &text) = 0;
    // The text of both byte-count labels.
    virtual void setBytesText(const common::Bytes &text) = 0;
    // Width of the moving bar element, 0..295 pixels.
    virtual void setBarWidth(int width) = 0;

    // The hand-over is done: close the window and end the program. Nothing of the core runs
    // after this.
    virtual void endProcess() = 0;
};

} // namespace updater
