#pragma once

#include "common/Bytes.h"

#include <optional>

namespace updater {

// What of the core's progress reports reaches the window's widgets. The core reports progress
// for every piece of a file that arrives. The first change is shown at once; changes that
// follow within kRefreshMs are gathered and shown together when it has passed, the latest
// values winning. A fast download is then not slowed down by text layout and painting that
// nobody could follow anyway. The window owns the timer and asks take() for what to show.
class ProgressRefresh
{
public:
    static constexpr int kRefreshMs = 100;

    // What changed against what the widgets show.
    struct Changes
    {
        std::optional<common::Bytes> status;
        std::optional<common::Bytes> bytes;
        std::optional<int> barWidth;
        bool any() const { return status || bytes || barWidth; }
    };

    // `shownStatus` and `shownBytes` are the texts the widgets start with; the bar starts empty.
    ProgressRefresh(common::Bytes shownStatus, common::Bytes shownBytes);

    void setStatus(const common::Bytes &text) { m_status = text; }
    void setBytes(const common::Bytes &text) { m_bytes = text; }
    // Kept within 0..kBarWidth.
    void setBarWidth(int width);

    // The changes to show now; they count as shown from here on. When any() holds the window
    // starts its refresh timer, takes again when it has passed, and until then only gathers.
    Changes take();

private:
    common::Bytes m_status;
    common::Bytes m_bytes;
    int m_bar = 0;
    common::Bytes m_shownStatus;
    common::Bytes m_shownBytes;
    int m_shownBar = 0;
};

} // namespace updater
