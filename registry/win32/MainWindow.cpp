#include "registry/win32/MainWindow.h"

#include "common/win32/Fonts.h"
#include "common/win32/Win32Colour.h"
#include "common/win32/Win32CoreTimer.h"
#include "common/win32/WindowText.h"
#include "registry/app/WindowController.h"
#include "registry/app/WindowSurface.h"
#include "registry/win32/ChatLog.h"
#include "registry/win32/DesktopNotice.h"
#include "registry/win32/LabelButton.h"
#include "registry/win32/PanelWindow.h"
#include "registry/win32/VersionWindow.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <map>
#include <string>

namespace registry::win32 {

namespace {

using common::win32::Place;
using common::win32::ToColorRef;

constexpr int kMargin = kWindowMargin;
constexpr int kGap = kColumnGap;
constexpr int kStatusHeight = 98;

constexpr const char *kMainClass = "TalmoraRegistryMain";
constexpr DWORD kMainStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

// A panel's rows: a field every 28 pixels from the top of the form.
constexpr int kFormTop = 34;
constexpr int kFormRow = 28;
constexpr int kNoteHeight = 58;

bool isMenuItem(int id)
{
    for (const MenuInfo &menu : kMenus)
        for (const MenuEntry &entry : menu.entries)
            if (static_cast<int>(entry.item) == id)
                return true;
    return false;
}

// What a box or the server list wants of the keys the message loop would otherwise take for
// moving between controls: Enter reaches it (a box acts on it, the list starts the chosen
// row's game), Tab leaves it (multi-line boxes would take it as a character).
LRESULT dialogCode(const MSG &key, LRESULT code)
{
    if (key.message != WM_KEYDOWN && key.message != WM_CHAR)
        return code;
    if (key.wParam == VK_TAB)
        return code & ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
    if (key.wParam == VK_RETURN)
        return code | DLGC_WANTMESSAGE;
    return code;
}

bool isTextBox(HWND control)
{
    wchar_t name[16] = {};
    GetClassNameW(control, name, 16);
    return lstrcmpiW(name, L"Edit") == 0;
}

} // namespace

// What the application layer asks of the window, done with its controls.
class MainWindow::Surface final : public WindowSurface
{
public:
    explicit Surface(MainWindow &window) : m_window(window) {}

    bool post(std::function<void()> work) override
    {
        return m_window.m_posted.call(std::move(work));
    }
    void setText(int id, ByteView text) override
    {
        HWND control = m_window.control(id);
        // The typing limit does not apply to a text set this way; a box raises its change as
        // typing does.
        common::win32::SetText(control, text);
        if (m_window.m_labelButtons.count(control))
            UpdateWindow(control);
    }
    Bytes text(int id) const override { return common::win32::GetText(m_window.control(id)); }
    void setEnabled(int id, bool enabled) override
    {
        EnableWindow(m_window.control(id), enabled ? TRUE : FALSE);
    }
    void setTextColour(int id, common::Rgb colour) override
    {
        m_window.m_textColours[id] = colour;
        InvalidateRect(m_window.control(id), nullptr, TRUE);
    }
    void setCheck(int id, int value) override;
    void setFocus(int id) override { SetFocus(m_window.control(id)); }
    void setPanelShown(Panel panel, bool shown) override
    {
        HWND frame = m_window.control(PanelControl(panel));
        if (!shown) {
            ShowWindow(frame, SW_HIDE);
            return;
        }
        // The panel opened last is drawn on top.
        SetWindowPos(frame, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    }
    void setMenuEnabled(MenuItem item, bool enabled) override
    {
        EnableMenuItem(m_window.m_menu, static_cast<UINT>(item),
                       MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
        DrawMenuBar(m_window.hwnd());
    }
    void appendChat(ByteView lines, bool marked) override;
    void setChatTimesChecked(bool checked) override;
    void setServerRow(int index, const ServerRowText &row) override;
    void showServerRows(const std::vector<ShownServerRow> &rows) override;
    void setSortIndicator(ServerColumn column, SortOrder order) override;
    void chooseServerRow(int index) override;
    void clearServerRows() override
    {
        SendMessageA(m_window.control(IdServerList), LVM_DELETEALLITEMS, 0, 0);
    }
    void clearUsers() override { SendMessageA(m_window.control(IdUsers), LB_RESETCONTENT, 0, 0); }
    void addUser(ByteView name) override
    {
        common::win32::AddListBoxString(m_window.control(IdUsers), name);
    }
    void showMessage(ByteView text) override { m_window.m_presenter(Bytes(text)); }
    void showVersionWindow() override { m_window.showVersionWindow(); }

private:
    MainWindow &m_window;
};

void MainWindow::Surface::setCheck(int id, int value)
{
    HWND box = m_window.control(id);
    // A greyed value needs the three-state look; otherwise the box is two-state.
    SetWindowLongPtrA(box, GWL_STYLE,
                      (GetWindowLongPtrA(box, GWL_STYLE) & ~static_cast<LONG_PTR>(0xF)) |
                          (value == 2 ? BS_3STATE : BS_CHECKBOX));
    SendMessageA(box, BM_SETCHECK,
                 value == 1   ? BST_CHECKED
                 : value == 2 ? BST_INDETERMINATE
                              : BST_UNCHECKED,
                 0);
    InvalidateRect(box, nullptr, TRUE);
}

void MainWindow::Surface::appendChat(ByteView lines, bool marked)
{
    m_window.m_chatLog->append(lines, marked);
}

void MainWindow::Surface::setChatTimesChecked(bool checked)
{
    m_window.m_chatLog->setTimesChecked(checked);
}

void MainWindow::Surface::setServerRow(int index, const ServerRowText &row)
{
    HWND list = m_window.control(IdServerList);
    LVFINDINFOA find{};
    find.flags = LVFI_PARAM;
    find.lParam = index;
    int item = static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(&find)));
    if (item < 0) {
        const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        item = common::win32::InsertListViewRow(list, count, index, row.name);
    }
    const Bytes *texts[ColCount] = {nullptr, &row.status, &row.name, &row.players,
                                    &row.administrator};
    for (int c = ColStatus; c < ColCount; ++c)
        common::win32::SetListViewCell(list, item, c, *texts[c]);
}

namespace {

// The order of LVM_SORTITEMS: rows by their place in the list the player arranged.
int CALLBACK byPlace(LPARAM a, LPARAM b, LPARAM places)
{
    const auto &place = *reinterpret_cast<const std::map<LPARAM, std::size_t> *>(places);
    const std::size_t placeA = place.at(a);
    const std::size_t placeB = place.at(b);
    return placeA < placeB ? -1 : (placeA > placeB ? 1 : 0);
}

} // namespace

void MainWindow::Surface::showServerRows(const std::vector<ShownServerRow> &rows)
{
    HWND list = m_window.control(IdServerList);
    std::map<LPARAM, std::size_t> places;
    for (std::size_t place = 0; place < rows.size(); ++place) {
        places[rows[place].index] = place;
        setServerRow(rows[place].index, rows[place].text);
    }
    // Rows the player's choice leaves out go; the others are sorted in place, so the chosen
    // row stays chosen.
    for (int item = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) - 1; item >= 0;
         --item) {
        const std::optional<int> key = m_window.rowKey(item);
        if (!key || !places.count(*key))
            SendMessageA(list, LVM_DELETEITEM, static_cast<WPARAM>(item), 0);
    }
    SendMessageA(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&places),
                 reinterpret_cast<LPARAM>(&byPlace));
}

void MainWindow::Surface::chooseServerRow(int index)
{
    HWND list = m_window.control(IdServerList);
    LVFINDINFOA find{};
    find.flags = LVFI_PARAM;
    find.lParam = index;
    const int item = static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                                   reinterpret_cast<LPARAM>(&find)));
    if (item < 0)
        return;
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    m_window.m_choosing = true;
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&state));
    m_window.m_choosing = false;
    SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE);
}

void MainWindow::Surface::setSortIndicator(ServerColumn column, SortOrder order)
{
    HWND header =
        reinterpret_cast<HWND>(SendMessageA(m_window.control(IdServerList), LVM_GETHEADER, 0, 0));
    for (int c = ColStatus; c < ColCount; ++c) {
        HDITEMA item{};
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (c == ColumnOf(column) && order != SortOrder::Arrival)
            item.fmt |= order == SortOrder::Ascending ? HDF_SORTUP : HDF_SORTDOWN;
        SendMessageA(header, HDM_SETITEMA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&item));
    }
}

const char *MainWindow::columnKey(int column)
{
    return column >= 0 && column < ColCount ? kColumns[column].key : nullptr;
}

MainWindow::MainWindow(Bytes programFolder)
    : m_programFolder(std::move(programFolder)), m_posted({}),
      m_surface(std::make_unique<Surface>(*this))
{
    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    // The controls are made at the screen's resolution; applyDpi() redoes them for the
    // window's own.
    m_dpi = common::win32::WindowDpi(nullptr);
    createFonts();
    m_windowBrush = CreateSolidBrush(ToColorRef(kWindowColour));
    m_panelBrush = CreateSolidBrush(ToColorRef(kPanelColour));
    m_presenter = [this](const Bytes &text) {
        // The core's timer must be armed before the message box's loop takes over.
        common::RearmCoreTimers();
        common::win32::ShowMessageBox(hwnd(), text, kProgramTitle, MB_OK);
    };
    m_menuTracker = [this](HMENU menu, POINT at) {
        common::RearmCoreTimers(); // the menu's loop takes over too
        return static_cast<UINT>(
            TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr));
    };

    createMenus();
    const SIZE frame = frameSize(kClientWidth, kClientHeight);
    WindowBase::create(kMainClass, true, kProgramTitle, kMainStyle, 0,
                       {.width = frame.cx, .height = frame.cy}, nullptr, m_menu);
    createControls();
    applyDpi(common::win32::WindowDpi(hwnd()), nullptr);
    fitIntoWorkArea();
    m_notice = std::make_unique<DesktopNotice>(hwnd());
}

void MainWindow::createFonts()
{
    m_font = common::win32::CreateProgramFont(8.25, false, m_dpi);
    m_bold = common::win32::CreateProgramFont(8.25, true, m_dpi);
}

SIZE MainWindow::frameSize(int clientWidth, int clientHeight) const
{
    RECT frame{0, 0, px(clientWidth), px(clientHeight)};
    AdjustWindowRect(&frame, kMainStyle, TRUE);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

void MainWindow::fitIntoWorkArea()
{
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT place{};
    if (!GetMonitorInfoA(MonitorFromWindow(hwnd(), MONITOR_DEFAULTTONEAREST), &monitor) ||
        !GetWindowRect(hwnd(), &place))
        return;
    // On the main display, the system's own setting of the work area counts too: wine keeps
    // it apart from the display's record.
    RECT work = monitor.rcWork;
    RECT setting{};
    if ((monitor.dwFlags & MONITORINFOF_PRIMARY) &&
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &setting, 0))
        IntersectRect(&work, &monitor.rcWork, &setting);
    const RECT fitted =
        common::win32::FitIntoWorkArea(place, work, frameSize(kMinClientWidth, kMinClientHeight));
    if (!EqualRect(&fitted, &place))
        SetWindowPos(hwnd(), nullptr, fitted.left, fitted.top, fitted.right - fitted.left,
                     fitted.bottom - fitted.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

int MainWindow::px(int length) const
{
    return common::win32::Scaled(length, m_dpi);
}

Place MainWindow::scaled(const Place &place) const
{
    // Edges are scaled, not sizes, so that controls that touch at 96 DPI touch at any scale.
    const int left = px(place.x);
    const int top = px(place.y);
    return {left, top, px(place.x + place.width) - left, px(place.y + place.height) - top};
}

void MainWindow::applyDpi(UINT dpi, const RECT *suggested)
{
    if (dpi != m_dpi) {
        HFONT font = m_font;
        HFONT bold = m_bold;
        m_dpi = dpi;
        createFonts();
        for (const auto &[control, placed] : m_placed) {
            const Place place = scaled(placed.place);
            MoveWindow(control, place.x, place.y, place.width, place.height, FALSE);
            SendMessageA(control, WM_SETFONT,
                         reinterpret_cast<WPARAM>(placed.bold ? m_bold : m_font), FALSE);
        }
        if (m_version)
            m_version->setFont(m_font, dpi);
        DeleteObject(font);
        DeleteObject(bold);
    }
    // The system suggests the new place when the window moves to a display of another scale.
    if (suggested)
        SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client{};
    GetClientRect(hwnd(), &client);
    layout(client.right, client.bottom);
    if (m_controller)
        sizeServerColumns();
    InvalidateRect(hwnd(), nullptr, TRUE);
}

MainWindow::~MainWindow()
{
    m_version.reset();
    m_notice.reset(); // the icon leaves the notification area before the window goes
    destroy();
    DeleteObject(m_font);
    DeleteObject(m_bold);
    DeleteObject(m_windowBrush);
    DeleteObject(m_panelBrush);
}

WindowSurface &MainWindow::surface()
{
    return *m_surface;
}

DesktopNotifier &MainWindow::notifier()
{
    return *m_notice;
}

void MainWindow::show()
{
    ShowWindow(hwnd(), SW_SHOWNORMAL);
    UpdateWindow(hwnd());
}

HWND MainWindow::control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

HWND MainWindow::versionWindow() const
{
    return m_version ? m_version->hwnd() : nullptr;
}

common::Rgb MainWindow::buttonColour(HWND label) const
{
    return m_labelButtons.at(label)->background();
}

Bytes MainWindow::chatLogText() const
{
    return m_chatLog->text();
}

// --- Building ----------------------------------------------------------------------------

HWND MainWindow::create(const char *cls, ByteView text, DWORD style, HWND parent, int id,
                        const Place &place, DWORD exStyle)
{
    HWND created = common::win32::CreateWindowWithText(
        exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, scaled(place), parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)));
    SendMessageA(created, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    m_placed[created] = {place, false};
    if (id != 0)
        m_controls[id] = created;
    return created;
}

void MainWindow::setBold(HWND control)
{
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_bold), FALSE);
    m_placed[control].bold = true;
}

HWND MainWindow::caption(ByteView text, HWND parent, const Place &place, int id)
{
    return create("STATIC", text, SS_LEFT | SS_NOPREFIX, parent, id, place);
}

HWND MainWindow::textBox(int id, int limit, HWND parent, const Place &place, bool password)
{
    HWND box = create("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | (password ? ES_PASSWORD : 0),
                      parent, id, place, WS_EX_CLIENTEDGE);
    // The limit is on typing: a longer text that the program puts in stays whole.
    SendMessageA(box, EM_SETLIMITTEXT, static_cast<WPARAM>(limit), 0);
    if (password)
        SendMessageA(box, EM_SETPASSWORDCHAR, '*', 0);
    return box;
}

void MainWindow::labelButton(int id, HWND parent, const Place &place)
{
    const bool close = id >= IdCloseBase && id < IdCloseBase + kPanelCount;
    const LabelButtonInfo *info =
        close ? nullptr : &LabelButtonOf(static_cast<Button>(id - IdButtonBase));
    auto label = std::make_unique<LabelButton>(parent, id, info ? info->caption : kCloseCaption,
                                               scaled(place), m_font);
    HWND handle = label->hwnd();
    m_placed[handle] = {place, false};
    m_controls[id] = handle;
    if (info && !info->startsEnabled)
        EnableWindow(handle, FALSE);
    m_labelButtons[handle] = std::move(label);
}

void MainWindow::createControls()
{
    createStatusArea();
    caption(kUsersCaption, hwnd(), {0, 0, kLeftColumnWidth, 16}, IdUsersCaption);
    create("LISTBOX", "", WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, hwnd(),
           IdUsers, {0, 0, 10, 10}, WS_EX_CLIENTEDGE);
    createServerList();
    createFindRow();
    labelButton(ButtonControl(Button::PlaySelectedServer), hwnd(), {0, 0, kPlayWidth, kPlayHeight});
    createChatArea();
    for (const PanelInfo &panel : kPanels)
        createPanel(panel);
}

void MainWindow::createStatusArea()
{
    m_statusArea = std::make_unique<PanelWindow>(hwnd(), IdStatusArea,
                                                 Place{0, 0, kLeftColumnWidth, kStatusHeight},
                                                 WS_VISIBLE | WS_BORDER, m_panelBrush);
    HWND status = m_statusArea->hwnd();
    m_controls[IdStatusArea] = status;
    int y = 8;
    for (const StatusRow &row : kStatusRows) {
        caption(row.caption, status, {8, y, 70, 16});
        caption(row.startText, status, {80, y, kLeftColumnWidth - 90, 16}, row.control);
        y += 22;
    }
    setBold(control(IdRegistry));
    m_textColours[IdRegistry] = kOfflineColour;
}

void MainWindow::createServerList()
{
    HWND list = create(
        WC_LISTVIEWA, "", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, hwnd(),
        IdServerList, {0, 0, kServerListMinWidth, kServerListMinHeight}, WS_EX_CLIENTEDGE);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int c = 0; c < ColCount; ++c)
        common::win32::InsertListViewColumn(list, c, kColumns[c].caption,
                                            c == ColPlayers ? LVCFMT_CENTER : LVCFMT_LEFT);
    // The header's tool tips, one tool per column.
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    m_tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd(),
                             nullptr, GetModuleHandleA(nullptr), nullptr);
    for (int c = 0; c < ColCount; ++c)
        common::win32::AddToolTip(m_tips, header, static_cast<UINT_PTR>(c), kColumns[c].toolTip);
}

void MainWindow::createFindRow()
{
    caption(kFindCaption, hwnd(), {0, 0, kFindCaptionWidth, 16}, IdFindCaption);
    textBox(IdServerFind, kServerNameMaxLength, hwnd(), {0, 0, kFindMinWidth, kPlayHeight});
    // Ticked and unticked by the application layer, as the automatic login box is.
    create("BUTTON", kHideOfflineCaption, BS_CHECKBOX | WS_TABSTOP, hwnd(), IdHideOffline,
           {0, 0, kHideOfflineWidth, kPlayHeight});
}

void MainWindow::createChatArea()
{
    m_chatLog = std::make_unique<ChatLog>(hwnd(), IdChat, m_font);
    m_controls[IdChat] = m_chatLog->hwnd();
    // Placed by the layout; a new scale gives it the new font.
    m_placed[m_chatLog->hwnd()] = {};
    // Two lines high: no room for a scroll bar; the box scrolls with the caret.
    HWND send = create("EDIT", "", ES_MULTILINE | ES_AUTOVSCROLL | WS_TABSTOP, hwnd(), IdSend,
                       {0, 0, 10, 10}, WS_EX_CLIENTEDGE);
    // Pasted text is held to the limit too.
    SendMessageA(send, EM_SETLIMITTEXT, kSendMaxLength, 0);
    EnableWindow(send, FALSE);
    labelButton(ButtonControl(Button::Send), hwnd(), {0, 0, kSendButtonWidth, kSendHeight});
}

void MainWindow::createPanel(const PanelInfo &info)
{
    const int index = static_cast<int>(info.panel);
    auto &panel = m_panels[static_cast<std::size_t>(index)];
    panel = std::make_unique<PanelWindow>(hwnd(), PanelControl(info.panel),
                                          Place{0, 0, kPanelWidth, kPanelHeight},
                                          WS_CLIPSIBLINGS | WS_BORDER, m_panelBrush);
    HWND frame = panel->hwnd();
    m_controls[PanelControl(info.panel)] = frame;
    HWND heading = caption(info.title, frame, {10, 8, 220, 20});
    setBold(heading);
    labelButton(CloseControl(info.panel), frame, {kPanelWidth - 72, 6, 60, 22});
    if (info.form.empty())
        buildCredits(frame);
    else
        buildForm(frame, info.form);
}

void MainWindow::buildForm(HWND panel, std::span<const FormItem> items)
{
    int y = kFormTop;
    for (const FormItem &item : items) {
        switch (item.kind) {
        case FormItemKind::Field: {
            HWND label = caption(item.text, panel, {10, y + 3, 120, 16}, item.captionControl);
            const int width = item.besideControl ? 94 : 180;
            HWND box = textBox(item.control, item.limit, panel, {130, y, width, 22}, item.password);
            EnableWindow(label, item.startsEnabled ? TRUE : FALSE);
            EnableWindow(box, item.startsEnabled ? TRUE : FALSE);
            if (item.besideControl)
                labelButton(item.besideControl, panel, {230, y, 80, 22});
            y += kFormRow;
            break;
        }
        case FormItemKind::Note:
            caption(item.text, panel, {10, y + 2, 300, kNoteHeight}, item.control);
            y += 2 + kNoteHeight + 6;
            break;
        case FormItemKind::CheckBox:
            create("BUTTON", item.text, BS_CHECKBOX | WS_TABSTOP, panel, item.control,
                   {10, y, 300, 20});
            y += kFormRow;
            break;
        case FormItemKind::Button:
            labelButton(item.control, panel, {10, y, 300, 22});
            y += kFormRow;
            break;
        }
    }
}

void MainWindow::buildCredits(HWND panel)
{
    int y = 32;
    for (const CreditLine &line : kCredits) {
        HWND label = caption(line.text, panel, {10, y, 300, line.height});
        if (line.heading)
            setBold(label);
        y += line.height + 2;
    }
    caption(kRegVerDesignText, panel, {10, kPanelHeight - 26, 300, 16}, IdRegVer);
}

void MainWindow::createMenus()
{
    m_menu = CreateMenu();
    const std::vector<Bytes> titles = MarkedMenuTitles();
    for (std::size_t m = 0; m < std::size(kMenus); ++m) {
        HMENU popup = CreatePopupMenu();
        const std::vector<Bytes> captions = MarkedMenuCaptions(kMenus[m]);
        for (std::size_t e = 0; e < kMenus[m].entries.size(); ++e) {
            const MenuEntry &entry = kMenus[m].entries[e];
            if (entry.separatorBefore)
                AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
            common::win32::AppendMenuText(popup, MF_STRING | (entry.startsEnabled ? 0 : MF_GRAYED),
                                          static_cast<UINT_PTR>(entry.item), captions[e]);
        }
        common::win32::AppendMenuText(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(popup),
                                      titles[m]);
    }
}

void MainWindow::layout(int width, int height)
{
    // The layout is worked out in 96-DPI units and placed at the window's scale.
    auto move = [this](int id, int x, int y, int w, int h) {
        const Place place = scaled({x, y, std::max(0, w), std::max(0, h)});
        MoveWindow(control(id), place.x, place.y, place.width, place.height, TRUE);
    };
    width = MulDiv(width, 96, static_cast<int>(m_dpi));
    height = MulDiv(height, 96, static_cast<int>(m_dpi));
    // Left: the status area above the users online; right of it the server list, with
    // Play Selected Server under it; below, the chat and the panels' shared place.
    const int listX = kMargin + kLeftColumnWidth + kGap;
    const int panelX = std::max(listX + kServerListMinWidth + kGap, width - kMargin - kPanelWidth);
    const int rightEdge = panelX + kPanelWidth;
    const int rows = std::max(height - 2 * kMargin - 3 * kRowGap - kPlayHeight,
                              kServerListMinHeight + kPanelHeight);
    const int bottom = std::max(rows / 2, kPanelHeight);
    const int top = rows - bottom;
    move(IdStatusArea, kMargin, kMargin, kLeftColumnWidth, kStatusHeight);
    const int usersY = kMargin + kStatusHeight + 4;
    move(IdUsersCaption, kMargin, usersY, kLeftColumnWidth, 16);
    move(IdUsers, kMargin, usersY + 20, kLeftColumnWidth, kMargin + top - usersY - 20);
    move(IdServerList, listX, kMargin, rightEdge - listX, top);
    const int playY = kMargin + top + kRowGap;
    move(ButtonControl(Button::PlaySelectedServer), rightEdge - kPlayWidth, playY, kPlayWidth,
         kPlayHeight);
    // Left of it: "Find:", the box taking what the row leaves, "Hide offline".
    const int hideX = rightEdge - kPlayWidth - kGap - kHideOfflineWidth;
    const int findX = listX + kFindCaptionWidth + kGap;
    move(IdFindCaption, listX, playY + 3, kFindCaptionWidth, 16);
    move(IdServerFind, findX, playY, hideX - kGap - findX, kPlayHeight);
    move(IdHideOffline, hideX, playY, kHideOfflineWidth, kPlayHeight);
    const int chatY = playY + kPlayHeight + kRowGap;
    const int chatWidth = panelX - kGap - kMargin;
    move(IdChat, kMargin, chatY, chatWidth, bottom - kSendHeight - kRowGap);
    const int sendY = chatY + bottom - kSendHeight;
    move(IdSend, kMargin, sendY, chatWidth - kSendButtonWidth - kRowGap, kSendHeight);
    move(ButtonControl(Button::Send), kMargin + chatWidth - kSendButtonWidth, sendY,
         kSendButtonWidth, kSendHeight);
    for (const PanelInfo &panel : kPanels)
        move(PanelControl(panel.panel), panelX, chatY, kPanelWidth, kPanelHeight);
    updateHeaderTips();
}

void MainWindow::sizeServerColumns()
{
    HWND list = control(IdServerList);
    RECT client{};
    GetClientRect(list, &client);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, ColIndex, 0);
    for (int c = ColStatus; c < ColCount; ++c)
        SendMessageA(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c),
                     static_cast<int>(client.right * kColumns[c].share));
    updateHeaderTips();
}

void MainWindow::updateHeaderTips()
{
    HWND list = control(IdServerList);
    if (!m_tips || !list)
        return;
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    for (int c = 0; c < ColCount; ++c) {
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = header;
        tool.uId = static_cast<UINT_PTR>(c);
        SendMessageA(header, HDM_GETITEMRECT, static_cast<WPARAM>(c),
                     reinterpret_cast<LPARAM>(&tool.rect));
        SendMessageA(m_tips, TTM_NEWTOOLRECTA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void MainWindow::showVersionWindow()
{
    // An open version window is brought forward; a closed one is created anew and reads the
    // release notes again.
    if (!versionWindow())
        m_version = std::make_unique<VersionWindow>(m_programFolder, m_font, m_dpi);
    m_version->show();
}

// --- Inputs -------------------------------------------------------------------------------

void MainWindow::attach(WindowController &controller)
{
    m_controller = &controller;
    m_chatLog->setTimesHandler([&controller] { controller.chatTimesToggled(); });
    for (int id : {int(IdSend), int(IdPass1), int(IdPass2), int(IdServerList)})
        SetWindowSubclass(control(id), enterBoxProc, 1, reinterpret_cast<DWORD_PTR>(this));
    sizeServerColumns();
    controller.windowLoaded();
}

void MainWindow::command(int id, int code, HWND from)
{
    const bool released = code == LabelButton::kReleased && m_labelButtons.count(from) != 0;
    if (!from && isMenuItem(id) && code == 0) {
        m_controller->menuChosen(static_cast<MenuItem>(id));
    } else if (released && id >= IdCloseBase) {
        m_controller->closeReleased(static_cast<Panel>(id - IdCloseBase));
    } else if (released) {
        m_controller->buttonReleased(static_cast<Button>(id - IdButtonBase));
    } else if (id == IdAutoLogin && code == BN_CLICKED) {
        m_controller->autoLoginClicked();
    } else if (id == IdHideOffline && code == BN_CLICKED) {
        m_controller->hideOfflineClicked();
    } else if (code == EN_CHANGE) {
        m_controller->textChanged(id);
    } else if (id == IdUsers && code == LBN_DBLCLK) {
        const auto item = static_cast<int>(SendMessageW(from, LB_GETCURSEL, 0, 0));
        if (item >= 0)
            m_controller->userActivated(common::win32::ListBoxString(from, item));
    }
}

LRESULT MainWindow::notify(const NMHDR &header)
{
    HWND list = control(IdServerList);
    if (header.hwndFrom == list) {
        serverListNotify(header);
        return 0;
    }
    if (GetParent(header.hwndFrom) == list)
        return headerNotify(header);
    return 0;
}

std::optional<int> MainWindow::rowKey(int item) const
{
    LVITEMA row{};
    row.mask = LVIF_PARAM;
    row.iItem = item;
    if (!SendMessageA(control(IdServerList), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&row)))
        return std::nullopt;
    return static_cast<int>(row.lParam);
}

void MainWindow::serverListNotify(const NMHDR &header)
{
    const auto &activate = reinterpret_cast<const NMITEMACTIVATE &>(header);
    const auto &change = reinterpret_cast<const NMLISTVIEW &>(header);
    // Moving the highlight with the keyboard chooses the row as a click does.
    const bool selected = header.code == LVN_ITEMCHANGED && (change.uChanged & LVIF_STATE) &&
                          (change.uNewState & LVIS_SELECTED) &&
                          !(change.uOldState & LVIS_SELECTED) && change.iItem >= 0;
    if (selected && m_choosing)
        return;
    if ((header.code == NM_CLICK && activate.iItem >= 0) || selected) {
        const int item = header.code == NM_CLICK ? activate.iItem : change.iItem;
        if (const std::optional<int> key = rowKey(item))
            m_controller->serverRowChosen(*key);
    } else if (header.code == NM_CLICK) {
        m_controller->noServerRowChosen(); // a click that selects no row
    } else if (header.code == NM_DBLCLK && activate.iItem >= 0) {
        m_controller->serverRowActivated();
    } else if (header.code == LVN_COLUMNCLICK) {
        if (const auto column = ServerColumnAt(change.iSubItem))
            m_controller->serverHeaderClicked(*column);
    } else if (header.code == NM_RETURN &&
               SendMessageA(header.hwndFrom, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                            LVNI_SELECTED) >= 0) {
        m_controller->serverRowActivated(); // Enter on the chosen row, as a double-click
    }
}

LRESULT MainWindow::headerNotify(const NMHDR &header)
{
    // The index column stays hidden: it cannot be widened by dragging or double-clicking
    // its divider.
    const auto &item = reinterpret_cast<const NMHEADERA &>(header);
    switch (header.code) {
    case HDN_BEGINTRACKA:
    case HDN_BEGINTRACKW:
    case HDN_DIVIDERDBLCLICKA:
    case HDN_DIVIDERDBLCLICKW:
        return item.iItem == ColIndex ? TRUE : FALSE;
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW:
    case HDN_ITEMCHANGEDA:
    case HDN_ITEMCHANGEDW:
        updateHeaderTips();
        return 0;
    default:
        break;
    }
    return 0;
}

LRESULT MainWindow::colourStatic(HDC dc, HWND control)
{
    if (isTextBox(control)) {
        // A disabled text box looks greyed out as a dialog's does, not like the window behind.
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    const bool inPanel = GetParent(control) != hwnd();
    const auto special = m_textColours.find(GetDlgCtrlID(control));
    const common::Rgb colour = special == m_textColours.end() ? kCaptionColour : special->second;
    SetTextColor(dc, IsWindowEnabled(control) ? ToColorRef(colour)
                                              : common::win32::Darker(colour, 170));
    SetBkMode(dc, TRANSPARENT);
    SetBkColor(dc, ToColorRef(inPanel ? kPanelColour : kWindowColour));
    return reinterpret_cast<LRESULT>(inPanel ? m_panelBrush : m_windowBrush);
}

bool MainWindow::enterBoxKey(HWND box, UINT message, WPARAM wParam)
{
    const int id = GetDlgCtrlID(box);
    if (id == IdSend && message == WM_KEYDOWN && (wParam == VK_UP || wParam == VK_DOWN)) {
        // Up and Down step through the lines sent; the caret goes to the end of the line.
        m_controller->chatInputStep(wParam == VK_UP);
        const auto end = static_cast<WPARAM>(common::win32::TextLength(box));
        SendMessageW(box, EM_SETSEL, end, static_cast<LPARAM>(end));
        return true;
    }
    if (wParam != VK_RETURN || (id != IdSend && id != IdPass1 && id != IdPass2))
        return false;
    // A one-line box gets no line break and no beep; the chat input keeps its line break,
    // which comes after a send has emptied it.
    if (message == WM_CHAR)
        return id != IdSend;
    // A held key goes down once per repeat and comes up once.
    if (message == WM_KEYDOWN)
        m_controller->enterPressed(id);
    else if (message == WM_KEYUP)
        m_controller->enterReleased(id);
    return false;
}

bool MainWindow::serverListKey(UINT message, WPARAM wParam)
{
    const bool control = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    // Ctrl+D; its character (4) would otherwise start the list's search by typing.
    if (control && !shift && (message == WM_KEYDOWN && wParam == 'D')) {
        m_controller->favouriteKeyPressed();
        return true;
    }
    if (message == WM_CHAR && wParam == 4)
        return true;
    // The menu key opens the menu when it goes down; its coming up is taken too, so the
    // system does not open it a second time.
    const bool menuKey = wParam == VK_APPS && message == WM_KEYDOWN;
    const bool shiftF10 = wParam == VK_F10 && shift && message == WM_SYSKEYDOWN;
    if (menuKey || shiftF10) {
        serverMenu({-1, -1});
        return true;
    }
    return wParam == VK_APPS && message == WM_KEYUP;
}

void MainWindow::serverMenu(POINT at)
{
    HWND list = control(IdServerList);
    std::optional<int> row;
    if (at.x == -1 && at.y == -1) { // from the keyboard: the chosen row, or the list's corner
        row = m_controller->chosenServerRow();
        RECT place{LVIR_BOUNDS, 0, 0, 0};
        LVFINDINFOA find{};
        find.flags = LVFI_PARAM;
        find.lParam = row.value_or(0);
        const LRESULT item = row ? SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>(&find))
                                 : -1;
        if (item < 0 || !SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(item),
                                      reinterpret_cast<LPARAM>(&place)))
            place = {};
        at = {place.left + px(8), place.bottom};
        ClientToScreen(list, &at);
    } else { // the row under the pointer
        LVHITTESTINFO hit{};
        hit.pt = at;
        ScreenToClient(list, &hit.pt);
        const int item =
            static_cast<int>(SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (item >= 0)
            row = rowKey(item);
    }
    HMENU menu = CreatePopupMenu();
    for (const ServerMenuEntry &entry : m_controller->serverMenu(row))
        common::win32::AppendMenuText(
            menu, MF_STRING | (entry.enabled ? 0 : MF_GRAYED) | (entry.checked ? MF_CHECKED : 0),
            static_cast<UINT_PTR>(entry.item), entry.caption);
    const UINT chosen = m_menuTracker(menu, at);
    DestroyMenu(menu);
    if (chosen != 0)
        m_controller->serverMenuChosen(static_cast<ServerMenuItem>(chosen), row);
}

LRESULT MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return notify(*reinterpret_cast<const NMHDR *>(lParam));
    case WM_CTLCOLORSTATIC:
        return colourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(hwnd(), &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, m_windowBrush);
        return 1;
    }
    case WM_GETMINMAXINFO: {
        // The window cannot be made smaller than the layout.
        const SIZE frame = frameSize(kMinClientWidth, kMinClientHeight);
        reinterpret_cast<MINMAXINFO *>(lParam)->ptMinTrackSize = {frame.cx, frame.cy};
        return 0;
    }
    case WM_DPICHANGED:
        applyDpi(HIWORD(wParam), reinterpret_cast<const RECT *>(lParam));
        return 0;
    case WM_SIZE:
        if (control(IdServerList))
            layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) != control(IdServerList))
            return WindowBase::onMessage(message, wParam, lParam);
        serverMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_CLOSE:
        // Closing is never cancelled: it asks the program to end.
        m_controller->closeRequested();
        return 0;
    default:
        return WindowBase::onMessage(message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindow::enterBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR self)
{
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, enterBoxProc, id);
    if (message == WM_GETDLGCODE && lParam)
        return dialogCode(*reinterpret_cast<const MSG *>(lParam),
                          DefSubclassProc(hwnd, message, wParam, lParam));
    auto *window = reinterpret_cast<MainWindow *>(self);
    const bool key = message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR;
    if (key && window->enterBoxKey(hwnd, message, wParam))
        return 0;
    if (hwnd == window->control(IdServerList) && window->serverListKey(message, wParam))
        return 0;
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace registry::win32
