#pragma once

#include "updater/flow/ProgressRefresh.h"
#include "updater/flow/UpdaterView.h"

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QListWidget;

namespace updater {

// The "Auto Updater" window: the log list, the status line, the byte counts and the progress
// bar over a background of its own drawing. Closing it runs the hand-over.
class UpdaterWindow final : public QWidget, public UpdaterView
{
    Q_OBJECT
public:
    static constexpr int kWidth = 313;
    static constexpr int kHeight = 137;
    static constexpr int kRefreshMs = ProgressRefresh::kRefreshMs;

    explicit UpdaterWindow(QWidget *parent = nullptr);

    // Called when the user closes the window (before it goes).
    std::function<void()> onClose;
    // Called by endProcess(): ends the event loop.
    std::function<void()> onEnd;

    // UpdaterView.
    void appendLogLine(const common::Bytes &text) override;
    void removeOldestLogLine() override;
    void selectLogLine(int index) override;
    void setStatusText(const common::Bytes &text) override;
    void setBytesText(const common::Bytes &text) override;
    void setBarWidth(int width) override;
    void endProcess() override;

    // For tests: whether progress changes are being gathered for a later refresh.
    bool refreshPending() const { return m_refresh.isActive(); }
    // For tests.
    QListWidget *logList() const { return m_log; }
    QLabel *statusLabel() const { return m_status; }
    QLabel *bytesLabel(int index) const { return m_bytes[index]; }
    QWidget *barElement(int index) const { return m_bar[index]; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createWidgets();
    void requestRefresh();
    void applyProgress();

    QListWidget *m_log = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_bytes[2] = {nullptr, nullptr};
    QWidget *m_bar[2] = {nullptr, nullptr};
    ProgressRefresh m_progress;
    QTimer m_refresh;
    bool m_ending = false;
};

} // namespace updater
