#pragma once

#include "updater/app/UpdaterWindowBase.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QListWidget;

namespace updater {

// The "Auto Updater" window: the log list, the status line, the byte counts and the progress
// bar over a background of its own drawing. Closing it runs the hand-over.
class UpdaterWindow final : public QWidget, public UpdaterWindowBase
{
    Q_OBJECT
public:
    explicit UpdaterWindow(QWidget *parent = nullptr);

    // UpdaterView: the log list.
    void appendLogLine(const common::Bytes &text) override;
    void removeOldestLogLine() override;
    void selectLogLine(int index) override;

    bool refreshPending() const override { return m_refresh.isActive(); }
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
    void showProgress(const ProgressRefresh::Changes &changes) override;
    void startRefresh() override { m_refresh.start(); }
    void hideWindow() override { hide(); }

    QListWidget *m_log = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_bytes[2] = {nullptr, nullptr};
    QWidget *m_bar[2] = {nullptr, nullptr};
    QTimer m_refresh;
};

} // namespace updater
