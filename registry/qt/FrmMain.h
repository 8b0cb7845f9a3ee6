#pragma once

#include "common/Bytes.h"
#include "registry/app/WindowDescription.h"
#include "registry/qt/FrmVersion.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>

class QAction;
class QCheckBox;
class QFrame;
class QKeyEvent;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPoint;
class QTreeWidget;
class QTreeWidgetItem;

namespace registry {

class DesktopNotifier;
class DesktopNotice;
class LabelButton;
class WindowController;
class WindowSurface;

// The program's style and font. No application display name is set: the window system
// would append it to every window's caption.
void ApplyProgramLook();

// The main window of the Registry program with Qt widgets. It renders the window's
// description (registry/app/WindowDescription.h), does what the application layer asks of it
// (surface()) and hands every input to the WindowController, converting text through
// Windows-1252 at this boundary.
class FrmMain final : public QMainWindow
{
    Q_OBJECT
public:
    // `programFolder` holds the release notes of the version window.
    explicit FrmMain(Bytes programFolder, QWidget *parent = nullptr);
    ~FrmMain() override;

    WindowSurface &surface();
    // Word on the desktop when a favourite comes online.
    DesktopNotifier &notifier();
    // From now on every input of the window goes to `controller`; then the window has loaded.
    void attach(WindowController &controller);

    // Where modal messages go: a QMessageBox with only OK and the program's title unless
    // replaced (tests record the text instead).
    using MessagePresenter = std::function<void(const QString &)>;
    void setMessagePresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }

    // The chat log as lines joined by CR LF.
    Bytes chatLogText() const;
    FrmVersion *versionWindow() const { return m_version; }

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class Surface;

    void createWidgets();
    QWidget *createLeftColumn(QWidget *parent);
    QWidget *createStatusArea(QWidget *parent);
    QWidget *createServerList(QWidget *parent);
    QWidget *createChatArea(QWidget *parent);
    QWidget *createPlayRow(QWidget *parent);
    LabelButton *createLabelButton(Button id, QWidget *parent);
    void createPanel(const PanelInfo &info);
    // A panel's form in a grid: fields with their captions, notes, the check box, buttons.
    void buildForm(QWidget *form, std::span<const FormItem> items);
    void addField(QGridLayout *layout, int row, const FormItem &item, int columns);
    void buildCredits(QWidget *form);
    void createMenus();
    // Keeps `widget` as the control `id`, named as the description names it.
    template <typename Widget> Widget *named(Widget *widget, int id);
    QWidget *control(int id) const { return m_controls.at(id); }

    void connectLabelButtons();
    void connectMenus();
    void connectServerList();
    void connectBoxes();
    bool enterKey(QObject *watched, QEvent *event);
    // The server list's context menu and favourite keys.
    bool serverListKey(const QKeyEvent *key);
    void showServerMenu(std::optional<int> row, const QPoint &at);
    void sizeServerColumns();
    void showVersionWindow();
    // The chat log's context menu at `at` of the log.
    void showChatLogMenu(const QPoint &at);

    Bytes m_programFolder;
    std::unique_ptr<Surface> m_surface;
    std::unique_ptr<DesktopNotice> m_notice;
    // Set by attach(); the window is shown, and takes input, only after it.
    WindowController *m_controller = nullptr;
    MessagePresenter m_presenter;
    bool m_columnsSized = false;
    QPointer<FrmVersion> m_version;

    std::map<int, QWidget *> m_controls;
    std::map<MenuItem, QAction *> m_menuItems;
    QWidget *m_panelArea = nullptr;
    QTreeWidget *m_lstViewServers = nullptr;
    std::map<int, QTreeWidgetItem *> m_rows;
    QListWidget *m_lstUsers = nullptr;
    QPlainTextEdit *m_txtChat = nullptr;
    bool m_chatTimesChecked = false; // "Show Times" in the chat log's context menu
    QPlainTextEdit *m_txtSend = nullptr;
};

} // namespace registry
