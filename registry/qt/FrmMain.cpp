#include "registry/qt/FrmMain.h"

#include "common/qt/QtColour.h"
#include "common/qt/Text1252.h"
#include "registry/app/WindowController.h"
#include "registry/app/WindowSurface.h"
#include "registry/qt/DesktopNotice.h"
#include "registry/qt/FrmVersion.h"
#include "registry/qt/LabelButton.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QStyleFactory>
#include <QTextBlock>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace registry {

namespace {

constexpr int kRowKeyRole = Qt::UserRole;
constexpr int kColumnKeyRole = Qt::UserRole + 1;

void setTextColour(QWidget *widget, common::Rgb rgb)
{
    const QColor colour = common::ToQColor(rgb);
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, colour);
    // Disabled captions (the re-type box's) are dimmed but stay readable.
    pal.setColor(QPalette::Disabled, QPalette::WindowText, colour.darker(170));
    widget->setPalette(pal);
}

void setBackground(QWidget *widget, common::Rgb rgb)
{
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Window, common::ToQColor(rgb));
    widget->setPalette(pal);
    widget->setAutoFillBackground(true);
}

void setBold(QWidget *widget)
{
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

QLabel *caption(const char *text, QWidget *parent)
{
    auto *label = new QLabel(QLatin1String(text), parent);
    label->setTextFormat(Qt::PlainText);
    setTextColour(label, kCaptionColour);
    return label;
}

QLineEdit *textBox(int maxLength, QWidget *parent, bool password)
{
    auto *box = new QLineEdit(parent);
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
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto *key = static_cast<const QKeyEvent *>(event);
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

// The text of the multi-line boxes with their line breaks as CR LF, and back.
Bytes plainText(const QPlainTextEdit *edit)
{
    QString text = edit->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return common::ToWindows1252(text);
}

QString withLineFeeds(ByteView text)
{
    QString converted = common::FromWindows1252(text);
    converted.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return converted;
}

} // namespace

// What the application layer asks of the window, done with its widgets.
class FrmMain::Surface final : public WindowSurface
{
public:
    explicit Surface(FrmMain &window) : m_window(window) {}

    void setText(int id, ByteView text) override
    {
        QWidget *widget = m_window.control(id);
        if (auto *box = qobject_cast<QLineEdit *>(widget)) {
            setWholeText(box, common::FromWindows1252(text));
        } else if (auto *edit = qobject_cast<QPlainTextEdit *>(widget)) {
            edit->setPlainText(withLineFeeds(text));
        } else if (auto *label = qobject_cast<QLabel *>(widget)) {
            label->setText(common::FromWindows1252(text));
            if (qobject_cast<LabelButton *>(label))
                label->repaint();
        }
    }
    Bytes text(int id) const override
    {
        QWidget *widget = m_window.control(id);
        if (auto *edit = qobject_cast<QPlainTextEdit *>(widget))
            return plainText(edit);
        auto *box = qobject_cast<QLineEdit *>(widget);
        return box ? common::ToWindows1252(box->text()) : Bytes();
    }
    void setEnabled(int id, bool enabled) override { m_window.control(id)->setEnabled(enabled); }
    void setTextColour(int id, common::Rgb colour) override
    {
        registry::setTextColour(m_window.control(id), colour);
    }
    void setCheck(int id, int value) override
    {
        auto *box = qobject_cast<QCheckBox *>(m_window.control(id));
        box->setTristate(value == 2);
        box->setCheckState(value == 1   ? Qt::Checked
                           : value == 2 ? Qt::PartiallyChecked
                                        : Qt::Unchecked);
    }
    void setFocus(int id) override { m_window.control(id)->setFocus(); }
    void setPanelShown(Panel panel, bool shown) override
    {
        QWidget *frame = m_window.control(PanelControl(panel));
        frame->setVisible(shown);
        if (shown)
            frame->raise(); // the panel opened last is drawn on top
    }
    void setMenuEnabled(MenuItem item, bool enabled) override
    {
        m_window.m_menuItems.at(item)->setEnabled(enabled);
    }
    void appendChat(ByteView lines, bool marked) override
    {
        // One block per line (the log takes CR LF as one line break): appending never rewrites
        // the text already in the log; the caret at the end keeps the newest line in view.
        // The format is given with each run, so a marked run's colour never spills into the
        // next one.
        QTextCharFormat format;
        if (marked)
            format.setForeground(common::ToQColor(kMentionColour));
        QTextDocument *log = m_window.m_txtChat->document();
        QTextCursor end(log);
        end.beginEditBlock();
        end.movePosition(QTextCursor::End);
        if (!log->isEmpty())
            end.insertBlock(QTextBlockFormat(), format);
        end.insertText(common::FromWindows1252(lines), format);
        end.endEditBlock();
        m_window.m_txtChat->moveCursor(QTextCursor::End);
    }
    void setChatTimesChecked(bool checked) override { m_window.m_chatTimesChecked = checked; }
    void setServerRow(int index, const ServerRowText &row) override;
    void showServerRows(const std::vector<ShownServerRow> &rows) override;
    void chooseServerRow(int index) override
    {
        const auto it = m_window.m_rows.find(index);
        if (it == m_window.m_rows.end())
            return;
        QTreeWidget *list = m_window.m_lstViewServers;
        const QSignalBlocker quiet(list);
        list->setCurrentItem(it->second);
        it->second->setSelected(true);
        list->scrollToItem(it->second);
    }
    void setSortIndicator(ServerColumn column, SortOrder order) override
    {
        QHeaderView *header = m_window.m_lstViewServers->header();
        header->setSortIndicatorShown(order != SortOrder::Arrival);
        header->setSortIndicator(ColumnOf(column), order == SortOrder::Descending
                                                       ? Qt::DescendingOrder
                                                       : Qt::AscendingOrder);
    }
    void clearServerRows() override
    {
        m_window.m_rows.clear();
        // Rows are taken out one by one: resetting the whole list would also reset its columns
        // and show the hidden index column again.
        qDeleteAll(m_window.m_lstViewServers->invisibleRootItem()->takeChildren());
    }
    void clearUsers() override { m_window.m_lstUsers->clear(); }
    void addUser(ByteView name) override
    {
        m_window.m_lstUsers->addItem(common::FromWindows1252(name));
    }
    void showMessage(ByteView text) override
    {
        m_window.m_presenter(common::FromWindows1252(text));
    }
    void showVersionWindow() override { m_window.showVersionWindow(); }
    bool post(std::function<void()> work) override
    {
        return QMetaObject::invokeMethod(&m_window, std::move(work), Qt::QueuedConnection);
    }

private:
    FrmMain &m_window;
};

void FrmMain::Surface::setServerRow(int index, const ServerRowText &row)
{
    QTreeWidgetItem *item = nullptr;
    if (auto it = m_window.m_rows.find(index); it != m_window.m_rows.end()) {
        item = it->second;
    } else {
        item = new QTreeWidgetItem(m_window.m_lstViewServers);
        item->setData(ColIndex, kRowKeyRole, index);
        item->setText(ColIndex, common::FromWindows1252(row.name));
        m_window.m_rows[index] = item;
    }
    item->setText(ColStatus, common::FromWindows1252(row.status));
    item->setText(ColName, common::FromWindows1252(row.name));
    item->setText(ColPlayers, common::FromWindows1252(row.players));
    item->setTextAlignment(ColPlayers, Qt::AlignCenter);
    item->setText(ColAdministrator, common::FromWindows1252(row.administrator));
}

void FrmMain::Surface::showServerRows(const std::vector<ShownServerRow> &rows)
{
    QTreeWidget *list = m_window.m_lstViewServers;
    const QList<QTreeWidgetItem *> chosen = list->selectedItems();
    const int chosenKey =
        chosen.isEmpty() ? 0 : chosen.first()->data(ColIndex, kRowKeyRole).toInt();
    // Rearranging chooses nothing: the chosen row stays chosen, and no click is reported.
    const QSignalBlocker quiet(list);
    // The rows leave the list but not the window's keeping (m_rows), and go back in order.
    list->invisibleRootItem()->takeChildren();
    std::map<int, QTreeWidgetItem *> left;
    left.swap(m_window.m_rows);
    for (const ShownServerRow &shown : rows) {
        if (auto it = left.find(shown.index); it != left.end()) {
            list->addTopLevelItem(it->second);
            m_window.m_rows[shown.index] = it->second;
            left.erase(it);
        }
        setServerRow(shown.index, shown.text);
        m_window.m_rows[shown.index]->setSelected(shown.index == chosenKey);
    }
    for (const auto &entry : left)
        delete entry.second;
}

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

FrmMain::FrmMain(Bytes programFolder, QWidget *parent)
    : QMainWindow(parent), m_programFolder(std::move(programFolder)),
      m_surface(std::make_unique<Surface>(*this)), m_notice(std::make_unique<DesktopNotice>(*this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QLatin1String(kProgramTitle));
    m_presenter = [this](const QString &text) {
        QMessageBox box(QMessageBox::NoIcon, QLatin1String(kProgramTitle), text, QMessageBox::Ok,
                        this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    };
    createWidgets();
    createMenus();
}

FrmMain::~FrmMain()
{
    delete m_version.data();
}

WindowSurface &FrmMain::surface()
{
    return *m_surface;
}

DesktopNotifier &FrmMain::notifier()
{
    return *m_notice;
}

template <typename Widget> Widget *FrmMain::named(Widget *widget, int id)
{
    widget->setObjectName(QString::fromStdString(ControlName(id)));
    m_controls[id] = widget;
    return widget;
}

// --- Building ----------------------------------------------------------------------------

void FrmMain::createWidgets()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, common::ToQColor(kWindowColour));
    pal.setColor(QPalette::WindowText, common::ToQColor(kCaptionColour));
    setPalette(pal);
    setAutoFillBackground(true);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    auto *grid = new QGridLayout(central);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);

    // Left: the status area above the users online. Right of it, the server list across
    // the rest of the width, with Play Selected Server under it. Below, the chat across the
    // left and middle, the panels' shared place on the right.
    grid->addWidget(createLeftColumn(central), 0, 0, 2, 1);
    grid->addWidget(createServerList(central), 0, 1, 2, 2);
    grid->addWidget(createPlayRow(central), 2, 1, 1, 2);
    grid->addWidget(createChatArea(central), 3, 0, 1, 2);
    m_panelArea = new QWidget(central);
    m_panelArea->setObjectName(QStringLiteral("panelArea"));
    m_panelArea->setFixedSize(kPanelWidth, kPanelHeight);
    grid->addWidget(m_panelArea, 3, 2, Qt::AlignTop);

    grid->setRowStretch(1, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(1, 1);
    // The window cannot be made smaller than the layout, the same smallest size as on Windows.
    central->setMinimumSize(kMinClientWidth, kMinClientHeight);
    setCentralWidget(central);

    for (const PanelInfo &panel : kPanels)
        createPanel(panel);
    resize(kClientWidth, kClientHeight);
}

LabelButton *FrmMain::createLabelButton(Button id, QWidget *parent)
{
    const LabelButtonInfo &info = LabelButtonOf(id);
    auto *created = named(new LabelButton(QLatin1String(info.caption), parent), ButtonControl(id));
    created->setEnabled(info.startsEnabled);
    return created;
}

QWidget *FrmMain::createLeftColumn(QWidget *parent)
{
    auto *leftColumn = new QWidget(parent);
    auto *leftLayout = new QVBoxLayout(leftColumn);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(createStatusArea(leftColumn));
    leftLayout->addSpacing(4);
    leftLayout->addWidget(named(caption(kUsersCaption, leftColumn), IdUsersCaption));
    m_lstUsers = named(new QListWidget(leftColumn), IdUsers);
    leftLayout->addWidget(m_lstUsers, 1);
    leftColumn->setFixedWidth(kLeftColumnWidth);
    return leftColumn;
}

QWidget *FrmMain::createStatusArea(QWidget *parent)
{
    auto *area = named(new QFrame(parent), IdStatusArea);
    area->setFrameShape(QFrame::StyledPanel);
    setBackground(area, kPanelColour);
    area->setFixedWidth(kLeftColumnWidth);
    auto *layout = new QGridLayout(area);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setVerticalSpacing(6);
    int row = 0;
    for (const StatusRow &status : kStatusRows) {
        layout->addWidget(caption(status.caption, area), row, 0);
        // The account name comes from the server: plain text.
        layout->addWidget(named(caption(status.startText, area), status.control), row++, 1);
    }
    setTextColour(control(IdRegistry), kOfflineColour);
    setBold(control(IdRegistry));
    layout->setColumnStretch(1, 1);
    return area;
}

QWidget *FrmMain::createServerList(QWidget *parent)
{
    m_lstViewServers = named(new QTreeWidget(parent), IdServerList);
    m_lstViewServers->setRootIsDecorated(false);
    m_lstViewServers->setUniformRowHeights(true);
    m_lstViewServers->setSelectionMode(QAbstractItemView::SingleSelection);
    m_lstViewServers->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_lstViewServers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lstViewServers->setAllColumnsShowFocus(true);
    m_lstViewServers->setMinimumSize(kServerListMinWidth, kServerListMinHeight);
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
    m_lstViewServers->header()->setSectionsClickable(true);
    return m_lstViewServers;
}

QWidget *FrmMain::createPlayRow(QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kColumnGap);
    QLabel *findCaption = named(caption(kFindCaption, row), IdFindCaption);
    findCaption->setFixedWidth(kFindCaptionWidth);
    layout->addWidget(findCaption);
    QLineEdit *find = named(textBox(kServerNameMaxLength, row, false), IdServerFind);
    find->setMinimumWidth(kFindMinWidth);
    findCaption->setBuddy(find);
    layout->addWidget(find, 1);
    auto *hideOffline =
        named(new QCheckBox(QLatin1String(kHideOfflineCaption), row), IdHideOffline);
    setTextColour(hideOffline, kCaptionColour);
    hideOffline->setMinimumWidth(kHideOfflineWidth);
    layout->addWidget(hideOffline);
    LabelButton *play = createLabelButton(Button::PlaySelectedServer, row);
    play->setMinimumWidth(kPlayWidth);
    layout->addWidget(play);
    return row;
}

QWidget *FrmMain::createChatArea(QWidget *parent)
{
    auto *chatBox = new QWidget(parent);
    auto *chatLayout = new QVBoxLayout(chatBox);
    chatLayout->setContentsMargins(0, 0, 0, 0);
    m_txtChat = named(new QPlainTextEdit(chatBox), IdChat);
    m_txtChat->setReadOnly(true);
    m_txtChat->setUndoRedoEnabled(false); // the log keeps no second copy of itself for undo
    m_txtChat->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txtChat->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_txtChat->setContextMenuPolicy(Qt::CustomContextMenu);
    chatLayout->addWidget(m_txtChat, 1);
    auto *sendRow = new QHBoxLayout;
    m_txtSend = named(new QPlainTextEdit(chatBox), IdSend);
    m_txtSend->setEnabled(false);
    m_txtSend->setFixedHeight(kSendHeight);
    m_txtSend->setTabChangesFocus(true);
    // The chat input holds at most 1400 characters, pasted text included.
    connect(m_txtSend, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = m_txtSend->toPlainText();
        if (text.size() <= kSendMaxLength)
            return;
        m_txtSend->setPlainText(text.left(kSendMaxLength));
        m_txtSend->moveCursor(QTextCursor::End);
    });
    sendRow->addWidget(m_txtSend, 1);
    LabelButton *send = createLabelButton(Button::Send, chatBox);
    send->setFixedSize(kSendButtonWidth, kSendHeight);
    sendRow->addWidget(send);
    chatLayout->addLayout(sendRow);
    return chatBox;
}

void FrmMain::createPanel(const PanelInfo &info)
{
    auto *panel = named(new QFrame(m_panelArea), PanelControl(info.panel));
    panel->setFrameShape(QFrame::StyledPanel);
    setBackground(panel, kPanelColour);
    panel->setGeometry(0, 0, kPanelWidth, kPanelHeight);
    panel->hide();

    QLabel *title = caption(info.title, panel);
    setBold(title);
    title->setGeometry(10, 8, 220, 20);
    auto *close =
        named(new LabelButton(QLatin1String(kCloseCaption), panel), CloseControl(info.panel));
    close->setGeometry(kPanelWidth - 70, 6, 60, 22);

    auto *form = new QWidget(panel);
    if (info.form.empty()) {
        form->setGeometry(10, 32, kPanelWidth - 20, kPanelHeight - 38);
        buildCredits(form);
    } else {
        form->setGeometry(10, 34, kPanelWidth - 20, kPanelHeight - 40);
        buildForm(form, info.form);
    }
}

void FrmMain::buildForm(QWidget *form, std::span<const FormItem> items)
{
    auto *layout = new QGridLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    // A box with a label-button beside it takes one column less than the others.
    const bool beside = std::any_of(items.begin(), items.end(),
                                    [](const FormItem &item) { return item.besideControl != 0; });
    const int columns = beside ? 3 : 2;
    int row = 0;
    for (const FormItem &item : items) {
        switch (item.kind) {
        case FormItemKind::Field:
            addField(layout, row, item, columns);
            break;
        case FormItemKind::Note: {
            QLabel *note = named(caption(item.text, form), item.control);
            note->setWordWrap(true);
            layout->addWidget(note, row, 0, 1, columns);
            break;
        }
        case FormItemKind::CheckBox: {
            auto *box = named(new QCheckBox(QLatin1String(item.text), form), item.control);
            setTextColour(box, kCaptionColour);
            layout->addWidget(box, row, 0, 1, columns);
            break;
        }
        case FormItemKind::Button:
            layout->addWidget(
                createLabelButton(static_cast<Button>(item.control - IdButtonBase), form), row, 0,
                1, columns);
            break;
        }
        ++row;
    }
    layout->setRowStretch(row, 1);
}

void FrmMain::addField(QGridLayout *layout, int row, const FormItem &item, int columns)
{
    QWidget *form = layout->parentWidget();
    QLabel *label = caption(item.text, form);
    if (item.captionControl != 0)
        named(label, item.captionControl);
    QLineEdit *box = named(textBox(item.limit, form, item.password), item.control);
    label->setEnabled(item.startsEnabled);
    box->setEnabled(item.startsEnabled);
    layout->addWidget(label, row, 0);
    if (item.besideControl == 0) {
        layout->addWidget(box, row, 1, 1, columns - 1);
        return;
    }
    layout->addWidget(box, row, 1);
    LabelButton *button =
        createLabelButton(static_cast<Button>(item.besideControl - IdButtonBase), form);
    button->setMinimumWidth(80);
    layout->addWidget(button, row, 2);
}

void FrmMain::buildCredits(QWidget *form)
{
    auto *layout = new QVBoxLayout(form);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (const CreditLine &line : kCredits) {
        QLabel *label = caption(line.text, form);
        if (line.heading)
            setBold(label);
        else
            label->setWordWrap(true);
        layout->addWidget(label);
    }
    layout->addStretch();
    QLabel *version = named(caption(kRegVerDesignText, form), IdRegVer);
    version->setWordWrap(true);
    layout->addWidget(version);
}

void FrmMain::createMenus()
{
    const std::vector<Bytes> titles = MarkedMenuTitles();
    for (std::size_t m = 0; m < std::size(kMenus); ++m) {
        const MenuInfo &menu = kMenus[m];
        QMenu *created = menuBar()->addMenu(common::FromWindows1252(titles[m]));
        const std::vector<Bytes> captions = MarkedMenuCaptions(menu);
        for (std::size_t e = 0; e < menu.entries.size(); ++e) {
            const MenuEntry &entry = menu.entries[e];
            if (entry.separatorBefore)
                created->addSeparator();
            QAction *item = created->addAction(common::FromWindows1252(captions[e]));
            item->setObjectName(QLatin1String(entry.name));
            item->setEnabled(entry.startsEnabled);
            m_menuItems[entry.item] = item;
        }
    }
}

// --- Inputs -------------------------------------------------------------------------------

void FrmMain::attach(WindowController &controller)
{
    m_controller = &controller;
    connectLabelButtons();
    connectMenus();
    connectServerList();
    connectBoxes();
    installEventFilter(this); // closing
    sizeServerColumns();
    controller.windowLoaded();
}

void FrmMain::connectLabelButtons()
{
    for (const LabelButtonInfo &info : kLabelButtons) {
        auto *label = static_cast<LabelButton *>(control(ButtonControl(info.button)));
        connect(label, &LabelButton::released, this,
                [this, id = info.button] { m_controller->buttonReleased(id); });
    }
    for (const PanelInfo &info : kPanels) {
        auto *close = static_cast<LabelButton *>(control(CloseControl(info.panel)));
        connect(close, &LabelButton::released, this,
                [this, panel = info.panel] { m_controller->closeReleased(panel); });
    }
}

void FrmMain::connectMenus()
{
    for (const auto &[item, action] : m_menuItems)
        connect(action, &QAction::triggered, this,
                [this, item = item] { m_controller->menuChosen(item); });
}

void FrmMain::connectServerList()
{
    const auto keyOf = [](const QTreeWidgetItem *item) {
        return item->data(ColIndex, kRowKeyRole).toInt();
    };
    connect(m_lstViewServers, &QTreeWidget::itemClicked, this,
            [this, keyOf](QTreeWidgetItem *item) { m_controller->serverRowChosen(keyOf(item)); });
    // Moving the highlight with the keyboard chooses the row as a click does.
    connect(m_lstViewServers, &QTreeWidget::itemSelectionChanged, this, [this, keyOf] {
        const QList<QTreeWidgetItem *> selected = m_lstViewServers->selectedItems();
        if (!selected.isEmpty())
            m_controller->serverRowChosen(keyOf(selected.first()));
    });
    connect(m_lstViewServers, &QTreeWidget::itemDoubleClicked, this,
            [this] { m_controller->serverRowActivated(); });
    connect(m_lstViewServers->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        if (const auto shown = ServerColumnAt(column))
            m_controller->serverHeaderClicked(*shown);
    });
    m_lstViewServers->viewport()->installEventFilter(this); // a click that hits no row
    m_lstViewServers->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_lstViewServers, &QWidget::customContextMenuRequested, this,
            [this, keyOf](const QPoint &at) {
                const QTreeWidgetItem *item = m_lstViewServers->itemAt(at);
                showServerMenu(item ? std::optional<int>(keyOf(item)) : std::nullopt,
                               m_lstViewServers->viewport()->mapToGlobal(at));
            });
    m_lstViewServers->installEventFilter(this); // the menu key, Shift+F10, Ctrl+D
}

bool FrmMain::serverListKey(const QKeyEvent *key)
{
    const bool menuKey = key->key() == Qt::Key_Menu ||
                         (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
    if (key->key() == Qt::Key_D && key->modifiers() == Qt::ControlModifier) {
        m_controller->favouriteKeyPressed();
        return true;
    }
    const std::optional<int> row = m_controller->chosenServerRow();
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && row) {
        m_controller->serverRowActivated(); // Enter on the chosen row, as a double-click
        return true;
    }
    if (!menuKey)
        return false;
    QPoint at(4, 4);
    if (const auto it = row ? m_rows.find(*row) : m_rows.end(); it != m_rows.end())
        at = m_lstViewServers->visualItemRect(it->second).center();
    showServerMenu(row, m_lstViewServers->viewport()->mapToGlobal(at));
    return true;
}

void FrmMain::showServerMenu(std::optional<int> row, const QPoint &at)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("serverMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (const ServerMenuEntry &entry : m_controller->serverMenu(row)) {
        QAction *action = menu->addAction(common::FromWindows1252(entry.caption));
        action->setEnabled(entry.enabled);
        action->setCheckable(entry.checkable);
        action->setChecked(entry.checked);
        connect(action, &QAction::triggered, this,
                [this, item = entry.item, row] { m_controller->serverMenuChosen(item, row); });
    }
    menu->popup(at);
}

void FrmMain::connectBoxes()
{
    for (const auto &[id, widget] : m_controls) {
        if (auto *box = qobject_cast<QLineEdit *>(widget))
            connect(box, &QLineEdit::textChanged, this,
                    [this, id = id] { m_controller->textChanged(id); });
    }
    connect(static_cast<QCheckBox *>(control(IdAutoLogin)), &QCheckBox::clicked, this,
            [this] { m_controller->autoLoginClicked(); });
    connect(static_cast<QCheckBox *>(control(IdHideOffline)), &QCheckBox::clicked, this,
            [this] { m_controller->hideOfflineClicked(); });
    for (int id : {int(IdSend), int(IdPass1), int(IdPass2)})
        control(id)->installEventFilter(this); // Enter; Up and Down in the chat input
    connect(m_txtChat, &QWidget::customContextMenuRequested, this, &FrmMain::showChatLogMenu);
    connect(m_lstUsers, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem *item) {
        m_controller->userActivated(common::ToWindows1252(item->text()));
    });
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

bool FrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::Close) {
        // Closing is never cancelled: it asks the program to end.
        m_controller->closeRequested();
        event->accept();
        return true;
    }
    if (watched == m_lstViewServers && event->type() == QEvent::KeyPress &&
        serverListKey(static_cast<QKeyEvent *>(event)))
        return true;
    if (isEnterKey(event))
        return enterKey(watched, event);
    if (watched == m_txtSend && event->type() == QEvent::KeyPress) {
        const int key = static_cast<const QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            // Up and Down step through the lines sent; the cursor goes to the end of the line.
            m_controller->chatInputStep(key == Qt::Key_Up);
            m_txtSend->moveCursor(QTextCursor::End);
            return true;
        }
    }
    if (watched == m_lstViewServers->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!m_lstViewServers->itemAt(mouse->position().toPoint()))
            m_controller->noServerRowChosen();
    }
    return QMainWindow::eventFilter(watched, event);
}

bool FrmMain::enterKey(QObject *watched, QEvent *event)
{
    const auto found =
        std::find_if(m_controls.begin(), m_controls.end(),
                     [watched](const auto &entry) { return entry.second == watched; });
    if (found == m_controls.end())
        return false;
    // The key is not consumed: after a send has emptied the chat input, the box still gets the
    // line break. A held key comes up once, at the end, not once per repeat.
    if (event->type() == QEvent::KeyPress)
        m_controller->enterPressed(found->first);
    else if (!static_cast<QKeyEvent *>(event)->isAutoRepeat())
        m_controller->enterReleased(found->first);
    return false;
}

// --- The rest -----------------------------------------------------------------------------

Bytes FrmMain::chatLogText() const
{
    return plainText(m_txtChat);
}

void FrmMain::showChatLogMenu(const QPoint &at)
{
    // The log's own items (Copy, Select All), then the choice of times.
    const std::unique_ptr<QMenu> menu(m_txtChat->createStandardContextMenu(at));
    menu->addSeparator();
    QAction *times = menu->addAction(QString::fromLatin1(kShowTimesCaption));
    times->setCheckable(true);
    times->setChecked(m_chatTimesChecked);
    connect(times, &QAction::triggered, this, [this] { m_controller->chatTimesToggled(); });
    menu->exec(m_txtChat->viewport()->mapToGlobal(at));
}

void FrmMain::showVersionWindow()
{
    // An open version window is brought forward; a closed one is created anew and reads
    // the release notes again.
    if (!m_version) {
        m_version = new FrmVersion(m_programFolder);
        m_version->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_version->show();
    m_version->raise();
}

} // namespace registry
