#include "registry/qt/FrmMain.h"

#include "common/qt/Text1252.h"
#include "registry/app/WindowLayout.h"
#include "registry/net/RegistryClient.h"
#include "registry/qt/FrmVersion.h"
#include "registry/qt/LabelButton.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QStyleFactory>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace registry {

namespace {

constexpr int kRowKeyRole = Qt::UserRole;
constexpr int kColumnKeyRole = Qt::UserRole + 1;

const QColor kBrightGreen(0, 255, 0);
const QColor kBrightRed(255, 0, 0);
const QColor kCaptionColour(0xE6, 0xE2, 0xDA);
const QColor kPanelColour(0x3A, 0x3F, 0x4C);

void setTextColour(QWidget *widget, const QColor &colour)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, colour);
    // Disabled captions (the re-type box's) are dimmed but stay readable.
    pal.setColor(QPalette::Disabled, QPalette::WindowText, colour.darker(170));
    widget->setPalette(pal);
}

QLabel *caption(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    setTextColour(label, kCaptionColour);
    return label;
}

QLineEdit *textBox(const char *name, int maxLength, QWidget *parent, bool password = false)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setMaxLength(maxLength);
    // The limit is on typing: a longer text that the program put in stays whole, and the
    // room shrinks back to the limit as the user deletes from it.
    QObject::connect(box, &QLineEdit::textChanged, box, [box, maxLength](const QString &text) {
        const int room = std::max<int>(maxLength, static_cast<int>(text.size()));
        if (box->maxLength() > room)
            box->setMaxLength(room);
    });
    if (password) {
        box->setEchoMode(QLineEdit::Password);
        // Each character shows as "*".
        box->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    }
    return box;
}

// Puts a text into a box whole, whatever the box's typing limit.
void setWholeText(QLineEdit *box, const QString &text)
{
    if (text.size() > box->maxLength())
        box->setMaxLength(static_cast<int>(text.size()));
    box->setText(text);
}

bool isEnterKey(const QEvent *event)
{
    const auto *key = static_cast<const QKeyEvent *>(event);
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

void ApplyProgramLook()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    // Verdana where installed, otherwise the nearest sans-serif.
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    if (!QFontDatabase::families().contains(QStringLiteral("Verdana")))
        font.setFamily(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    font.setPointSizeF(8.25);
    QApplication::setFont(font);
}

FrmMain::FrmMain(Folders folders, common::Shell &shell, QWidget *parent)
    : QMainWindow(parent), m_actions(std::move(folders), shell, *this)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QLatin1String(kProgramTitle));
    m_presenter = [this](const QString &text) {
        QMessageBox box(QMessageBox::NoIcon, QLatin1String(kProgramTitle), text, QMessageBox::Ok,
                        this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    m_quitHandler = [] { QCoreApplication::exit(0); };
    createWidgets();
    createMenus();
    connectWidgets();
}

FrmMain::~FrmMain()
{
    delete m_version.data();
}

void FrmMain::createWidgets()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColourFromBgr(kWindowColour));
    pal.setColor(QPalette::WindowText, kCaptionColour);
    setPalette(pal);
    setAutoFillBackground(true);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    auto *grid = new QGridLayout(central);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);

    // Left: the status area above the users online. Right of it, the server list across
    // the rest of the width, with Play Selected Server under it.
    grid->addWidget(createLeftColumn(central), 0, 0, 2, 1);
    grid->addWidget(createServerList(central), 0, 1, 2, 2);
    auto *playRow = new QHBoxLayout;
    playRow->addStretch();
    LabelButton *play = createLabelButton(Button::PlaySelectedServer,
                                          QStringLiteral("Play Selected Server"), central);
    play->setEnabled(false);
    play->setMinimumWidth(180);
    playRow->addWidget(play);
    grid->addLayout(playRow, 2, 1, 1, 2);

    // Chat area across the left and middle, the panels' shared place on the right.
    grid->addWidget(createChatArea(central), 3, 0, 1, 2);
    m_panelArea = new QWidget(central);
    m_panelArea->setObjectName(QStringLiteral("panelArea"));
    m_panelArea->setFixedSize(kPanelWidth, kPanelHeight);
    grid->addWidget(m_panelArea, 3, 2, Qt::AlignTop);

    grid->setRowStretch(1, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
    setCentralWidget(central);

    buildNewAccountPanel();
    buildLoginPanel();
    buildServerSettingsPanel();
    buildCreditsPanel();
    buildAddServerPanel();
    resize(1000, 640);
}

LabelButton *FrmMain::createLabelButton(Button id, const QString &text, QWidget *parent)
{
    auto *created = new LabelButton(text, parent);
    created->setObjectName(QStringLiteral("lblButton%1").arg(static_cast<int>(id)));
    m_lblButton[id] = created;
    return created;
}

LabelButton *FrmMain::button(Button id) const
{
    return m_lblButton.at(id);
}

QWidget *FrmMain::createLeftColumn(QWidget *parent)
{
    auto *leftColumn = new QWidget(parent);
    auto *leftLayout = new QVBoxLayout(leftColumn);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(createStatusArea());
    leftLayout->addSpacing(4);
    leftLayout->addWidget(caption(QStringLiteral("Users Online:"), leftColumn));
    m_lstUsers = new QListWidget(leftColumn);
    m_lstUsers->setObjectName(QStringLiteral("lstUsers"));
    leftLayout->addWidget(m_lstUsers, 1);
    leftColumn->setFixedWidth(210);
    return leftColumn;
}

QWidget *FrmMain::createServerList(QWidget *parent)
{
    m_lstViewServers = new QTreeWidget(parent);
    m_lstViewServers->setObjectName(QStringLiteral("lstViewServers"));
    m_lstViewServers->setRootIsDecorated(false);
    m_lstViewServers->setUniformRowHeights(true);
    m_lstViewServers->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lstViewServers->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lstViewServers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lstViewServers->setAllColumnsShowFocus(true);
    m_lstViewServers->setMinimumSize(430, 200);
    m_lstViewServers->viewport()->installEventFilter(this);
    m_lstViewServers->setColumnCount(ColCount);
    auto *header = m_lstViewServers->headerItem();
    for (int c = 0; c < ColCount; ++c) {
        header->setText(c, QLatin1String(kColumns[c].caption));
        header->setToolTip(c, QLatin1String(kColumns[c].toolTip));
        header->setData(c, kColumnKeyRole, QLatin1String(kColumns[c].key));
    }
    m_lstViewServers->setColumnHidden(ColIndex, true);
    m_lstViewServers->header()->setStretchLastSection(false);
    m_lstViewServers->header()->setSectionsMovable(false);
    return m_lstViewServers;
}

QWidget *FrmMain::createChatArea(QWidget *parent)
{
    auto *chatBox = new QWidget(parent);
    auto *chatLayout = new QVBoxLayout(chatBox);
    chatLayout->setContentsMargins(0, 0, 0, 0);
    m_txtChat = new QPlainTextEdit(chatBox);
    m_txtChat->setObjectName(QStringLiteral("txtChat"));
    m_txtChat->setReadOnly(true);
    m_txtChat->setUndoRedoEnabled(false); // the log keeps no second copy of itself for undo
    m_txtChat->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtChat->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    chatLayout->addWidget(m_txtChat, 1);
    auto *sendRow = new QHBoxLayout;
    m_txtSend = new QPlainTextEdit(chatBox);
    m_txtSend->setObjectName(QStringLiteral("txtSend"));
    m_txtSend->setEnabled(false);
    m_txtSend->setFixedHeight(44);
    m_txtSend->setTabChangesFocus(true);
    m_txtSend->installEventFilter(this);
    sendRow->addWidget(m_txtSend, 1);
    LabelButton *send = createLabelButton(Button::Send, QStringLiteral("Send"), chatBox);
    send->setEnabled(false);
    send->setFixedSize(80, 44);
    sendRow->addWidget(send);
    chatLayout->addLayout(sendRow);
    return chatBox;
}

QWidget *FrmMain::createStatusArea()
{
    auto *area = new QFrame(centralWidget() ? centralWidget() : this);
    area->setObjectName(QStringLiteral("picServerStatus"));
    area->setFrameShape(QFrame::StyledPanel);
    area->setAutoFillBackground(true);
    QPalette pal = area->palette();
    pal.setColor(QPalette::Window, kPanelColour);
    area->setPalette(pal);
    area->setFixedWidth(210);
    auto *layout = new QGridLayout(area);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setVerticalSpacing(6);
    auto addRow = [&](int row, const QString &text, QLabel *&value, const char *name,
                      const QString &start) {
        layout->addWidget(caption(text, area), row, 0);
        value = new QLabel(start, area);
        value->setObjectName(QLatin1String(name));
        value->setTextFormat(Qt::PlainText); // the account name comes from the server
        setTextColour(value, kCaptionColour);
        layout->addWidget(value, row, 1);
    };
    addRow(0, QStringLiteral("Registry:"), m_lblRegistry, "lblRegistry", QStringLiteral("Offline"));
    addRow(1, QStringLiteral("Servers:"), m_lblServers, "lblServers", QStringLiteral("N/A"));
    addRow(2, QStringLiteral("Status:"), m_lblStatus, "lblStatus", QStringLiteral("Connecting..."));
    addRow(3, QStringLiteral("Account:"), m_lblAccount, "lblAccount", QStringLiteral("Logged Off"));
    setTextColour(m_lblRegistry, kBrightRed);
    QFont bold = m_lblRegistry->font();
    bold.setBold(true);
    m_lblRegistry->setFont(bold);
    layout->setColumnStretch(1, 1);
    return area;
}

QFrame *FrmMain::createPanel(Panel which, const QString &title)
{
    const int index = static_cast<int>(which);
    auto *panel = new QFrame(m_panelArea);
    panel->setObjectName(QStringLiteral("picBox%1").arg(index));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, kPanelColour);
    panel->setPalette(pal);
    panel->setGeometry(0, 0, kPanelWidth, kPanelHeight);
    panel->hide();

    auto *titleLabel = caption(title, panel);
    QFont font = titleLabel->font();
    font.setBold(true);
    titleLabel->setFont(font);
    titleLabel->setGeometry(10, 8, 220, 20);
    auto *close = new LabelButton(QStringLiteral("Close"), panel);
    close->setObjectName(QStringLiteral("lblClose%1").arg(index));
    close->setGeometry(kPanelWidth - 70, 6, 60, 22);
    m_lblClose[static_cast<std::size_t>(index)] = close;
    m_picBox[static_cast<std::size_t>(index)] = panel;
    return panel;
}

QGridLayout *FrmMain::createPanelForm(Panel which, const QString &title)
{
    QFrame *panel = createPanel(which, title);
    auto *form = new QWidget(panel);
    form->setGeometry(10, 34, kPanelWidth - 20, kPanelHeight - 40);
    auto *layout = new QGridLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

QLineEdit *FrmMain::field(QGridLayout *layout, int row, const QString &label, const char *name,
                          int maxLength, bool password)
{
    QWidget *form = layout->parentWidget();
    layout->addWidget(caption(label, form), row, 0);
    QLineEdit *box = textBox(name, maxLength, form, password);
    layout->addWidget(box, row, 1);
    return box;
}

LabelButton *FrmMain::formButton(QGridLayout *layout, int row, Button id, const QString &text,
                                 int columns)
{
    LabelButton *created = createLabelButton(id, text, layout->parentWidget());
    layout->addWidget(created, row, 0, 1, columns);
    return created;
}

void FrmMain::buildNewAccountPanel()
{
    QGridLayout *layout = createPanelForm(Panel::NewAccount, QStringLiteral("New Account"));
    QWidget *form = layout->parentWidget();
    m_txtUser[0] = field(layout, 0, QStringLiteral("Username:"), "txtUser0", kUserMaxLength);
    m_txtPass[0] = field(layout, 1, QStringLiteral("Password:"), "txtPass0", kPassMaxLength, true);
    m_lblRetype = caption(QStringLiteral("Re-type Password:"), form);
    m_lblRetype->setObjectName(QStringLiteral("lblRetype"));
    m_lblRetype->setEnabled(false);
    layout->addWidget(m_lblRetype, 2, 0);
    m_txtPass[2] = textBox("txtPass2", kPassMaxLength, form, true);
    m_txtPass[2]->setEnabled(false);
    layout->addWidget(m_txtPass[2], 2, 1);
    auto *notify = caption(
        QStringLiteral("Note: Your username is case sensitive and will be displayed to other "
                       "users as your server administrators name on the servers list and also "
                       "on the users list."),
        form);
    notify->setObjectName(QStringLiteral("lblNotify"));
    notify->setWordWrap(true);
    layout->addWidget(notify, 3, 0, 1, 2);
    formButton(layout, 4, Button::CreateAccount, QStringLiteral("Create Account"))
        ->setEnabled(false);
    layout->setRowStretch(5, 1);
}

void FrmMain::buildLoginPanel()
{
    QGridLayout *layout = createPanelForm(Panel::AccountLogin, QStringLiteral("Account Login"));
    QWidget *form = layout->parentWidget();
    m_txtUser[1] = field(layout, 0, QStringLiteral("Username:"), "txtUser1", kUserMaxLength);
    m_txtPass[1] = field(layout, 1, QStringLiteral("Password:"), "txtPass1", kPassMaxLength, true);
    m_chkAutoLogin = new QCheckBox(QStringLiteral("Automatically Login"), form);
    m_chkAutoLogin->setObjectName(QStringLiteral("chkAutoLogin"));
    setTextColour(m_chkAutoLogin, kCaptionColour);
    layout->addWidget(m_chkAutoLogin, 2, 0, 1, 2);
    formButton(layout, 3, Button::Login, QStringLiteral("Login"))->setEnabled(false);
    layout->setRowStretch(4, 1);
}

void FrmMain::buildServerSettingsPanel()
{
    // Changing or removing a registered server has no request in the protocol, so this
    // panel's boxes are never read and its buttons only show that they were pressed.
    QGridLayout *layout = createPanelForm(Panel::ServerSettings, QStringLiteral("Server Settings"));
    m_txtServerName =
        field(layout, 0, QStringLiteral("Server Name:"), "txtServerName", kServerNameMaxLength);
    m_txtServerIP =
        field(layout, 1, QStringLiteral("IP Address:"), "txtServerIP", kAddressMaxLength);
    m_txtServerPort = field(layout, 2, QStringLiteral("Port:"), "txtServerPort", kPortMaxLength);
    formButton(layout, 3, Button::SaveServerSettings, QStringLiteral("Save Server Settings"));
    formButton(layout, 4, Button::RemoveServer, QStringLiteral("Remove Server"));
    layout->setRowStretch(5, 1);
}

void FrmMain::buildCreditsPanel()
{
    QFrame *panel = createPanel(Panel::Credits, QStringLiteral("Registry Credits"));
    auto *form = new QWidget(panel);
    form->setGeometry(10, 32, kPanelWidth - 20, kPanelHeight - 38);
    auto *layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto heading = [&](const QString &text) {
        auto *label = caption(text, form);
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
        layout->addWidget(label);
    };
    auto line = [&](const QString &text) {
        auto *label = caption(text, form);
        label->setWordWrap(true);
        layout->addWidget(label);
        return label;
    };
    heading(QStringLiteral("Programming"));
    line(QStringLiteral("The Talmora Online player-side team"));
    heading(QStringLiteral("Special Thanks To"));
    line(QStringLiteral("Every player who runs a server for the community"));
    line(QStringLiteral("(For all your hard work and dedication)"));
    line(QStringLiteral("The Registry began as a simple list of player-run servers, so that "
                        "players could find a world to join and talk to each other before "
                        "they play."));
    layout->addStretch();
    m_lblRegVer = line(QStringLiteral("Registry Version: R0.0"));
    m_lblRegVer->setObjectName(QStringLiteral("lblRegVer0"));
}

void FrmMain::buildAddServerPanel()
{
    QGridLayout *layout = createPanelForm(Panel::AddServer, QStringLiteral("Add New Server"));
    QWidget *form = layout->parentWidget();
    layout->addWidget(caption(QStringLiteral("Server Name:"), form), 0, 0);
    m_txtNewServer = textBox("txtNewServer", kServerNameMaxLength, form);
    layout->addWidget(m_txtNewServer, 0, 1, 1, 2);
    layout->addWidget(caption(QStringLiteral("IP Address:"), form), 1, 0);
    m_txtNewIP = textBox("txtNewIP", kAddressMaxLength, form);
    layout->addWidget(m_txtNewIP, 1, 1);
    LabelButton *myIp = createLabelButton(Button::UseMyAddress, QStringLiteral("Use my IP"), form);
    myIp->setMinimumWidth(80);
    layout->addWidget(myIp, 1, 2);
    layout->addWidget(caption(QStringLiteral("Port:"), form), 2, 0);
    m_txtNewPort = textBox("txtNewPort", kPortMaxLength, form);
    layout->addWidget(m_txtNewPort, 2, 1, 1, 2);
    formButton(layout, 3, Button::AddServer, QStringLiteral("Add Server"), 3)->setEnabled(false);
    layout->setRowStretch(4, 1);
}

void FrmMain::createMenus()
{
    QMenu *registryMenu = menuBar()->addMenu(QStringLiteral("Registry"));
    const char *accountItems[3] = {"Create New Account", "Log In", "Log Out"};
    for (int i = 0; i < 3; ++i) {
        QAction *item = registryMenu->addAction(QLatin1String(accountItems[i]));
        item->setObjectName(QStringLiteral("mnuAccount%1").arg(i));
        item->setEnabled(false);
        m_mnuAccount[static_cast<std::size_t>(i)] = item;
    }
    registryMenu->addSeparator();
    m_mnuExit = registryMenu->addAction(QStringLiteral("Exit"));
    m_mnuExit->setObjectName(QStringLiteral("mnuExit"));

    QMenu *serverMenu = menuBar()->addMenu(QStringLiteral("Server"));
    m_mnuServerRun = serverMenu->addAction(QStringLiteral("Run"));
    m_mnuServerRun->setObjectName(QStringLiteral("mnuServerRun"));
    m_mnuServerSettings = serverMenu->addAction(QStringLiteral("Settings"));
    m_mnuServerSettings->setObjectName(QStringLiteral("mnuServerSettings"));
    m_mnuServerSettings->setEnabled(false);
    m_mnuServerAddNew = serverMenu->addAction(QStringLiteral("Add New"));
    m_mnuServerAddNew->setObjectName(QStringLiteral("mnuServerAddNew"));
    m_mnuServerAddNew->setEnabled(false);

    QMenu *aboutMenu = menuBar()->addMenu(QStringLiteral("About"));
    m_mnuCredits = aboutMenu->addAction(QStringLiteral("Registry Credits"));
    m_mnuCredits->setObjectName(QStringLiteral("mnuCredits"));
    m_mnuVersion = aboutMenu->addAction(QStringLiteral("Version"));
    m_mnuVersion->setObjectName(QStringLiteral("mnuVersion"));
}

void FrmMain::connectWidgets()
{
    connectLabelButtons();
    connectMenus();
    connectServerList();
    connectPanelBoxes();
    // The chat input holds at most 1400 characters, pasted text included.
    connect(m_txtSend, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_txtSend->toPlainText();
        if (text.size() <= kSendMaxLength)
            return;
        m_txtSend->setPlainText(text.left(kSendMaxLength));
        m_txtSend->moveCursor(QTextCursor::End);
    });
}

void FrmMain::connectLabelButtons()
{
    for (const auto &[id, label] : m_lblButton)
        connect(label, &LabelButton::released, this, [this, id = id] {
            m_actions.buttonReleased(id, [this] { return sendBoxText(); });
        });
    for (int i = 0; i < kPanelCount; ++i)
        connect(m_lblClose[static_cast<std::size_t>(i)], &LabelButton::released, this,
                [this, i] { hidePanel(static_cast<Panel>(i)); });
}

void FrmMain::connectMenus()
{
    connect(m_mnuAccount[0], &QAction::triggered, this, [this] {
        hidePanel(Panel::AccountLogin);
        showPanel(Panel::NewAccount);
    });
    connect(m_mnuAccount[1], &QAction::triggered, this, [this] {
        hidePanel(Panel::NewAccount);
        showPanel(Panel::AccountLogin);
    });
    connect(m_mnuAccount[2], &QAction::triggered, this, [this] {
        if (m_core)
            m_core->logOff();
    });
    connect(m_mnuExit, &QAction::triggered, this, [this] { m_actions.requestQuit(); });
    connect(m_mnuServerRun, &QAction::triggered, this, &FrmMain::runServerAction);
    connect(m_mnuServerSettings, &QAction::triggered, this,
            [this] { showPanel(Panel::ServerSettings); });
    connect(m_mnuServerAddNew, &QAction::triggered, this, [this] { showPanel(Panel::AddServer); });
    connect(m_mnuCredits, &QAction::triggered, this, [this] { showPanel(Panel::Credits); });
    connect(m_mnuVersion, &QAction::triggered, this, &FrmMain::showVersionWindow);
}

void FrmMain::connectServerList()
{
    connect(m_lstViewServers, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { serverItemClicked(item); });
    // Moving the highlight with the keyboard chooses the row as a click does.
    connect(m_lstViewServers, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem *> selected = m_lstViewServers->selectedItems();
        if (!selected.isEmpty())
            serverItemClicked(selected.first());
    });
    connect(m_lstViewServers, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *) { playAction(); });
}

void FrmMain::connectPanelBoxes()
{
    // Account panels: every change of their boxes goes to the core; Enter keys.
    for (const auto &[box, which] : accountBoxes())
        connect(box, &QLineEdit::textChanged, this, [this, which = which](const QString &text) {
            if (m_core)
                m_core->accountTextChanged(which, common::ToWindows1252(text));
        });
    m_txtPass[1]->installEventFilter(this);
    m_txtPass[2]->installEventFilter(this);
    connect(m_chkAutoLogin, &QCheckBox::clicked, this, &FrmMain::autoLoginClicked);

    // Add New Server panel.
    for (QLineEdit *box : {m_txtNewServer, m_txtNewIP, m_txtNewPort})
        connect(box, &QLineEdit::textChanged, this, &FrmMain::newServerFieldsChanged);
}

std::array<std::pair<QLineEdit *, AccountBox>, 5> FrmMain::accountBoxes() const
{
    return {{{m_txtUser[0], AccountBox::NewAccountUser},
             {m_txtPass[0], AccountBox::NewAccountPassword},
             {m_txtPass[2], AccountBox::Retyped},
             {m_txtUser[1], AccountBox::LoginUser},
             {m_txtPass[1], AccountBox::LoginPassword}}};
}

void FrmMain::attach(RegistryClient &core)
{
    m_core = &core;
    m_actions.attach(core);
    m_lblRegVer->setText(QStringLiteral("Registry Version: ") + QLatin1String(kVersionText));
    core.appendChat("Welcome to The Talmora Online Registry!");
    sizeServerColumns();
    core.loadAccountSettings();
}

void FrmMain::sizeServerColumns()
{
    const int width = m_lstViewServers->viewport()->width();
    m_lstViewServers->setColumnHidden(ColIndex, false);
    m_lstViewServers->setColumnWidth(ColIndex, 0);
    m_lstViewServers->setColumnHidden(ColIndex, true);
    for (int c = ColStatus; c < ColCount; ++c)
        m_lstViewServers->setColumnWidth(c, static_cast<int>(width * kColumns[c].share));
}

void FrmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The widths follow the list's width once the window is laid out for the first time.
    if (!m_columnsSized) {
        m_columnsSized = true;
        sizeServerColumns();
    }
}

// --- RegistryView -----------------------------------------------------------------------

void FrmMain::setRegistryState(ByteView caption, bool online)
{
    m_lblRegistry->setText(common::FromWindows1252(caption));
    setTextColour(m_lblRegistry, online ? kBrightGreen : kBrightRed);
}

void FrmMain::setStatusText(ByteView text)
{
    m_lblStatus->setText(common::FromWindows1252(text));
}

void FrmMain::setAccountText(ByteView text)
{
    m_lblAccount->setText(common::FromWindows1252(text));
}

void FrmMain::setServerCountText(ByteView text)
{
    m_lblServers->setText(common::FromWindows1252(text));
}

void FrmMain::setAccountMenuEnabled(AccountMenu item, bool enabled)
{
    m_mnuAccount[static_cast<std::size_t>(item)]->setEnabled(enabled);
}

void FrmMain::setServerSettingsEnabled(bool enabled)
{
    m_mnuServerSettings->setEnabled(enabled);
}

void FrmMain::setServerAddNewEnabled(bool enabled)
{
    m_mnuServerAddNew->setEnabled(enabled);
}

void FrmMain::hidePanel(Panel panel)
{
    m_picBox[static_cast<std::size_t>(panel)]->hide();
}

void FrmMain::showPanel(Panel which)
{
    QFrame *panel = m_picBox[static_cast<std::size_t>(which)];
    panel->show();
    panel->raise(); // the panel opened last is drawn on top
}

void FrmMain::appendChatLine(ByteView line)
{
    if (line.empty())
        return;
    // Lines that arrive together are added together: one insertion and one scroll per pass
    // of the event loop, however many lines a burst carries.
    QString text = common::FromWindows1252(line);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!m_pendingChat.isEmpty())
        m_pendingChat.append(QLatin1Char('\n'));
    m_pendingChat.append(text);
    if (m_chatFlushPosted)
        return;
    m_chatFlushPosted = true;
    QMetaObject::invokeMethod(
        this, [this] { flushChat(); }, Qt::QueuedConnection);
}

void FrmMain::flushChat() const
{
    m_chatFlushPosted = false;
    if (m_pendingChat.isEmpty())
        return;
    QString text;
    text.swap(m_pendingChat);
    // One block per line: appending never rewrites the text already in the log.
    m_txtChat->appendPlainText(text);
    m_txtChat->moveCursor(QTextCursor::End); // the caret at the end keeps the newest line in view
}

Bytes FrmMain::chatLogText() const
{
    flushChat();
    QString text = m_txtChat->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return common::ToWindows1252(text);
}

void FrmMain::setChatInputEnabled(bool enabled)
{
    m_txtSend->setEnabled(enabled);
    button(Button::Send)->setEnabled(enabled);
}

void FrmMain::clearChatInput()
{
    m_txtSend->clear();
}

void FrmMain::setServerRow(int index, const ServerRowText &row)
{
    QTreeWidgetItem *item = nullptr;
    if (auto it = m_rows.find(index); it != m_rows.end()) {
        item = it->second;
    } else {
        item = new QTreeWidgetItem(m_lstViewServers);
        item->setData(ColIndex, kRowKeyRole, index);
        item->setText(ColIndex, common::FromWindows1252(row.name));
        m_rows[index] = item;
    }
    item->setText(ColStatus, common::FromWindows1252(row.status));
    item->setText(ColName, common::FromWindows1252(row.name));
    item->setText(ColPlayers, common::FromWindows1252(row.players));
    item->setTextAlignment(ColPlayers, Qt::AlignCenter);
    item->setText(ColAdministrator, common::FromWindows1252(row.administrator));
}

void FrmMain::clearServerRows()
{
    m_rows.clear();
    // Rows are taken out one by one: resetting the whole list would also reset its columns
    // and show the hidden index column again.
    qDeleteAll(m_lstViewServers->invisibleRootItem()->takeChildren());
}

void FrmMain::clearUsers()
{
    m_lstUsers->clear();
}

void FrmMain::addUser(ByteView name)
{
    m_lstUsers->addItem(common::FromWindows1252(name));
}

void FrmMain::clearNewAccountFields()
{
    m_txtUser[0]->clear();
    m_txtPass[0]->clear();
    m_txtPass[2]->clear();
}

void FrmMain::clearNewAccountUserAndFocus()
{
    m_txtUser[0]->clear();
    m_txtUser[0]->setFocus();
}

void FrmMain::showLoginUser(ByteView user)
{
    setWholeText(m_txtUser[1], common::FromWindows1252(user));
}

void FrmMain::showLoginPassword(ByteView password)
{
    setWholeText(m_txtPass[1], common::FromWindows1252(password));
}

void FrmMain::showAutoLogin(int autoLogin)
{
    m_chkAutoLogin->setTristate(autoLogin == 2);
    m_chkAutoLogin->setCheckState(autoLogin == 1   ? Qt::Checked
                                  : autoLogin == 2 ? Qt::PartiallyChecked
                                                   : Qt::Unchecked);
}

void FrmMain::setButtonEnabled(Button id, bool enabled)
{
    button(id)->setEnabled(enabled);
}

void FrmMain::setRetypeEnabled(bool enabled)
{
    m_lblRetype->setEnabled(enabled);
    m_txtPass[2]->setEnabled(enabled);
}

void FrmMain::setPlayEnabled(bool enabled)
{
    button(Button::PlaySelectedServer)->setEnabled(enabled);
}

void FrmMain::setNewServerAddress(ByteView address)
{
    // Raises the box's change like typing does.
    setWholeText(m_txtNewIP, common::FromWindows1252(address));
}

void FrmMain::setAddServerButton(bool enabled, ByteView caption)
{
    LabelButton *add = button(Button::AddServer);
    add->setEnabled(enabled);
    add->setText(common::FromWindows1252(caption));
    add->repaint();
}

void FrmMain::showMessage(ByteView text)
{
    m_presenter(common::FromWindows1252(text));
}

void FrmMain::quitRequested()
{
    if (m_quitScheduled)
        return;
    m_quitScheduled = true;
    // QuitProgram runs once the current event has been handled.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_quitHandler)
                m_quitHandler();
        },
        Qt::QueuedConnection);
}

// --- Actions ------------------------------------------------------------------------------

Bytes FrmMain::sendBoxText() const
{
    QString text = m_txtSend->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return common::ToWindows1252(text);
}

void FrmMain::playAction()
{
    m_actions.play();
}

void FrmMain::runServerAction()
{
    m_actions.runServer();
}

void FrmMain::showVersionWindow()
{
    // An open version window is brought forward; a closed one is created anew and reads
    // the release notes again.
    if (!m_version) {
        m_version = new FrmVersion(m_actions.folders().program);
        m_version->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_version->show();
    m_version->raise();
}

void FrmMain::serverItemClicked(QTreeWidgetItem *item)
{
    if (!item || !m_core)
        return;
    m_core->serverChosen(item->data(ColIndex, kRowKeyRole).toInt());
}

void FrmMain::autoLoginClicked()
{
    // A greyed box becomes an ordinary two-state box once the user clicks it.
    m_chkAutoLogin->setTristate(false);
    if (m_core)
        m_core->autoLoginClicked(m_chkAutoLogin->checkState() == Qt::Checked);
}

void FrmMain::newServerFieldsChanged()
{
    if (m_core)
        m_core->newServerFieldsChanged(common::ToWindows1252(m_txtNewServer->text()),
                                       common::ToWindows1252(m_txtNewIP->text()),
                                       common::ToWindows1252(m_txtNewPort->text()));
}

// --- Events -------------------------------------------------------------------------------

void FrmMain::closeEvent(QCloseEvent *event)
{
    // Closing is never cancelled: it asks the program to end.
    m_actions.requestQuit();
    event->accept();
}

bool FrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_txtSend && event->type() == QEvent::KeyPress && isEnterKey(event)) {
        // The key is not consumed: after the send has emptied the box, the box still gets
        // the line break.
        if (m_core)
            m_core->sendChatFromEnter(sendBoxText());
        return false;
    }
    // Enter in a password box: the core decides what its press and release do. A held key
    // sends one release at the end, not one per repeat.
    const bool passwordBox = watched == m_txtPass[1] || watched == m_txtPass[2];
    const bool keyEvent = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (passwordBox && m_core && keyEvent && isEnterKey(event)) {
        const AccountBox box =
            watched == m_txtPass[1] ? AccountBox::LoginPassword : AccountBox::Retyped;
        if (event->type() == QEvent::KeyPress)
            m_core->enterPressed(box);
        else if (event->type() == QEvent::KeyRelease &&
                 !static_cast<QKeyEvent *>(event)->isAutoRepeat())
            m_core->enterReleased(box);
    }
    if (watched == m_lstViewServers->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_lstViewServers->itemAt(mouse->position().toPoint()) && m_core)
            m_core->noServerChosen(); // a click that selects no row
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace registry
