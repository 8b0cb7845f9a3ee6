#include "registry/win32/MainWindow.h"

#include "common/win32/Win32CoreTimer.h"
#include "registry/app/WindowLayout.h"
#include "registry/net/RegistryClient.h"
#include "registry/support/ReleaseNotes.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>

namespace registry::win32 {

namespace {

constexpr int kClientWidth = 1000;
constexpr int kClientHeight = 640;
constexpr int kLeftWidth = 210;
constexpr int kMargin = 8;
constexpr int kGap = 8;
constexpr int kRowGap = 6;
constexpr int kPlayHeight = 22;
constexpr int kSendHeight = 44;
constexpr int kStatusHeight = 98;

constexpr int kVersionWidth = 480;
constexpr int kVersionHeight = 360;
constexpr int kVersionMarginLeft = 8;
constexpr int kVersionMarginTop = 8;
constexpr int kVersionMarginBottom = 8;
constexpr int kVersionMarginRight = 9;

constexpr UINT kFlushChatMessage = WM_APP + 1;
constexpr UINT kQuitMessage = WM_APP + 2;

constexpr const char *kMainClass = "TalmoraRegistryMain";
constexpr const char *kPanelClass = "TalmoraRegistryPanel";
constexpr const char *kVersionClass = "TalmoraRegistryVersion";

constexpr COLORREF kCaptionColour = RGB(0xE6, 0xE2, 0xDA);
constexpr COLORREF kPanelColour = RGB(0x3A, 0x3F, 0x4C);
constexpr COLORREF kBrightGreen = RGB(0, 255, 0);
constexpr COLORREF kBrightRed = RGB(255, 0, 0);

// The account boxes by their controls' identifiers.
std::optional<AccountBox> accountBoxOf(int id)
{
    switch (id) {
    case IdUser0:
        return AccountBox::NewAccountUser;
    case IdPass0:
        return AccountBox::NewAccountPassword;
    case IdPass2:
        return AccountBox::Retyped;
    case IdUser1:
        return AccountBox::LoginUser;
    case IdPass1:
        return AccountBox::LoginPassword;
    default:
        return std::nullopt;
    }
}

constexpr RECT place(int x, int y, int width, int height)
{
    return RECT{x, y, x + width, y + height};
}

// Dimmed but legible: each channel at 100/divisor.
COLORREF darker(COLORREF colour, int divisor)
{
    return RGB(GetRValue(colour) * 100 / divisor, GetGValue(colour) * 100 / divisor,
               GetBValue(colour) * 100 / divisor);
}

// Line breaks as the edit controls want them: every lone CR or LF becomes CR LF.
Bytes withCrLf(ByteView text)
{
    Bytes out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

Bytes windowText(HWND window)
{
    const int length = GetWindowTextLengthA(window);
    Bytes text(static_cast<std::size_t>(std::max(0, length)) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(0, copied)));
    return text;
}

HINSTANCE instance()
{
    return GetModuleHandleA(nullptr);
}

int CALLBACK fontFound(const LOGFONTA *, const TEXTMETRICA *, DWORD, LPARAM found)
{
    *reinterpret_cast<bool *>(found) = true;
    return 0;
}

bool verdanaInstalled()
{
    HDC dc = GetDC(nullptr);
    LOGFONTA wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, "Verdana", LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExA(dc, &wanted, fontFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

} // namespace

HFONT CreateProgramFont(bool bold)
{
    static const bool verdana = verdanaInstalled();
    // 8.25 points at the screen's resolution.
    HDC dc = GetDC(nullptr);
    const int height = -MulDiv(825, GetDeviceCaps(dc, LOGPIXELSY), 7200);
    ReleaseDC(nullptr, dc);
    return CreateFontA(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, verdana ? "Verdana" : "MS Shell Dlg");
}

const char *MainWindow::columnKey(int column)
{
    return column >= 0 && column < ColCount ? kColumns[column].key : nullptr;
}

MainWindow::MainWindow(Folders folders, common::Shell &shell)
    : m_actions(std::move(folders), shell, *this)
{
    static bool registered = false;
    if (!registered) {
        registered = true;
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES |
                                                            ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSA cls{};
        cls.hInstance = instance();
        cls.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        cls.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
        cls.lpfnWndProc = mainProc;
        cls.lpszClassName = kMainClass;
        RegisterClassA(&cls);
        cls.lpfnWndProc = panelProc;
        cls.lpszClassName = kPanelClass;
        RegisterClassA(&cls);
        cls.lpfnWndProc = versionProc;
        cls.lpszClassName = kVersionClass;
        RegisterClassA(&cls);
    }
    m_font = CreateProgramFont(false);
    m_bold = CreateProgramFont(true);
    m_windowBrush = CreateSolidBrush(kWindowColour);
    m_panelBrush = CreateSolidBrush(kPanelColour);
    m_presenter = [this](const Bytes &text) {
        // The core's timer must be armed before the message box's loop takes over.
        common::RearmCoreTimers();
        MessageBoxA(m_hwnd, text.c_str(), kProgramTitle, MB_OK);
    };
    m_afterInput = [] { common::RearmCoreTimers(); };
    m_quitHandler = [] { PostQuitMessage(0); };

    createMenus();
    RECT frame = place(0, 0, kClientWidth, kClientHeight);
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    AdjustWindowRect(&frame, style, TRUE);
    m_hwnd = CreateWindowExA(0, kMainClass, kProgramTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, m_menu,
                             instance(), this);
    createControls();
    RECT client{};
    GetClientRect(m_hwnd, &client);
    layout(client.right, client.bottom);
}

MainWindow::~MainWindow()
{
    if (m_version)
        DestroyWindow(m_version);
    if (m_hwnd) {
        SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
    DeleteObject(m_font);
    DeleteObject(m_bold);
    DeleteObject(m_windowBrush);
    DeleteObject(m_panelBrush);
}

void MainWindow::show()
{
    ShowWindow(m_hwnd, SW_SHOWNORMAL);
    UpdateWindow(m_hwnd);
}

HWND MainWindow::control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

// --- Building ----------------------------------------------------------------------------

HWND MainWindow::create(const char *cls, const char *text, DWORD style, HWND parent, int id,
                        RECT at, DWORD exStyle)
{
    HWND created =
        CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, at.left, at.top,
                        at.right - at.left, at.bottom - at.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance(), nullptr);
    SendMessageA(created, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
    if (id != 0)
        m_controls[id] = created;
    return created;
}

HWND MainWindow::caption(const char *text, HWND parent, RECT at, int id)
{
    return create("STATIC", text, SS_LEFT | SS_NOPREFIX, parent, id, at);
}

HWND MainWindow::textBox(int id, int limit, HWND parent, RECT at, bool password)
{
    HWND box = create("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL | (password ? ES_PASSWORD : 0),
                      parent, id, at, WS_EX_CLIENTEDGE);
    // The limit is on typing: a longer text that the program puts in stays whole.
    SendMessageA(box, EM_SETLIMITTEXT, static_cast<WPARAM>(limit), 0);
    if (password)
        SendMessageA(box, EM_SETPASSWORDCHAR, '*', 0);
    return box;
}

HWND MainWindow::labelButton(int id, const char *text, HWND parent, RECT at)
{
    HWND label = create("STATIC", text, SS_OWNERDRAW | SS_NOTIFY, parent, id, at);
    m_pressed[label] = false;
    SetWindowSubclass(label, labelButtonProc, 1, reinterpret_cast<DWORD_PTR>(this));
    return label;
}

HWND MainWindow::field(HWND panel, int row, const char *label, int id, int limit, bool password,
                       int width)
{
    caption(label, panel, place(10, 37 + 28 * row, 120, 16));
    return textBox(id, limit, panel, place(130, 34 + 28 * row, width, 22), password);
}

HWND MainWindow::button(Button id, const char *text, HWND parent, RECT at, bool enabled)
{
    HWND label = labelButton(IdButtonBase + static_cast<int>(id), text, parent, at);
    if (!enabled)
        enableButton(id, false);
    return label;
}

HWND MainWindow::createPanel(Panel which, const char *title)
{
    const int index = static_cast<int>(which);
    HWND panel = CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_CLIPSIBLINGS | WS_BORDER, 0, 0,
                                 kPanelWidth, kPanelHeight, m_hwnd,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdPanelBase + index)),
                                 instance(), this);
    m_controls[IdPanelBase + index] = panel;
    m_panels[static_cast<std::size_t>(index)] = panel;
    HWND heading = caption(title, panel, place(10, 8, 220, 20));
    SendMessageA(heading, WM_SETFONT, reinterpret_cast<WPARAM>(m_bold), FALSE);
    labelButton(IdCloseBase + index, "Close", panel, place(kPanelWidth - 72, 6, 60, 22));
    return panel;
}

void MainWindow::createControls()
{
    HWND status = CreateWindowExA(
        0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, kLeftWidth, kStatusHeight,
        m_hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IdStatusArea)), instance(), this);
    m_controls[IdStatusArea] = status;
    const struct
    {
        const char *caption;
        int id;
        const char *start;
    } rows[] = {{"Registry:", IdRegistry, "Offline"},
                {"Servers:", IdServers, "N/A"},
                {"Status:", IdStatus, "Connecting..."},
                {"Account:", IdAccount, "Logged Off"}};
    for (int r = 0; r < 4; ++r) {
        caption(rows[r].caption, status, place(8, 8 + r * 22, 70, 16));
        caption(rows[r].start, status, place(80, 8 + r * 22, kLeftWidth - 90, 16), rows[r].id);
    }
    SendMessageA(control(IdRegistry), WM_SETFONT, reinterpret_cast<WPARAM>(m_bold), FALSE);
    caption("Users Online:", m_hwnd, place(0, 0, kLeftWidth, 16), IdUsersCaption);
    create("LISTBOX", "", WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, m_hwnd,
           IdUsers, place(0, 0, 10, 10), WS_EX_CLIENTEDGE);
    createServerList();
    button(Button::PlaySelectedServer, "Play Selected Server", m_hwnd,
           place(0, 0, 180, kPlayHeight), false);

    HWND chat =
        create("EDIT", "", ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
               m_hwnd, IdChat, place(0, 0, 10, 10), WS_EX_CLIENTEDGE);
    SendMessageA(chat, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
    HWND send = create("EDIT", "", ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP, m_hwnd,
                       IdSend, place(0, 0, 10, 10), WS_EX_CLIENTEDGE);
    // Pasted text is held to the limit too.
    SendMessageA(send, EM_SETLIMITTEXT, kSendMaxLength, 0);
    EnableWindow(send, FALSE);
    SetWindowSubclass(send, enterBoxProc, 2, reinterpret_cast<DWORD_PTR>(this));
    button(Button::Send, "Send", m_hwnd, place(0, 0, 80, kSendHeight), false);

    buildNewAccountPanel();
    buildLoginPanel();
    buildServerSettingsPanel();
    buildCreditsPanel();
    buildAddServerPanel();
}

void MainWindow::createServerList()
{
    HWND list =
        create(WC_LISTVIEWA, "", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
               m_hwnd, IdServerList, place(0, 0, 430, 200), WS_EX_CLIENTEDGE);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    for (int c = 0; c < ColCount; ++c) {
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
        column.fmt = c == ColPlayers ? LVCFMT_CENTER : LVCFMT_LEFT;
        column.pszText = const_cast<char *>(kColumns[c].caption);
        column.cx = 0;
        column.iSubItem = c;
        SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c),
                     reinterpret_cast<LPARAM>(&column));
    }
    // The header's tool tips, one tool per column.
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    m_tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd,
                             nullptr, instance(), nullptr);
    for (int c = 0; c < ColCount; ++c) {
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = header;
        tool.uId = static_cast<UINT_PTR>(c);
        tool.lpszText = const_cast<char *>(kColumns[c].toolTip);
        SendMessageA(m_tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void MainWindow::buildNewAccountPanel()
{
    HWND panel = createPanel(Panel::NewAccount, "New Account");
    field(panel, 0, "Username:", IdUser0, kUserMaxLength);
    field(panel, 1, "Password:", IdPass0, kPassMaxLength, true);
    EnableWindow(caption("Re-type Password:", panel, place(10, 93, 120, 16), IdRetype), FALSE);
    HWND retyped = textBox(IdPass2, kPassMaxLength, panel, place(130, 90, 180, 22), true);
    EnableWindow(retyped, FALSE);
    SetWindowSubclass(retyped, enterBoxProc, 3, reinterpret_cast<DWORD_PTR>(this));
    caption("Note: Your username is case sensitive and will be displayed to other users as your "
            "server administrators name on the servers list and also on the users list.",
            panel, place(10, 120, 300, 58), IdNotify);
    button(Button::CreateAccount, "Create Account", panel, place(10, 184, 300, 22), false);
}

void MainWindow::buildLoginPanel()
{
    HWND panel = createPanel(Panel::AccountLogin, "Account Login");
    field(panel, 0, "Username:", IdUser1, kUserMaxLength);
    HWND password = field(panel, 1, "Password:", IdPass1, kPassMaxLength, true);
    SetWindowSubclass(password, enterBoxProc, 3, reinterpret_cast<DWORD_PTR>(this));
    create("BUTTON", "Automatically Login", BS_CHECKBOX | WS_TABSTOP, panel, IdAutoLogin,
           place(10, 90, 300, 20));
    button(Button::Login, "Login", panel, place(10, 118, 300, 22), false);
}

void MainWindow::buildServerSettingsPanel()
{
    // Changing or removing a registered server has no request in the protocol, so this
    // panel's boxes are never read and its buttons only show that they were pressed.
    HWND panel = createPanel(Panel::ServerSettings, "Server Settings");
    field(panel, 0, "Server Name:", IdServerName, kServerNameMaxLength);
    field(panel, 1, "IP Address:", IdServerIP, kAddressMaxLength);
    field(panel, 2, "Port:", IdServerPort, kPortMaxLength);
    button(Button::SaveServerSettings, "Save Server Settings", panel, place(10, 118, 300, 22));
    button(Button::RemoveServer, "Remove Server", panel, place(10, 146, 300, 22));
}

void MainWindow::buildCreditsPanel()
{
    HWND panel = createPanel(Panel::Credits, "Registry Credits");
    const struct
    {
        const char *text;
        bool heading;
        int height;
    } lines[] = {
        {"Programming", true, 16},
        {"The Talmora Online player-side team", false, 16},
        {"Special Thanks To", true, 16},
        {"Every player who runs a server for the community", false, 30},
        {"(For all your hard work and dedication)", false, 16},
        {"The Registry began as a simple list of player-run servers, so that players could find "
         "a world to join and talk to each other before they play.",
         false, 72},
    };
    int y = 32;
    for (const auto &line : lines) {
        HWND label = caption(line.text, panel, place(10, y, 300, line.height));
        if (line.heading)
            SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(m_bold), FALSE);
        y += line.height + 2;
    }
    caption("Registry Version: R0.0", panel, place(10, kPanelHeight - 26, 300, 16), IdRegVer);
}

void MainWindow::buildAddServerPanel()
{
    HWND panel = createPanel(Panel::AddServer, "Add New Server");
    field(panel, 0, "Server Name:", IdNewServer, kServerNameMaxLength);
    field(panel, 1, "IP Address:", IdNewIP, kAddressMaxLength, false, 94);
    button(Button::UseMyAddress, "Use my IP", panel, place(230, 62, 80, 22));
    field(panel, 2, "Port:", IdNewPort, kPortMaxLength);
    button(Button::AddServer, "Add Server", panel, place(10, 118, 300, 22), false);
}

void MainWindow::createMenus()
{
    m_menu = CreateMenu();
    HMENU registryMenu = CreatePopupMenu();
    const char *accountItems[kAccountMenuCount] = {"Create New Account", "Log In", "Log Out"};
    for (int i = 0; i < kAccountMenuCount; ++i)
        AppendMenuA(registryMenu, MF_STRING | MF_GRAYED, IdMenuAccountBase + i, accountItems[i]);
    AppendMenuA(registryMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(registryMenu, MF_STRING, IdMenuExit, "Exit");
    AppendMenuA(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(registryMenu), "Registry");

    HMENU serverMenu = CreatePopupMenu();
    AppendMenuA(serverMenu, MF_STRING, IdMenuServerRun, "Run");
    AppendMenuA(serverMenu, MF_STRING | MF_GRAYED, IdMenuServerSettings, "Settings");
    AppendMenuA(serverMenu, MF_STRING | MF_GRAYED, IdMenuServerAddNew, "Add New");
    AppendMenuA(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(serverMenu), "Server");

    HMENU aboutMenu = CreatePopupMenu();
    AppendMenuA(aboutMenu, MF_STRING, IdMenuCredits, "Registry Credits");
    AppendMenuA(aboutMenu, MF_STRING, IdMenuVersion, "Version");
    AppendMenuA(m_menu, MF_POPUP, reinterpret_cast<UINT_PTR>(aboutMenu), "About");
}

void MainWindow::layout(int width, int height)
{
    auto move = [this](int id, int x, int y, int w, int h) {
        MoveWindow(control(id), x, y, std::max(0, w), std::max(0, h), TRUE);
    };
    // Left: the status area above the users online; right of it the server list, with
    // Play Selected Server under it; below, the chat and the panels' shared place.
    const int listX = kMargin + kLeftWidth + kGap;
    const int panelX = std::max(listX + 430 + kGap, width - kMargin - kPanelWidth);
    const int rightEdge = panelX + kPanelWidth;
    const int rows = std::max(height - 2 * kMargin - 3 * kRowGap - kPlayHeight, 462);
    const int bottom = std::max(rows / 2, kPanelHeight);
    const int top = rows - bottom;
    move(IdStatusArea, kMargin, kMargin, kLeftWidth, kStatusHeight);
    const int usersY = kMargin + kStatusHeight + 4;
    move(IdUsersCaption, kMargin, usersY, kLeftWidth, 16);
    move(IdUsers, kMargin, usersY + 20, kLeftWidth, kMargin + top - usersY - 20);
    move(IdServerList, listX, kMargin, rightEdge - listX, top);
    const int playY = kMargin + top + kRowGap;
    move(IdButtonBase + static_cast<int>(Button::PlaySelectedServer), rightEdge - 180, playY, 180,
         kPlayHeight);
    const int chatY = playY + kPlayHeight + kRowGap;
    const int chatWidth = panelX - kGap - kMargin;
    move(IdChat, kMargin, chatY, chatWidth, bottom - kSendHeight - kRowGap);
    const int sendY = chatY + bottom - kSendHeight;
    move(IdSend, kMargin, sendY, chatWidth - 80 - kRowGap, kSendHeight);
    move(IdButtonBase + static_cast<int>(Button::Send), kMargin + chatWidth - 80, sendY, 80,
         kSendHeight);
    for (HWND panel : m_panels)
        MoveWindow(panel, panelX, chatY, kPanelWidth, kPanelHeight, TRUE);
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

void MainWindow::attach(RegistryClient &core)
{
    m_core = &core;
    m_actions.attach(core);
    SetWindowTextA(control(IdRegVer), (Bytes("Registry Version: ") + kVersionText).c_str());
    core.appendChat("Welcome to The Talmora Online Registry!");
    sizeServerColumns();
    core.loadAccountSettings();
}

// --- Small helpers ------------------------------------------------------------------------

void MainWindow::enableButton(Button id, bool enabled)
{
    HWND label = control(IdButtonBase + static_cast<int>(id));
    EnableWindow(label, enabled ? TRUE : FALSE);
    InvalidateRect(label, nullptr, TRUE);
}

void MainWindow::enableMenu(int id, bool enabled)
{
    EnableMenuItem(m_menu, static_cast<UINT>(id),
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    DrawMenuBar(m_hwnd);
}

void MainWindow::setWholeText(int id, ByteView value)
{
    // The typing limit does not apply to a text set this way; the box's change is raised as
    // typing raises it.
    SetWindowTextA(control(id), Bytes(value).c_str());
}

Bytes MainWindow::text(int id) const
{
    return windowText(control(id));
}

COLORREF MainWindow::buttonColour(HWND label) const
{
    const auto it = m_pressed.find(label);
    return it != m_pressed.end() && it->second ? kButtonPressedColour : kButtonIdleColour;
}

void MainWindow::afterInput()
{
    if (m_afterInput)
        m_afterInput();
}

// --- RegistryView -----------------------------------------------------------------------

void MainWindow::setRegistryState(ByteView text, bool online)
{
    m_registryOnline = online;
    SetWindowTextA(control(IdRegistry), Bytes(text).c_str());
    InvalidateRect(control(IdRegistry), nullptr, TRUE);
}

void MainWindow::setStatusText(ByteView value)
{
    SetWindowTextA(control(IdStatus), Bytes(value).c_str());
}

void MainWindow::setAccountText(ByteView value)
{
    SetWindowTextA(control(IdAccount), Bytes(value).c_str());
}

void MainWindow::setServerCountText(ByteView value)
{
    SetWindowTextA(control(IdServers), Bytes(value).c_str());
}

void MainWindow::setAccountMenuEnabled(AccountMenu item, bool enabled)
{
    enableMenu(IdMenuAccountBase + static_cast<int>(item), enabled);
}

void MainWindow::setServerSettingsEnabled(bool enabled)
{
    enableMenu(IdMenuServerSettings, enabled);
}

void MainWindow::setServerAddNewEnabled(bool enabled)
{
    enableMenu(IdMenuServerAddNew, enabled);
}

void MainWindow::hidePanel(Panel panel)
{
    ShowWindow(m_panels[static_cast<std::size_t>(panel)], SW_HIDE);
}

void MainWindow::showPanel(Panel which)
{
    HWND panel = m_panels[static_cast<std::size_t>(which)];
    // The panel opened last is drawn on top.
    SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
}

void MainWindow::appendChatLine(ByteView line)
{
    if (line.empty())
        return;
    // Lines that arrive together are added together: one insertion and one scroll per pass
    // of the message loop, however many lines a burst carries.
    if (!m_pendingChat.empty())
        m_pendingChat += "\r\n";
    m_pendingChat += withCrLf(line);
    if (m_chatFlushPosted)
        return;
    m_chatFlushPosted = PostMessageA(m_hwnd, kFlushChatMessage, 0, 0) != FALSE;
}

void MainWindow::flushChat()
{
    m_chatFlushPosted = false;
    if (m_pendingChat.empty())
        return;
    HWND chat = control(IdChat);
    Bytes text;
    text.swap(m_pendingChat);
    const int length = GetWindowTextLengthA(chat);
    if (length > 0)
        text.insert(0, "\r\n");
    // Appending at the end never rewrites the text already in the log; the caret at the end
    // keeps the newest line in view.
    SendMessageA(chat, EM_SETSEL, static_cast<WPARAM>(length), length);
    SendMessageA(chat, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(chat, EM_SCROLLCARET, 0, 0);
}

Bytes MainWindow::chatLogText()
{
    flushChat();
    return text(IdChat);
}

void MainWindow::setChatInputEnabled(bool enabled)
{
    EnableWindow(control(IdSend), enabled ? TRUE : FALSE);
    enableButton(Button::Send, enabled);
}

void MainWindow::clearChatInput()
{
    SetWindowTextA(control(IdSend), "");
}

void MainWindow::setServerRow(int index, const ServerRowText &row)
{
    HWND list = control(IdServerList);
    LVFINDINFOA find{};
    find.flags = LVFI_PARAM;
    find.lParam = index;
    int item = static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(&find)));
    Bytes name(row.name);
    if (item < 0) {
        LVITEMA added{};
        added.mask = LVIF_TEXT | LVIF_PARAM;
        added.iItem = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
        added.lParam = index;
        added.pszText = name.data();
        item = static_cast<int>(
            SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&added)));
    }
    const Bytes *texts[ColCount] = {nullptr, &row.status, &row.name, &row.players,
                                    &row.administrator};
    for (int c = ColStatus; c < ColCount; ++c) {
        Bytes cell(*texts[c]);
        LVITEMA sub{};
        sub.iSubItem = c;
        sub.pszText = cell.data();
        SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(item),
                     reinterpret_cast<LPARAM>(&sub));
    }
}

void MainWindow::clearServerRows()
{
    SendMessageA(control(IdServerList), LVM_DELETEALLITEMS, 0, 0);
}

void MainWindow::clearUsers()
{
    SendMessageA(control(IdUsers), LB_RESETCONTENT, 0, 0);
}

void MainWindow::addUser(ByteView name)
{
    const Bytes text(name);
    SendMessageA(control(IdUsers), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void MainWindow::clearNewAccountFields()
{
    for (int id : {IdUser0, IdPass0, IdPass2})
        SetWindowTextA(control(id), "");
}

void MainWindow::clearNewAccountUserAndFocus()
{
    SetWindowTextA(control(IdUser0), "");
    SetFocus(control(IdUser0));
}

void MainWindow::showLoginUser(ByteView user)
{
    setWholeText(IdUser1, user);
}

void MainWindow::showLoginPassword(ByteView password)
{
    setWholeText(IdPass1, password);
}

void MainWindow::showAutoLogin(int autoLogin)
{
    HWND box = control(IdAutoLogin);
    // A greyed value needs the three-state look; the box becomes two-state on a click.
    SetWindowLongPtrA(box, GWL_STYLE,
                      (GetWindowLongPtrA(box, GWL_STYLE) & ~static_cast<LONG_PTR>(0xF)) |
                          (autoLogin == 2 ? BS_3STATE : BS_CHECKBOX));
    SendMessageA(box, BM_SETCHECK,
                 autoLogin == 1   ? BST_CHECKED
                 : autoLogin == 2 ? BST_INDETERMINATE
                                  : BST_UNCHECKED,
                 0);
    InvalidateRect(box, nullptr, TRUE);
}

void MainWindow::setButtonEnabled(Button id, bool enabled)
{
    enableButton(id, enabled);
}

void MainWindow::setRetypeEnabled(bool enabled)
{
    EnableWindow(control(IdRetype), enabled ? TRUE : FALSE);
    EnableWindow(control(IdPass2), enabled ? TRUE : FALSE);
}

void MainWindow::setPlayEnabled(bool enabled)
{
    enableButton(Button::PlaySelectedServer, enabled);
}

void MainWindow::setNewServerAddress(ByteView address)
{
    setWholeText(IdNewIP, address);
}

void MainWindow::setAddServerButton(bool enabled, ByteView text)
{
    HWND add = control(IdButtonBase + static_cast<int>(Button::AddServer));
    SetWindowTextA(add, Bytes(text).c_str());
    enableButton(Button::AddServer, enabled);
    UpdateWindow(add);
}

void MainWindow::showMessage(ByteView message)
{
    m_presenter(Bytes(message));
}

void MainWindow::quitRequested()
{
    if (m_quitScheduled)
        return;
    m_quitScheduled = true;
    // QuitProgram runs once the current message has been handled.
    PostMessageA(m_hwnd, kQuitMessage, 0, 0);
}

// --- Actions ------------------------------------------------------------------------------

Bytes MainWindow::sendBoxText() const
{
    return text(IdSend);
}

void MainWindow::playAction()
{
    m_actions.play();
}

void MainWindow::runServerAction()
{
    m_actions.runServer();
}

void MainWindow::showVersionWindow()
{
    // An open version window is brought forward; a closed one is created anew and reads the
    // release notes again.
    if (!m_version) {
        const Bytes title = Bytes(kProgramTitle) + " (Version " + kVersionText + ")";
        m_version = CreateWindowExA(
            0, kVersionClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
            CW_USEDEFAULT, kVersionWidth, kVersionHeight, nullptr, nullptr, instance(), this);
        const Bytes notes = withCrLf(ReadReleaseNotes(m_actions.folders().program));
        HWND box =
            CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                            WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL,
                            0, 0, 10, 10, m_version,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(1)), instance(), nullptr);
        SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
        SendMessageA(box, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
        SetWindowTextA(box, notes.c_str());
        // The notes are wrapped by hand already: their lines are never wrapped again, and the
        // window is made wide enough for the longest of them.
        HDC dc = GetDC(box);
        HGDIOBJ old = SelectObject(dc, m_font);
        int widest = 0;
        std::size_t start = 0;
        while (start <= notes.size()) {
            std::size_t end = notes.find("\r\n", start);
            if (end == Bytes::npos)
                end = notes.size();
            SIZE extent{};
            GetTextExtentPoint32A(dc, notes.data() + start, static_cast<int>(end - start), &extent);
            widest = std::max<int>(widest, extent.cx);
            start = end + 2;
        }
        SelectObject(dc, old);
        ReleaseDC(box, dc);
        const int chrome = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) +
                           kVersionMarginLeft + kVersionMarginRight + 8;
        RECT frame = place(0, 0, std::max(kVersionWidth, widest + chrome), kVersionHeight);
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(m_version, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(m_version, SW_SHOW);
    SetWindowPos(m_version, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void MainWindow::serverRowChosen(int item)
{
    if (!m_core)
        return;
    LVITEMA row{};
    row.mask = LVIF_PARAM;
    row.iItem = item;
    if (SendMessageA(control(IdServerList), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&row)))
        m_core->serverChosen(static_cast<int>(row.lParam));
}

void MainWindow::autoLoginClicked()
{
    HWND box = control(IdAutoLogin);
    // Unticked becomes ticked, ticked unticked, greyed ticked; then the box is two-state.
    const bool ticked = SendMessageA(box, BM_GETCHECK, 0, 0) != BST_CHECKED;
    showAutoLogin(ticked ? 1 : 0);
    if (m_core)
        m_core->autoLoginClicked(ticked);
}

void MainWindow::newServerFieldsChanged()
{
    if (m_core)
        m_core->newServerFieldsChanged(text(IdNewServer), text(IdNewIP), text(IdNewPort));
}

// --- Messages -----------------------------------------------------------------------------

void MainWindow::accountMenuCommand(AccountMenu item)
{
    switch (item) {
    case AccountMenu::CreateNewAccount:
        hidePanel(Panel::AccountLogin);
        showPanel(Panel::NewAccount);
        break;
    case AccountMenu::LogIn:
        hidePanel(Panel::NewAccount);
        showPanel(Panel::AccountLogin);
        break;
    case AccountMenu::LogOut:
        if (m_core)
            m_core->logOff();
        break;
    }
}

void MainWindow::editChanged(int id)
{
    if (const std::optional<AccountBox> box = accountBoxOf(id)) {
        if (m_core)
            m_core->accountTextChanged(*box, text(id));
    } else if (id == IdNewServer || id == IdNewIP || id == IdNewPort) {
        newServerFieldsChanged();
    }
}

void MainWindow::command(int id, int code)
{
    if (id >= IdMenuAccountBase && id < IdMenuAccountBase + kAccountMenuCount && code == 0) {
        accountMenuCommand(static_cast<AccountMenu>(id - IdMenuAccountBase));
        return;
    }
    switch (id) {
    case IdMenuExit:
        m_actions.requestQuit();
        return;
    case IdMenuServerRun:
        runServerAction();
        return;
    case IdMenuServerSettings:
        showPanel(Panel::ServerSettings);
        return;
    case IdMenuServerAddNew:
        showPanel(Panel::AddServer);
        return;
    case IdMenuCredits:
        showPanel(Panel::Credits);
        return;
    case IdMenuVersion:
        showVersionWindow();
        return;
    case IdAutoLogin:
        if (code == BN_CLICKED)
            autoLoginClicked();
        return;
    default:
        break;
    }
    if (code == EN_CHANGE)
        editChanged(id);
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

void MainWindow::serverListNotify(const NMHDR &header)
{
    switch (header.code) {
    case NM_CLICK: {
        const auto &click = reinterpret_cast<const NMITEMACTIVATE &>(header);
        if (click.iItem >= 0)
            serverRowChosen(click.iItem);
        else if (m_core)
            m_core->noServerChosen(); // a click that selects no row
        break;
    }
    case NM_DBLCLK:
        if (reinterpret_cast<const NMITEMACTIVATE &>(header).iItem >= 0)
            playAction();
        break;
    case LVN_ITEMCHANGED: {
        // Moving the highlight with the keyboard chooses the row as a click does.
        const auto &change = reinterpret_cast<const NMLISTVIEW &>(header);
        if ((change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED) &&
            !(change.uOldState & LVIS_SELECTED) && change.iItem >= 0)
            serverRowChosen(change.iItem);
        break;
    }
    default:
        break;
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
    if (control == this->control(IdChat)) {
        // The read-only log keeps the look of a text box.
        SetBkColor(dc, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    const bool inPanel = GetParent(control) != m_hwnd;
    COLORREF colour = kCaptionColour;
    if (control == this->control(IdRegistry))
        colour = m_registryOnline ? kBrightGreen : kBrightRed;
    if (!IsWindowEnabled(control))
        colour = darker(colour, 170);
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    SetBkColor(dc, inPanel ? kPanelColour : kWindowColour);
    return reinterpret_cast<LRESULT>(inPanel ? m_panelBrush : m_windowBrush);
}

void MainWindow::drawLabelButton(const DRAWITEMSTRUCT &item)
{
    const bool pressed = buttonColour(item.hwndItem) == kButtonPressedColour;
    HBRUSH back = CreateSolidBrush(pressed ? kButtonPressedColour : kButtonIdleColour);
    FillRect(item.hDC, &item.rcItem, back);
    DeleteObject(back);
    const Bytes label = windowText(item.hwndItem);
    SetBkMode(item.hDC, TRANSPARENT);
    // A disabled label-button keeps its background and shows its caption dimmed.
    SetTextColor(item.hDC, IsWindowEnabled(item.hwndItem) ? kButtonTextColour
                                                          : darker(kButtonTextColour, 160));
    HGDIOBJ old = SelectObject(item.hDC, m_font);
    RECT area = item.rcItem;
    DrawTextA(item.hDC, label.c_str(), static_cast<int>(label.size()), &area,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(item.hDC, old);
}

void MainWindow::labelButtonReleased(int id)
{
    if (id >= IdCloseBase && id < IdCloseBase + kPanelCount) {
        hidePanel(static_cast<Panel>(id - IdCloseBase));
        return;
    }
    m_actions.buttonReleased(static_cast<Button>(id - IdButtonBase),
                             [this] { return sendBoxText(); });
}

bool MainWindow::enterBoxKey(HWND box, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (wParam != VK_RETURN)
        return false;
    if (box == control(IdSend)) {
        // The key is not consumed: after the send has emptied the box, the box still gets the
        // line break.
        if (message == WM_KEYDOWN && m_core)
            m_core->sendChatFromEnter(sendBoxText());
        return false;
    }
    // Password boxes: the core decides what the press and the release do. A held key goes
    // down once.
    if (message == WM_CHAR)
        return true; // no line break and no beep in a one-line box
    const std::optional<AccountBox> which = accountBoxOf(GetDlgCtrlID(box));
    if (!which || !m_core)
        return false;
    const bool repeat = (lParam & (1 << 30)) != 0;
    if (message == WM_KEYDOWN && !repeat)
        m_core->enterPressed(*which);
    else if (message == WM_KEYUP)
        m_core->enterReleased(*which);
    return false;
}

bool MainWindow::handle(UINT message, WPARAM wParam, LPARAM lParam, LRESULT &result)
{
    switch (message) {
    case WM_COMMAND:
        command(LOWORD(wParam), HIWORD(wParam));
        afterInput();
        result = 0;
        return true;
    case WM_NOTIFY:
        result = notify(*reinterpret_cast<const NMHDR *>(lParam));
        afterInput();
        return true;
    case WM_CTLCOLORSTATIC:
        result = colourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        return true;
    case WM_DRAWITEM:
        drawLabelButton(*reinterpret_cast<const DRAWITEMSTRUCT *>(lParam));
        result = TRUE;
        return true;
    default:
        return false;
    }
}

// The window object that a window of the program's classes was created for, kept in the
// window's user data from its first message on.
MainWindow *MainWindow::windowOf(HWND hwnd, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(
            hwnd, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA *>(lParam)->lpCreateParams));
    return reinterpret_cast<MainWindow *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK MainWindow::mainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = windowOf(hwnd, message, lParam);
    if (message == WM_NCCREATE)
        self->m_hwnd = hwnd;
    if (!self)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    LRESULT result = 0;
    if (self->handle(message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, self->m_windowBrush);
        return 1;
    }
    case WM_SIZE:
        if (self->control(IdServerList))
            self->layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_CLOSE:
        // Closing is never cancelled: it asks the program to end.
        self->m_actions.requestQuit();
        self->afterInput();
        return 0;
    case kFlushChatMessage:
        self->flushChat();
        return 0;
    case kQuitMessage:
        if (self->m_quitHandler)
            self->m_quitHandler();
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindow::panelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = windowOf(hwnd, message, lParam);
    LRESULT result = 0;
    if (self && self->handle(message, wParam, lParam, result))
        return result;
    if (self && message == WM_ERASEBKGND) {
        RECT client{};
        GetClientRect(hwnd, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, self->m_panelBrush);
        return 1;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::versionProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = windowOf(hwnd, message, lParam);
    switch (message) {
    case WM_SIZE:
        MoveWindow(GetDlgItem(hwnd, 1), kVersionMarginLeft, kVersionMarginTop,
                   std::max(0, LOWORD(lParam) - kVersionMarginLeft - kVersionMarginRight),
                   std::max(0, HIWORD(lParam) - kVersionMarginTop - kVersionMarginBottom), TRUE);
        return 0;
    case WM_DESTROY:
        if (self && self->m_version == hwnd)
            self->m_version = nullptr;
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindow::labelButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR data)
{
    auto *self = reinterpret_cast<MainWindow *>(data);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        // The label keeps the mouse from press to release.
        self->m_pressed[hwnd] = true;
        SetCapture(hwnd);
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        // The action runs on every release that reaches the label, wherever the pointer is.
        self->m_pressed[hwnd] = false;
        if (GetCapture() == hwnd)
            ReleaseCapture();
        InvalidateRect(hwnd, nullptr, FALSE);
        UpdateWindow(hwnd);
        self->labelButtonReleased(GetDlgCtrlID(hwnd));
        self->afterInput();
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (self->m_pressed[hwnd]) {
            self->m_pressed[hwnd] = false;
            InvalidateRect(hwnd, nullptr, FALSE);
        }
        return 0;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, labelButtonProc, 1);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::enterBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR id, DWORD_PTR data)
{
    auto *self = reinterpret_cast<MainWindow *>(data);
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, enterBoxProc, id);
    if (message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR) {
        const bool consumed = self->enterBoxKey(hwnd, message, wParam, lParam);
        if (wParam == VK_RETURN && message != WM_CHAR)
            self->afterInput();
        if (consumed)
            return 0;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

} // namespace registry::win32
