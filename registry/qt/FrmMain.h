#pragma once

#include "common/Platform.h"
#include "registry/app/WindowActions.h"
#include "registry/net/RegistryView.h"
#include "registry/qt/FrmVersion.h"
#include "registry/support/Launcher.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <functional>
#include <map>
#include <utility>

class QAction;
class QCheckBox;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace registry {

class LabelButton;
class RegistryClient;

// The program's style and font. No application display name is set: the window system
// would append it to every window's caption.
void ApplyProgramLook();

// The main window of the Registry program. It builds and wires the controls, turns the
// core's requests into widget changes (RegistryView) and the user's actions into calls of
// the core, converting text through Windows-1252 at this boundary.
class FrmMain final : public QMainWindow, public RegistryView
{
    Q_OBJECT
public:
    using Folders = ProgramFolders;

    FrmMain(Folders folders, common::Shell &shell, QWidget *parent = nullptr);
    ~FrmMain() override;

    // Connects the window to the core and runs the window's loading: version caption,
    // welcome line, the server list's columns, then the core loads the stored account.
    void attach(RegistryClient &core);

    // Where modal messages go: a QMessageBox with only OK and the program's title unless
    // replaced (tests record the text instead).
    using MessagePresenter = std::function<void(const QString &)>;
    void setMessagePresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }
    // What ends the program once QuitRequested is set: close the socket and leave the loop.
    void setQuitHandler(std::function<void()> handler) { m_quitHandler = std::move(handler); }

    // The chat log as lines joined by CR LF (lines still waiting for the event loop included).
    Bytes chatLogText() const;
    // Adds the lines waiting for the event loop to the log now.
    void flushChat() const;
    // The server the core holds as chosen, as the launcher takes it.
    SelectedServer selectedServer() const { return m_actions.selectedServer(); }
    FrmVersion *versionWindow() const { return m_version; }

    // RegistryView
    void setRegistryState(ByteView caption, bool online) override;
    void setStatusText(ByteView text) override;
    void setAccountText(ByteView text) override;
    void setServerCountText(ByteView text) override;
    void setAccountMenuEnabled(AccountMenu item, bool enabled) override;
    void setServerSettingsEnabled(bool enabled) override;
    void setServerAddNewEnabled(bool enabled) override;
    void hidePanel(Panel panel) override;
    void appendChatLine(ByteView line) override;
    void setChatInputEnabled(bool enabled) override;
    void clearChatInput() override;
    void setServerRow(int index, const ServerRowText &row) override;
    void clearServerRows() override;
    void clearUsers() override;
    void addUser(ByteView name) override;
    void clearNewAccountFields() override;
    void clearNewAccountUserAndFocus() override;
    void showLoginUser(ByteView user) override;
    void showLoginPassword(ByteView password) override;
    void showAutoLogin(int autoLogin) override;
    void setPlayEnabled(bool enabled) override;
    void setButtonEnabled(Button id, bool enabled) override;
    void setRetypeEnabled(bool enabled) override;
    void setNewServerAddress(ByteView address) override;
    void setAddServerButton(bool enabled, ByteView caption) override;
    void showMessage(ByteView text) override;
    void quitRequested() override;

    // Window actions, also reachable without the mouse (Enter keys, double-click).
    void showPanel(Panel panel);
    void playAction();
    void runServerAction();
    void showVersionWindow();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createWidgets();
    QWidget *createLeftColumn(QWidget *parent);
    QWidget *createServerList(QWidget *parent);
    QWidget *createChatArea(QWidget *parent);
    LabelButton *createLabelButton(Button id, const QString &text, QWidget *parent);
    LabelButton *button(Button id) const;
    void createMenus();
    void connectWidgets();
    void connectLabelButtons();
    void connectMenus();
    void connectServerList();
    void connectPanelBoxes();
    QWidget *createStatusArea();
    // The frame the five panels share: title, "Close" and the panel's place.
    QFrame *createPanel(Panel which, const QString &title);
    // A panel with a grid for its fields inside the shared frame.
    QGridLayout *createPanelForm(Panel which, const QString &title);
    // A row of a panel's form: the caption, then the box.
    QLineEdit *field(QGridLayout *layout, int row, const QString &label, const char *name,
                     int maxLength, bool password = false);
    // A label-button across a row of a panel's form.
    LabelButton *formButton(QGridLayout *layout, int row, Button id, const QString &text,
                            int columns = 2);
    void buildNewAccountPanel();
    void buildLoginPanel();
    void buildServerSettingsPanel();
    void buildCreditsPanel();
    void buildAddServerPanel();
    void sizeServerColumns();
    void serverItemClicked(QTreeWidgetItem *item);
    void autoLoginClicked();
    // The account panels' boxes with the names the core knows them by.
    std::array<std::pair<QLineEdit *, AccountBox>, 5> accountBoxes() const;
    void newServerFieldsChanged();
    Bytes sendBoxText() const;

    WindowActions m_actions;
    RegistryClient *m_core = nullptr;
    MessagePresenter m_presenter;
    std::function<void()> m_quitHandler;
    bool m_quitScheduled = false;
    bool m_columnsSized = false;
    mutable QString m_pendingChat; // lines not yet in the log, joined by line breaks
    mutable bool m_chatFlushPosted = false;
    QPointer<FrmVersion> m_version;

    // Status area.
    QLabel *m_lblRegistry = nullptr;
    QLabel *m_lblServers = nullptr;
    QLabel *m_lblStatus = nullptr;
    QLabel *m_lblAccount = nullptr;
    // Lists and chat.
    QTreeWidget *m_lstViewServers = nullptr;
    std::map<int, QTreeWidgetItem *> m_rows;
    QListWidget *m_lstUsers = nullptr;
    QPlainTextEdit *m_txtChat = nullptr;
    QPlainTextEdit *m_txtSend = nullptr;
    // The label-buttons and the panels.
    std::map<Button, LabelButton *> m_lblButton;
    QWidget *m_panelArea = nullptr;
    std::array<QFrame *, kPanelCount> m_picBox{};
    std::array<LabelButton *, kPanelCount> m_lblClose{};
    // Account panels.
    std::array<QLineEdit *, 2> m_txtUser{};
    std::array<QLineEdit *, 3> m_txtPass{};
    QLabel *m_lblRetype = nullptr;
    QCheckBox *m_chkAutoLogin = nullptr;
    QLabel *m_lblRegVer = nullptr;
    // Server panels.
    QLineEdit *m_txtServerName = nullptr;
    QLineEdit *m_txtServerIP = nullptr;
    QLineEdit *m_txtServerPort = nullptr;
    QLineEdit *m_txtNewServer = nullptr;
    QLineEdit *m_txtNewIP = nullptr;
    QLineEdit *m_txtNewPort = nullptr;
    // Menus.
    std::array<QAction *, 3> m_mnuAccount{};
    QAction *m_mnuExit = nullptr;
    QAction *m_mnuServerRun = nullptr;
    QAction *m_mnuServerSettings = nullptr;
    QAction *m_mnuServerAddNew = nullptr;
    QAction *m_mnuCredits = nullptr;
    QAction *m_mnuVersion = nullptr;
};

} // namespace registry
