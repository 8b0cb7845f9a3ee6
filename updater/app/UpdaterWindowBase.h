#pragma once

#include "updater/app/ProgressRefresh.h"
#include "updater/flow/UpdaterView.h"

#include <functional>

namespace updater {

// What both "Auto Updater" windows share, whatever toolkit draws them: their size, the
// hand-over callbacks, and the core's progress reports, gathered by ProgressRefresh and shown
// at its pace. A window draws its log list itself, and shows the progress changes it is handed
// with a refresh timer of its own.
class UpdaterWindowBase : public UpdaterView
{
public:
    static constexpr int kWidth = 313;
    static constexpr int kHeight = 137;
    static constexpr int kRefreshMs = ProgressRefresh::kRefreshMs;
    static constexpr const char *kTitle = "Auto Updater";
    // What the status line and the byte counts show before the first report.
    static constexpr const char *kDesignStatus = "Status:";
    static constexpr const char *kDesignBytes = "0/0KB - 0KB/s";

    // Called when the user closes the window (before it goes).
    std::function<void()> onClose;
    // Called by endProcess(): ends the program's loop.
    std::function<void()> onEnd;

    // UpdaterView: the progress reports and the end of the hand-over.
    void setStatusText(const common::Bytes &text) final;
    void setBytesText(const common::Bytes &text) final;
    void setBarWidth(int width) final;
    void endProcess() final;

    // For tests: whether progress changes are being gathered for a later refresh.
    virtual bool refreshPending() const = 0;

protected:
    UpdaterWindowBase() : m_progress(kDesignStatus, kDesignBytes) {}

    // The user asked to close the window: runs the hand-over, unless it has ended already.
    void userClosed();
    // True once the hand-over has ended the program (endProcess()).
    bool ending() const { return m_ending; }
    // Shows the changes gathered since the last refresh, and starts the refresh timer when
    // there were any; the window calls it again when that timer has passed.
    void applyProgress();

    // The toolkit's part: show these changes in the widgets, start the one-shot refresh
    // timer of kRefreshMs (refreshPending() holds until it has passed), hide the window.
    virtual void showProgress(const ProgressRefresh::Changes &changes) = 0;
    virtual void startRefresh() = 0;
    virtual void hideWindow() = 0;

private:
    void requestRefresh();

    ProgressRefresh m_progress;
    bool m_ending = false;
};

} // namespace updater
