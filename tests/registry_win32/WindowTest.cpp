#include "common/Clock.h"
#include "common/Codec.h"
#include "common/HostAddress.h"
#include "common/IniStore.h"
#include "common/win32/WindowText.h"
#include "registry/app/RegistryWiring.h"
#include "registry/app/WindowController.h"
#include "registry/app/WindowSurface.h"
#include "registry/app/WindowView.h"
#include "registry/net/RegistryClient.h"
#include "registry/win32/ChatLog.h"
#include "registry/win32/DesktopNotice.h"
#include "registry/win32/MainWindow.h"
#include "tests/support/ChatPictureLines.h"
#include "tests/support/FakeTransport.h"
#include "tests/support/FindRowCases.h"
#include "tests/support/Win32Loop.h"
#include "tests/support/WindowCapture.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using common::Bytes;
using namespace registry;
using registry::win32::ChatLog;
using registry::win32::MainWindow;

constexpr int IdMenuAccountBase = static_cast<int>(MenuItem::CreateNewAccount);
constexpr int IdMenuExit = static_cast<int>(MenuItem::Exit);
constexpr int IdMenuServerRun = static_cast<int>(MenuItem::ServerRun);
constexpr int IdMenuServerSettings = static_cast<int>(MenuItem::ServerSettings);
constexpr int IdMenuServerAddNew = static_cast<int>(MenuItem::ServerAddNew);
constexpr int IdMenuCredits = static_cast<int>(MenuItem::Credits);
constexpr int IdMenuVersion = static_cast<int>(MenuItem::Version);

class RecordingShell final : public common::Shell
{
public:
    std::vector<std::string> files, parameters;
    common::ShellResult open(common::ByteView, common::ByteView file, common::ByteView params,
                             common::ByteView, int) override
    {
        files.emplace_back(file);
        parameters.emplace_back(params);
        return common::ShellResult::Started;
    }
    void openWith(common::ByteView, common::ByteView) override {}
};

Bytes inbound(std::initializer_list<int> head, const Bytes &rest = {})
{
    return *common::BuildPacket(common::byteString(head) + rest, common::PacketKind::Plain);
}

std::string tempFolder()
{
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    const std::string folder =
        std::string(base) + "talmora-regwin-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string windowText(HWND window)
{
    char text[4096] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

int buttonId(Button button)
{
    return IdButtonBase + static_cast<int>(button);
}

// The real window, application layer and core, wired as the program wires them, on fake
// transports and a manual clock. Messages and the end of the program are recorded instead of
// shown or carried out.
class RegistryWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_window = std::make_unique<MainWindow>(m_folder);
        m_window->setMessagePresenter([this](const Bytes &text) { m_messages.push_back(text); });
        m_wiring = std::make_unique<RegistryWiring>(
            m_window->surface(), m_window->notifier(), m_folder, ServerAddress{"127.0.0.1", 2600},
            RegistryWiring::Ports{m_clock, m_main, m_probe, m_shell, m_localClock,
                                  [] { return Bytes("12345"); }, nullptr,
                                  m_folder + "\\registry.ini"});
        m_view = &m_wiring->view();
        m_view->setQuitHandler([this] { ++m_quits; });
        m_serverList = &m_wiring->serverList();
        m_chatShowing = &m_wiring->chatShowing();
        m_controller = &m_wiring->controller();
        m_core = &m_controller->core();
        m_window->attach(*m_controller);
        m_window->show();
        m_controller->start();
        pump();
    }

    void TearDown() override
    {
        m_wiring.reset();
        m_window.reset();
        // The list's choices stay with the test that made them.
        DeleteFileA((m_folder + "\\registry.ini").c_str());
    }

    static void pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

    void connect()
    {
        m_clock.advance(500);
        m_core->onTimer();
        m_main.acceptConnection();
        m_main.deliver(inbound({0, 0, 1}));
        m_main.clearSent();
        pump();
    }

    void logIn(const std::string &name, int ownServer = 0)
    {
        m_main.deliver(inbound({5, 2, ownServer}, name));
        pump();
    }

    // The chat log, lines still waiting for the message loop included.
    Bytes chatLog() const
    {
        m_view->flushChat();
        return m_window->chatLogText();
    }

    HWND c(int id) const
    {
        HWND control = m_window->control(id);
        EXPECT_NE(control, nullptr) << id;
        return control;
    }
    std::string text(int id) const { return windowText(c(id)); }

    static void type(HWND box, const std::string &chars)
    {
        for (char ch : chars)
            SendMessageA(box, WM_CHAR, static_cast<unsigned char>(ch), 1);
    }
    // Enter as the keyboard sends it: key down, the character, key up.
    static void enter(HWND box, bool down = true, bool up = true)
    {
        if (down) {
            SendMessageA(box, WM_KEYDOWN, VK_RETURN, 1);
            SendMessageA(box, WM_CHAR, '\r', 1);
        }
        if (up)
            SendMessageA(box, WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC0000001));
    }
    void press(HWND label, UINT down = WM_LBUTTONDOWN)
    {
        SendMessageA(label, down, 0, MAKELPARAM(2, 2));
    }
    // A release outside the label: the label holds the mouse from the press on.
    void release(HWND label, UINT up = WM_LBUTTONUP)
    {
        SendMessageA(label, up, 0, MAKELPARAM(-40, 300));
        pump();
    }
    void click(HWND label)
    {
        press(label);
        release(label);
    }
    bool menuEnabled(int id) const
    {
        return (GetMenuState(m_window->menu(), static_cast<UINT>(id), MF_BYCOMMAND) & MF_GRAYED) ==
               0;
    }
    // A menu click: only an enabled item can be clicked.
    void menu(int id)
    {
        ASSERT_TRUE(menuEnabled(id)) << id;
        SendMessageA(m_window->hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
        pump();
    }
    bool panelVisible(registry::Panel panel) const
    {
        return IsWindowVisible(c(IdPanelBase + static_cast<int>(panel))) != FALSE;
    }
    std::vector<Bytes> sentBodies() const
    {
        std::vector<Bytes> out;
        const Bytes sent = m_main.sentBytes();
        std::size_t pos = 0;
        while (pos + 3 <= sent.size()) {
            const std::size_t length = common::DecodeLength(std::string_view(sent).substr(pos, 2));
            out.push_back(sent.substr(pos + 3, length));
            pos += 3 + length;
        }
        return out;
    }
    HWND list() const { return c(IdServerList); }
    int rowCount() const { return static_cast<int>(SendMessageA(list(), LVM_GETITEMCOUNT, 0, 0)); }
    std::string cell(int row, int column) const
    {
        char buffer[256] = {};
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = buffer;
        item.cchTextMax = sizeof buffer;
        SendMessageA(list(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
        return buffer;
    }
    // A mouse click (or double click) on a row, or below the rows, as the list view gets it;
    // the list tells the window through its notifications.
    void clickList(int row, bool twice = false)
    {
        POINT at{40, 0};
        if (row >= 0) {
            RECT bounds{};
            bounds.left = LVIR_LABEL;
            SendMessageA(list(), LVM_GETITEMRECT, static_cast<WPARAM>(row),
                         reinterpret_cast<LPARAM>(&bounds));
            at.y = (bounds.top + bounds.bottom) / 2;
            at.x = bounds.left + 40;
        } else {
            RECT client{};
            GetClientRect(list(), &client);
            at.y = client.bottom - 4;
        }
        const LPARAM where = MAKELPARAM(at.x, at.y);
        SendMessageA(list(), WM_LBUTTONDOWN, MK_LBUTTON, where);
        SendMessageA(list(), WM_LBUTTONUP, 0, where);
        if (twice) {
            SendMessageA(list(), WM_LBUTTONDBLCLK, MK_LBUTTON, where);
            SendMessageA(list(), WM_LBUTTONUP, 0, where);
        }
        pump();
    }

    std::string m_folder = tempFolder();
    common::ManualClock m_clock{1000};
    ManualLocalClock m_localClock;
    testsupport::FakeTransport m_main;
    testsupport::FakeTransport m_probe;
    RecordingShell m_shell;
    std::vector<Bytes> m_messages;
    int m_quits = 0;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<RegistryWiring> m_wiring;
    // The wiring's parts.
    WindowView *m_view = nullptr;
    ServerListShown *m_serverList = nullptr;
    ChatLineShowing *m_chatShowing = nullptr;
    WindowController *m_controller = nullptr;
    RegistryClient *m_core = nullptr;
};

TEST_F(RegistryWindowTest, OpensWithTheStartingTextsAndStates)
{
    EXPECT_EQ(windowText(m_window->hwnd()), "The Talmora Online Registry");
    RECT client{};
    GetClientRect(m_window->hwnd(), &client);
    EXPECT_EQ(client.right, 1000);
    EXPECT_EQ(client.bottom, 640);
    const struct
    {
        int id;
        const char *text;
    } texts[] = {
        {IdRegistry, "Offline"},
        {IdServers, "N/A"},
        {IdStatus, "Connecting..."},
        {IdAccount, "Logged Off"},
        {IdRegVer, "Registry Version: R0.7"},
        {buttonId(Button::PlaySelectedServer), "Play Selected Server"},
        {buttonId(Button::Send), "Send"},
        {buttonId(Button::CreateAccount), "Create Account"},
        {IdCloseBase + 4, "Close"},
    };
    for (const auto &t : texts)
        EXPECT_EQ(text(t.id), t.text) << t.id;
    EXPECT_EQ(chatLog(),
              "Welcome to The Talmora Online Registry!\r\nYou must login to use the chat feature.");
    for (int id :
         std::initializer_list<int>{buttonId(Button::PlaySelectedServer), buttonId(Button::Send),
                                    buttonId(Button::CreateAccount), buttonId(Button::Login),
                                    buttonId(Button::AddServer), IdSend, IdPass2, IdRetype})
        EXPECT_FALSE(IsWindowEnabled(c(id))) << id;
    for (int panel = 0; panel < registry::kPanelCount; ++panel)
        EXPECT_FALSE(panelVisible(static_cast<registry::Panel>(panel)));

    // Five keyed columns, the index column hidden, a tool tip on each header item.
    HWND header = reinterpret_cast<HWND>(SendMessageA(list(), LVM_GETHEADER, 0, 0));
    ASSERT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 5);
    EXPECT_EQ(SendMessageA(list(), LVM_GETCOLUMNWIDTH, 0, 0), 0);
    const char *captions[] = {"ServerIndex", "Status", "Server Name", "Players", "Administrator"};
    const char *keys[] = {"SERVERINDEX", "STATUS", "NAME", "PLAYERS", "ADMINISTRATOR"};
    ASSERT_EQ(SendMessageA(m_window->headerToolTips(), TTM_GETTOOLCOUNT, 0, 0), 5);
    for (int col = 0; col < 5; ++col) {
        char buffer[128] = {};
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT;
        column.pszText = buffer;
        column.cchTextMax = sizeof buffer;
        SendMessageA(list(), LVM_GETCOLUMNA, static_cast<WPARAM>(col),
                     reinterpret_cast<LPARAM>(&column));
        EXPECT_STREQ(buffer, captions[col]);
        EXPECT_STREQ(MainWindow::columnKey(col), keys[col]);
        char tip[128] = {};
        TOOLINFOA tool{};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = header;
        tool.uId = static_cast<UINT_PTR>(col);
        tool.lpszText = tip;
        SendMessageA(m_window->headerToolTips(), TTM_GETTEXTA, sizeof tip,
                     reinterpret_cast<LPARAM>(&tool));
        EXPECT_NE(std::string(tip), "") << col;
        if (col > 0) {
            EXPECT_GT(SendMessageA(list(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(col), 0), 0);
        }
    }
    // The index column cannot be dragged open.
    NMHEADERA track{};
    track.hdr.hwndFrom = header;
    track.hdr.code = HDN_BEGINTRACKA;
    track.iItem = 0;
    EXPECT_EQ(SendMessageA(m_window->hwnd(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&track)), TRUE);
}

TEST_F(RegistryWindowTest, MenusFollowConnectionAndLogin)
{
    struct Expect
    {
        const char *step;
        bool create, logIn, logOut, settings, addNew;
    };
    auto check = [this](const Expect &e) {
        SCOPED_TRACE(e.step);
        EXPECT_EQ(menuEnabled(IdMenuAccountBase + 0), e.create);
        EXPECT_EQ(menuEnabled(IdMenuAccountBase + 1), e.logIn);
        EXPECT_EQ(menuEnabled(IdMenuAccountBase + 2), e.logOut);
        EXPECT_EQ(menuEnabled(IdMenuServerSettings), e.settings);
        EXPECT_EQ(menuEnabled(IdMenuServerAddNew), e.addNew);
        for (int id : {IdMenuExit, IdMenuServerRun, IdMenuCredits, IdMenuVersion})
            EXPECT_TRUE(menuEnabled(id));
    };
    check({"start", false, false, false, false, false});
    connect();
    check({"connected", true, true, false, false, false});
    EXPECT_EQ(text(IdRegistry), "Online");
    EXPECT_EQ(text(IdStatus), "Connected");
    logIn("Ostrik");
    check({"logged in", false, false, true, false, true});
    EXPECT_EQ(text(IdAccount), "Logged in (Ostrik)");
    EXPECT_TRUE(IsWindowEnabled(c(IdSend)));
    EXPECT_TRUE(IsWindowEnabled(c(buttonId(Button::Send))));
    menu(IdMenuAccountBase + 2);
    check({"logged off", true, true, false, false, false});
    EXPECT_FALSE(IsWindowEnabled(c(IdSend)));
    logIn("Ostrik", 1);
    check({"logged in with a server", false, false, true, true, false});
    m_main.dropConnection();
    pump();
    check({"dropped", false, false, false, false, false});
    EXPECT_EQ(text(IdRegistry), "Offline");
}

TEST_F(RegistryWindowTest, TypingStopsAtEachBoxsLimit)
{
    connect();
    logIn("Ostrik");
    const struct
    {
        int id;
        int limit;
        bool password;
    } boxes[] = {
        {IdUser0, 15, false},      {IdUser1, 15, false},      {IdPass0, 15, true},
        {IdPass1, 15, true},       {IdServerName, 40, false}, {IdServerIP, 15, false},
        {IdServerPort, 15, false}, {IdNewServer, 40, false},  {IdNewIP, 15, false},
        {IdNewPort, 15, false},    {IdSend, 1400, false},
    };
    for (const auto &b : boxes) {
        SCOPED_TRACE(b.id);
        // Typed to two short of the limit, then five more keys.
        SetWindowTextA(c(b.id), std::string(static_cast<std::size_t>(b.limit) - 2, 'x').c_str());
        type(c(b.id), "xxxxx");
        EXPECT_EQ(text(b.id), std::string(static_cast<std::size_t>(b.limit), 'x'));
        EXPECT_EQ(SendMessageA(c(b.id), EM_GETPASSWORDCHAR, 0, 0), b.password ? '*' : 0);
    }
    // Pasted text is held to the chat input's limit too.
    SetWindowTextA(c(IdSend), "");
    const std::string pasted(1500, 'y');
    SendMessageA(c(IdSend), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(pasted.c_str()));
    EXPECT_EQ(text(IdSend).size(), 1400u);
    // A longer text the program puts in stays whole.
    m_view->showLoginUser("a-name-of-twenty-char");
    EXPECT_EQ(text(IdUser1), "a-name-of-twenty-char");
}

TEST_F(RegistryWindowTest, LabelButtonsActOnReleaseOnly)
{
    connect();
    logIn("Ostrik");
    HWND send = c(buttonId(Button::Send));
    const struct
    {
        UINT down, up;
    } buttons[] = {{WM_LBUTTONDOWN, WM_LBUTTONUP}, {WM_RBUTTONDOWN, WM_RBUTTONUP}};
    for (const auto &b : buttons) {
        SCOPED_TRACE(b.down);
        m_main.clearSent();
        type(c(IdSend), "hello");
        press(send, b.down);
        EXPECT_EQ(m_window->buttonColour(send), kButtonPressedColour);
        pump();
        EXPECT_TRUE(m_main.sends().empty());
        release(send, b.up);
        EXPECT_EQ(m_window->buttonColour(send), kButtonIdleColour);
        const auto sent = sentBodies();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0], Bytes("\x05") + "hello");
        EXPECT_EQ(text(IdSend), "");
    }
    // A screen reader reads the caption as a button's, for the system's own button class
    // (drawn by the program), and can press it.
    wchar_t kind[16] = {};
    GetClassNameW(send, kind, 16);
    EXPECT_EQ(std::wstring(kind), L"Button");
    EXPECT_EQ(GetWindowLongW(send, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    m_main.clearSent();
    type(c(IdSend), "hello");
    SendMessageW(send, BM_CLICK, 0, 0);
    ASSERT_EQ(sentBodies().size(), 1u);

    // The panel buttons that send nothing only change colour.
    menu(IdMenuAccountBase + 2); // log off, then open the settings panel of an owner
    logIn("Ostrik", 1);
    menu(IdMenuServerSettings);
    m_main.clearSent();
    for (Button b : {Button::SaveServerSettings, Button::RemoveServer}) {
        HWND label = c(buttonId(b));
        press(label);
        EXPECT_EQ(m_window->buttonColour(label), kButtonPressedColour);
        release(label);
        EXPECT_EQ(m_window->buttonColour(label), kButtonIdleColour);
    }
    EXPECT_TRUE(m_main.sends().empty());
    EXPECT_TRUE(panelVisible(registry::Panel::ServerSettings));
}

TEST_F(RegistryWindowTest, PanelsShareOnePlaceAndClose)
{
    connect();
    menu(IdMenuAccountBase + 0);
    EXPECT_TRUE(panelVisible(registry::Panel::NewAccount));
    menu(IdMenuAccountBase + 1); // Log In hides New Account
    EXPECT_TRUE(panelVisible(registry::Panel::AccountLogin));
    EXPECT_FALSE(panelVisible(registry::Panel::NewAccount));
    menu(IdMenuCredits); // others stay open
    EXPECT_TRUE(panelVisible(registry::Panel::AccountLogin));
    EXPECT_TRUE(panelVisible(registry::Panel::Credits));
    RECT a{}, b{};
    GetWindowRect(c(IdPanelBase + 1), &a);
    GetWindowRect(c(IdPanelBase + 3), &b);
    EXPECT_TRUE(EqualRect(&a, &b));
    EXPECT_EQ(a.right - a.left, 320);
    EXPECT_EQ(a.bottom - a.top, 262);
    HWND close = c(IdCloseBase + 3);
    press(close);
    EXPECT_TRUE(panelVisible(registry::Panel::Credits));
    release(close);
    EXPECT_FALSE(panelVisible(registry::Panel::Credits));
    EXPECT_TRUE(panelVisible(registry::Panel::AccountLogin));
}

TEST_F(RegistryWindowTest, EnterInPasswordBoxesActsOnItsReleaseInTheSameBox)
{
    connect();
    menu(IdMenuAccountBase + 1);
    type(c(IdUser1), "Ostrik");
    type(c(IdPass1), "secret");
    EXPECT_EQ(text(IdPass1), "secret");
    EXPECT_TRUE(IsWindowEnabled(c(buttonId(Button::Login))));
    // The release of an Enter pressed elsewhere (closing a message) does nothing.
    enter(c(IdPass1), false, true);
    EXPECT_TRUE(m_main.sends().empty());
    enter(c(IdPass1), true, false);
    EXPECT_TRUE(m_main.sends().empty());
    enter(c(IdPass1), false, true);
    auto sent = sentBodies();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], Bytes("\x03\x01") + "Ostrik" + '\0' + "secret");
    EXPECT_EQ(text(IdPass1), "secret"); // no line break in a one-line box

    // New account: the re-type box opens with the password; Enter in it creates the account.
    menu(IdMenuAccountBase + 0);
    m_main.clearSent();
    type(c(IdUser0), "Newbie");
    EXPECT_FALSE(IsWindowEnabled(c(IdPass2)));
    type(c(IdPass0), "pw1");
    EXPECT_TRUE(IsWindowEnabled(c(IdPass2)));
    EXPECT_TRUE(IsWindowEnabled(c(IdRetype)));
    type(c(IdPass2), "pw1");
    EXPECT_TRUE(IsWindowEnabled(c(buttonId(Button::CreateAccount))));
    enter(c(IdPass2));
    sent = sentBodies();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], Bytes("\x03") + '\0' + "Newbie" + '\0' + "pw1");
}

TEST_F(RegistryWindowTest, EnterInTheChatInputSendsTheLine)
{
    connect();
    logIn("Ostrik");
    type(c(IdSend), "hi all");
    enter(c(IdSend));
    const auto sent = sentBodies();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], Bytes("\x05") + "hi all");
    // The box was emptied by the send and then got the key's line break.
    EXPECT_EQ(text(IdSend), "\r\n");
    m_main.clearSent();
    enter(c(IdSend)); // only a line break in the box: nothing is sent
    EXPECT_TRUE(m_main.sends().empty());

    m_main.deliver(inbound({7}, "Ren: hello") + inbound({7}, "Ann: hey"));
    EXPECT_NE(chatLog().find("\r\nRen: hello\r\nAnn: hey"), std::string::npos);
}

// The popup menu open now: whether "Show Times" is ticked, then chosen by its access letter.
bool g_timesTicked = false;
void CALLBACK chooseShowTimesInMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    HWND popup = FindWindowW(L"#32768", nullptr);
    auto *menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    g_timesTicked = menu && (GetMenuState(menu, ChatLog::kShowTimes, MF_BYCOMMAND) & MF_CHECKED);
    PostMessageW(popup, WM_CHAR, 't', 0);
}

// "Show Times" in the log's context menu puts the time before the lines that arrive from then
// on; a line naming the player is marked, and only that line.
TEST_F(RegistryWindowTest, TheChatLogShowsTimesWhenAskedAndMarksALineNamingThePlayer)
{
    connect();
    logIn("Ostrik");
    HWND log = c(IdChat);
    const ChatLog &chatLog = m_window->chatLog();
    // The menu from the keyboard (Shift+F10), its item chosen while it is open.
    const auto chooseShowTimes = [log] {
        g_timesTicked = false;
        SetTimer(nullptr, 0, 10, chooseShowTimesInMenu);
        SendMessageW(log, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(log), -1);
        pump();
        return g_timesTicked;
    };
    m_localClock.set(7, 45);
    EXPECT_FALSE(chooseShowTimes());
    EXPECT_TRUE(chatLog.timesChecked());
    m_main.deliver(inbound({7}, "Ren: hello ostrik") + inbound({7}, "Ann: hey"));
    m_view->flushChat();
    const Bytes text = m_window->chatLogText();
    EXPECT_NE(text.find("\r\n[07:45] Ren: hello ostrik\r\n[07:45] Ann: hey"), std::string::npos);
    // Lines: welcome lines, "You have logged in as Ostrik", then the two.
    const std::size_t lines =
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    EXPECT_TRUE(chatLog.marked(lines - 2));
    EXPECT_FALSE(chatLog.marked(lines - 1));
    EXPECT_FALSE(chatLog.marked(lines - 3));

    EXPECT_TRUE(chooseShowTimes());
    EXPECT_FALSE(chatLog.timesChecked());
    m_main.deliver(inbound({7}, "Ren: untimed"));
    m_view->flushChat();
    EXPECT_EQ(text.size() + 14, m_window->chatLogText().size()) << "CR LF and the line only";
}

// Up and Down in the input step through the lines sent and back to what was being typed; a
// double click on a user online addresses the input to that user.
TEST_F(RegistryWindowTest, TheChatInputRemembersLinesSentAndADoubleClickAddressesAUser)
{
    connect();
    logIn("Ostrik");
    HWND input = c(IdSend);
    for (const char *line : {"first", "second"}) {
        type(input, line);
        enter(input);
    }
    type(input, "draft");
    const struct
    {
        WPARAM key;
        const char *shown;
    } steps[] = {{VK_UP, "second"},   {VK_UP, "first"},       {VK_UP, "first"},
                 {VK_DOWN, "second"}, {VK_DOWN, "\r\ndraft"}, {VK_DOWN, "\r\ndraft"}};
    for (const auto &step : steps) {
        SendMessageW(input, WM_KEYDOWN, step.key, 1);
        SendMessageW(input, WM_KEYUP, step.key, static_cast<LPARAM>(0xC0000001));
        EXPECT_EQ(text(IdSend), step.shown) << step.key;
    }

    for (const char *user : {"Mira", "Ren"})
        m_main.deliver(inbound({6, 1, 0}, user));
    RECT item{};
    SendMessageW(c(IdUsers), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM(item.left + 4, (item.top + item.bottom) / 2);
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
        SendMessageW(c(IdUsers), message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, at);
    pump();
    EXPECT_EQ(text(IdSend), "Ren: ");
    EXPECT_EQ(GetFocus(), input);
}

TEST_F(RegistryWindowTest, ServerListRowsClicksAndDoubleClick)
{
    connect();
    m_main.deliver(inbound({1, 4, 1, 3}, Bytes("My Town") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    m_main.deliver(inbound({1, 9, 0, 0}, Bytes("Old Keep") + '\0' + "Ren" + '\0' + "127.0.0.7"));
    m_main.deliver(inbound({1, 4, 1, 5}, Bytes("My Town") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    pump();
    ASSERT_EQ(rowCount(), 2); // known rows are refreshed in place
    const char *row0[] = {"My Town", "Online", "My Town", "5", "Ostrik"};
    for (int col = 1; col < 5; ++col)
        EXPECT_EQ(cell(0, col), row0[col]) << col;
    EXPECT_EQ(cell(1, 1), "Offline");

    clickList(1);
    EXPECT_TRUE(IsWindowEnabled(c(buttonId(Button::PlaySelectedServer))));
    EXPECT_EQ(m_controller->selectedServer().name, "Old Keep");
    clickList(-1); // below the rows
    EXPECT_FALSE(IsWindowEnabled(c(buttonId(Button::PlaySelectedServer))));
    clickList(0, true);
    ASSERT_EQ(m_shell.files.size(), 1u);
    EXPECT_EQ(m_shell.files[0], "tlm.exe");
    EXPECT_EQ(m_shell.parameters[0], "127.0.0.9 2601 My+Town");
    click(c(buttonId(Button::PlaySelectedServer)));
    EXPECT_EQ(m_shell.files.size(), 2u);

    m_main.deliver(inbound({8}));
    pump();
    EXPECT_EQ(rowCount(), 0);
}

TEST_F(RegistryWindowTest, HeaderClicksSortTheServerListAndTheChosenRowStaysChosen)
{
    connect();
    m_main.deliver(inbound({1, 4, 1, 3}, Bytes("My Town") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    m_main.deliver(inbound({1, 9, 1, 0}, Bytes("Old Keep") + '\0' + "Ren" + '\0' + "127.0.0.7"));
    pump();
    clickList(0); // "My Town"
    HWND header = reinterpret_cast<HWND>(SendMessageA(list(), LVM_GETHEADER, 0, 0));
    const auto clickHeader = [&](int column) {
        RECT place{};
        SendMessageA(header, HDM_GETITEMRECT, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&place));
        const LPARAM where =
            MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, where);
        SendMessageA(header, WM_LBUTTONUP, 0, where);
        pump();
    };
    const auto sortMark = [&](int column) {
        HDITEMA item{};
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(column),
                     reinterpret_cast<LPARAM>(&item));
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    };

    clickHeader(ColPlayers); // fewest players first
    EXPECT_EQ(cell(0, ColName), "Old Keep");
    EXPECT_EQ(cell(1, ColName), "My Town");
    EXPECT_EQ(sortMark(ColPlayers), HDF_SORTUP);
    EXPECT_EQ(SendMessageA(list(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1)
        << "the chosen row moved with its server";
    EXPECT_EQ(m_controller->selectedServer().name, "My Town");
    clickList(0, true);
    ASSERT_EQ(m_shell.parameters.size(), 1u);
    EXPECT_EQ(m_shell.parameters[0], "127.0.0.7 2601 Old+Keep");

    clickHeader(ColPlayers);
    clickHeader(ColPlayers); // back to the order the rows came in
    EXPECT_EQ(cell(0, ColName), "My Town");
    EXPECT_EQ(sortMark(ColPlayers), 0);
}

TEST_F(RegistryWindowTest, VersionWindowShowsTheReleaseNotes)
{
    {
        std::ofstream notes(m_folder + "\\R0.7.txt", std::ios::binary);
        notes << "R0.7\r\n - a line that is rather longer than the window would be on its own, "
                 "so it widens the window\n - last";
    }
    menu(IdMenuVersion);
    HWND version = m_window->versionWindow();
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(IsWindowVisible(version));
    EXPECT_EQ(windowText(version), "The Talmora Online Registry (Version R0.7)");
    EXPECT_EQ(windowText(GetDlgItem(version, 1)),
              "R0.7\r\n - a line that is rather longer than the window would be on its own, so "
              "it widens the window\r\n - last");
    RECT client{};
    GetClientRect(version, &client);
    EXPECT_GT(client.right, 480);
    menu(IdMenuVersion); // brought forward, not a second one
    EXPECT_EQ(m_window->versionWindow(), version);
    SendMessageA(version, WM_CLOSE, 0, 0);
    EXPECT_EQ(m_window->versionWindow(), nullptr);
}

// Text a server or another player may send: every byte but NUL (which ends a field), alone and
// in every ordered pair.
std::vector<Bytes> everyByteAndPair()
{
    Bytes single, pairs;
    for (int a = 1; a < 256; ++a) {
        single.push_back(static_cast<char>(a));
        for (int b = 1; b < 256; ++b) {
            pairs.push_back(static_cast<char>(a));
            pairs.push_back(static_cast<char>(b));
        }
    }
    return {Bytes("\xB4\x98"), single, pairs};
}

TEST_F(RegistryWindowTest, EveryByteOfServerTextIsShownAndReadBackInEveryControl)
{
    constexpr std::size_t kReplySlice = 60000;
    connect();
    WindowSurface &surface = m_window->surface();
    for (int panel = 0; panel < registry::kPanelCount; ++panel)
        ShowWindow(c(IdPanelBase + panel), SW_SHOW);
    const struct
    {
        const char *control;
        std::function<void(const Bytes &)> show;
        // What the control shows of a text of this many bytes.
        std::function<Bytes(std::size_t)> shown;
        // What of the text it is to show.
        std::function<Bytes(const Bytes &)> expected = [](const Bytes &t) { return t; };
    } controls[] = {
        {"chat log", [&](const Bytes &t) { surface.appendChat(t); },
         [&](std::size_t length) {
             const Bytes log = m_window->chatLogText();
             return log.substr(log.size() - std::min(length, log.size()));
         }},
        // Replies to Use my IP (a packet holds at most 64 KiB, so the pairs come in slices):
        // the box gets only what of the last an address can be made of.
        {"address box",
         [&](const Bytes &t) {
             for (std::size_t at = 0; at < t.size(); at += kReplySlice)
                 m_main.deliver(inbound({3}, t.substr(at, kReplySlice)));
         },
         [&](std::size_t) { return common::win32::GetText(c(IdNewIP)); },
         [](const Bytes &t) {
             return common::AddressCharacters(t.substr((t.size() - 1) / kReplySlice * kReplySlice));
         }},
        {"account caption", [&](const Bytes &t) { surface.setText(IdAccount, t); },
         [&](std::size_t) { return common::win32::GetText(c(IdAccount)); }},
        {"users list", [&](const Bytes &t) { surface.addUser(t); },
         [&](std::size_t) {
             const int last = static_cast<int>(SendMessageW(c(IdUsers), LB_GETCOUNT, 0, 0)) - 1;
             return common::win32::ListBoxString(c(IdUsers), last);
         }},
        {"server list",
         [&](const Bytes &t) {
             surface.setServerRow(1, {t, t, t, t});
         },
         [&](std::size_t) { return common::win32::ListViewCell(list(), 0, ColAdministrator); }},
    };
    for (const auto &control : controls) {
        for (const Bytes &text : everyByteAndPair()) {
            SCOPED_TRACE(std::string(control.control) + ", " + std::to_string(text.size()));
            control.show(text);
            RedrawWindow(m_window->hwnd(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
            pump();
            const Bytes wanted = control.expected(text);
            const Bytes shown = control.shown(wanted.size());
            const auto differ =
                std::mismatch(shown.begin(), shown.end(), wanted.begin(), wanted.end());
            EXPECT_TRUE(shown == wanted)
                << "read back " << shown.size() << " bytes, first apart at "
                << (differ.first - shown.begin());
        }
    }
    // The bytes are shown as Windows-1252 text whatever the system's code page; the bytes the
    // code page leaves undefined keep their C1 code points.
    surface.setText(IdAccount, "\x80\x81\x98\xB4\xFF");
    wchar_t shown[8] = {};
    GetWindowTextW(c(IdAccount), shown, 8);
    EXPECT_EQ(std::wstring(shown), L"\x20AC\x0081\x02DC\x00B4\x00FF");
}

SCROLLINFO scrollInfo(HWND window)
{
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    GetScrollInfo(window, SB_VERT, &info);
    return info;
}

bool showsTheEnd(HWND window)
{
    const SCROLLINFO info = scrollInfo(window);
    return info.nPos + static_cast<int>(info.nPage) == info.nMax + 1;
}

Bytes clipboardText()
{
    Bytes text;
    if (!OpenClipboard(nullptr))
        return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = common::win32::Narrow(static_cast<const wchar_t *>(GlobalLock(data)));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

TEST_F(RegistryWindowTest, TheChatLogScrollsFollowsSelectsAndCopies)
{
    HWND log = c(IdChat);
    Bytes lines;
    for (int i = 0; i < 300; ++i)
        lines += "\r\nRen: line " + std::to_string(i) + " of a chat" + Bytes(20, ' ') +
                 "that goes on and on for a while, longer than a row of the log is wide, so that "
                 "the log wraps it into several rows";
    m_window->surface().appendChat(lines.substr(2));
    pump();
    EXPECT_TRUE(showsTheEnd(log));
    EXPECT_GT(scrollInfo(log).nMax + 1, 302); // long lines take more than one row

    // Scrolled up to read, the log stays where it is as lines come; at the end it follows.
    const struct
    {
        UINT message;
        WPARAM wParam;
        int rowsUp; // from the end; -1: the top
    } moves[] = {{WM_KEYDOWN, VK_PRIOR, int(scrollInfo(log).nPage)},
                 {WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 3},
                 {WM_KEYDOWN, VK_UP, 1},
                 {WM_VSCROLL, SB_LINEUP, 1},
                 {WM_KEYDOWN, VK_HOME, -1}};
    for (const auto &move : moves) {
        SCOPED_TRACE(move.message);
        SendMessageW(log, WM_KEYDOWN, VK_END, 0);
        const int end = scrollInfo(log).nPos;
        SendMessageW(log, move.message, move.wParam, 0);
        const int top = move.rowsUp < 0 ? 0 : end - move.rowsUp;
        EXPECT_EQ(scrollInfo(log).nPos, top);
        m_window->surface().appendChat("Ann: another");
        EXPECT_EQ(scrollInfo(log).nPos, top);
    }
    SendMessageW(log, WM_KEYDOWN, VK_NEXT, 0);
    SendMessageW(log, WM_VSCROLL, SB_BOTTOM, 0);
    m_window->surface().appendChat("Ann: at the end");
    EXPECT_TRUE(showsTheEnd(log));

    // A wider window: fewer rows, still at the end. A larger font: more rows.
    const int rows = scrollInfo(log).nMax + 1;
    RECT frame{};
    GetWindowRect(m_window->hwnd(), &frame);
    SetWindowPos(m_window->hwnd(), nullptr, 0, 0, frame.right - frame.left + 300,
                 frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_LT(scrollInfo(log).nMax + 1, rows);
    EXPECT_TRUE(showsTheEnd(log));
    const int wideRows = scrollInfo(log).nMax + 1;
    HFONT large =
        CreateFontW(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    HFONT before = reinterpret_cast<HFONT>(SendMessageW(log, WM_GETFONT, 0, 0));
    SendMessageW(log, WM_SETFONT, reinterpret_cast<WPARAM>(large), TRUE);
    EXPECT_GT(scrollInfo(log).nMax + 1, wideRows);
    EXPECT_TRUE(showsTheEnd(log));
    SendMessageW(log, WM_SETFONT, reinterpret_cast<WPARAM>(before), TRUE);
    DeleteObject(large);

    // Ctrl+A and Ctrl+C copy the whole log; a drag along the first row copies that row.
    SendMessageW(log, WM_CHAR, 1, 0);
    SendMessageW(log, WM_CHAR, 3, 0);
    EXPECT_EQ(clipboardText(), m_window->chatLogText());
    SendMessageW(log, WM_KEYDOWN, VK_HOME, 0);
    SendMessageW(log, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(0, 2));
    EXPECT_EQ(GetFocus(), log);
    SendMessageW(log, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10000, 2));
    SendMessageW(log, WM_LBUTTONUP, 0, MAKELPARAM(10000, 2));
    SendMessageW(log, WM_COPY, 0, 0);
    const Bytes row = clipboardText();
    EXPECT_GT(row.size(), 3u);
    EXPECT_EQ(m_window->chatLogText().substr(0, row.size()), row);
}

// The colour of a point of a window's client area as drawn now.
COLORREF drawnAt(HWND window, int x, int y)
{
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    HDC dc = GetDC(window);
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

bool light(COLORREF colour)
{
    return GetRValue(colour) + GetGValue(colour) + GetBValue(colour) > 3 * 128;
}

bool scrollBarShown(HWND window, LONG which)
{
    SCROLLBARINFO info{};
    info.cbSize = sizeof info;
    return GetScrollBarInfo(window, which, &info) &&
           !(info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN));
}

TEST_F(RegistryWindowTest, VersionWindowAndChatInputLookLikeTheRest)
{
    menu(IdMenuVersion);
    HWND version = m_window->versionWindow();
    ASSERT_NE(version, nullptr);
    // The margin left of the notes, and no horizontal scroll bar with nothing to scroll.
    EXPECT_TRUE(light(drawnAt(version, kVersionMarginLeft / 2, 40)));
    EXPECT_FALSE(scrollBarShown(GetDlgItem(version, 1), OBJID_HSCROLL));

    // The disabled chat input is greyed, not dark; enabled, it has no scroll bar.
    RECT box{};
    GetClientRect(c(IdSend), &box);
    EXPECT_TRUE(light(drawnAt(c(IdSend), box.right / 2, box.bottom / 2)));
    connect();
    logIn("Ostrik");
    EXPECT_TRUE(light(drawnAt(c(IdSend), box.right / 2, box.bottom / 2)));
    EXPECT_FALSE(scrollBarShown(c(IdSend), OBJID_VSCROLL));
}

TEST_F(RegistryWindowTest, TheWindowCannotShrinkBelowItsLayout)
{
    MINMAXINFO limits{};
    SendMessageA(m_window->hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    // Made as small as it goes (and smaller: 500 x 300 is held at the smallest size).
    SetWindowPos(m_window->hwnd(), nullptr, 0, 0, std::max(500, int(limits.ptMinTrackSize.x)),
                 std::max(300, int(limits.ptMinTrackSize.y)), SWP_NOMOVE | SWP_NOZORDER);
    pump();
    RECT client{};
    GetClientRect(m_window->hwnd(), &client);
    EXPECT_EQ(client.right, kMinClientWidth);
    EXPECT_EQ(client.bottom, kMinClientHeight);
    // Every control of the main area and the panels' place is whole inside the window.
    for (int id : {int(IdStatusArea), int(IdUsers), int(IdServerList), int(IdChat), int(IdSend),
                   buttonId(Button::Send), buttonId(Button::PlaySelectedServer), int(IdPanelBase),
                   int(IdFindCaption), int(IdServerFind), int(IdHideOffline)}) {
        RECT area{};
        GetWindowRect(c(id), &area);
        MapWindowPoints(nullptr, m_window->hwnd(), reinterpret_cast<POINT *>(&area), 2);
        RECT inside{};
        IntersectRect(&inside, &area, &client);
        EXPECT_TRUE(EqualRect(&inside, &area) && !IsRectEmpty(&area)) << id;
    }
}

// A key pressed and released on the focused control, through the program's message loop
// (dialog keys first); with Shift held down around it when asked.
void pressKey(HWND window, WPARAM key, bool shift = false)
{
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(static_cast<UINT>(key), 0)) << 16;
        MSG msg{};
        msg.hwnd = GetFocus();
        msg.message = message;
        msg.wParam = key;
        msg.lParam = 1 | scan | (message == WM_KEYUP ? static_cast<LPARAM>(0xC0000000) : 0);
        if (!IsDialogMessageW(window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MSG queued;
        while (PeekMessageW(&queued, nullptr, 0, 0, PM_REMOVE))
            if (!IsDialogMessageW(window, &queued)) {
                TranslateMessage(&queued);
                DispatchMessageW(&queued);
            }
    }
    state[VK_SHIFT] = 0;
    SetKeyboardState(state);
}

TEST_F(RegistryWindowTest, TheKeyboardReachesEveryControl)
{
    HWND window = m_window->hwnd();
    SetForegroundWindow(window);
    connect();
    logIn("Ostrik");
    m_main.deliver(inbound({1, 4, 1, 3}, Bytes("My Town") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    pump();
    // Tab goes through the controls in reading order and round; Shift+Tab goes back.
    SetFocus(c(IdUsers));
    const int order[] = {IdServerList, IdServerFind,           IdHideOffline, IdChat,
                         IdSend,       buttonId(Button::Send), IdUsers};
    for (int id : order) {
        pressKey(window, VK_TAB);
        EXPECT_EQ(GetDlgCtrlID(GetFocus()), id);
    }
    pressKey(window, VK_TAB, true);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), buttonId(Button::Send));

    // Space and Enter on a label-button act as its release does.
    for (WPARAM key : {WPARAM(VK_SPACE), WPARAM(VK_RETURN)}) {
        m_main.clearSent();
        type(c(IdSend), "hello");
        SetFocus(c(buttonId(Button::Send)));
        pressKey(window, key);
        ASSERT_EQ(sentBodies().size(), 1u) << key;
        EXPECT_EQ(sentBodies()[0], Bytes("\x05") + "hello");
        EXPECT_EQ(m_window->buttonColour(c(buttonId(Button::Send))), kButtonIdleColour);
    }

    // A row chosen with the arrow keys, then Enter: the game starts as on a double-click.
    SetFocus(list());
    pressKey(window, VK_DOWN);
    EXPECT_TRUE(IsWindowEnabled(c(buttonId(Button::PlaySelectedServer))));
    pressKey(window, VK_RETURN);
    ASSERT_EQ(m_shell.files.size(), 1u);
    EXPECT_EQ(m_shell.parameters[0], "127.0.0.9 2601 My+Town");

    // An opened panel puts the focus in its first empty box; Tab stays in reading order there.
    menu(IdMenuServerAddNew);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), IdNewServer);
    type(c(IdNewServer), "Town");
    menu(IdMenuServerAddNew);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), IdNewIP);
    pressKey(window, VK_TAB);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), buttonId(Button::UseMyAddress));
}

class RecordingNotifier final : public DesktopNotifier
{
public:
    std::vector<Bytes> notices;
    void notify(common::ByteView text) override { notices.emplace_back(text); }
};

Bytes serverEntry(const char *name, const char *admin)
{
    return Bytes(name) + '\0' + admin + '\0' + "127.0.0.9";
}

// A key on the server list with Ctrl or Shift held down, as the list's window gets it.
void listKey(HWND list, UINT message, WPARAM key, int modifier = 0)
{
    BYTE state[256] = {};
    GetKeyboardState(state);
    if (modifier)
        state[modifier] = 0x80;
    SetKeyboardState(state);
    SendMessageA(list, message, key, 1);
    if (modifier)
        state[modifier] = 0;
    SetKeyboardState(state);
}

class RegistryServerListWindowTest : public RegistryWindowTest
{
protected:
    void SetUp() override
    {
        RegistryWindowTest::SetUp();
        m_serverList->setNotifier(m_notifier);
        m_window->setMenuTracker([this](HMENU menu, POINT) {
            m_menu.clear();
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                wchar_t caption[128] = {};
                GetMenuStringW(menu, static_cast<UINT>(i), caption, 128, MF_BYPOSITION);
                const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
                m_menu.push_back(common::win32::Narrow(caption) +
                                 ((state & MF_GRAYED) ? " (greyed)" : "") +
                                 ((state & MF_CHECKED) ? " (ticked)" : ""));
            }
            return m_choose < 0 ? 0u : GetMenuItemID(menu, m_choose);
        });
        connect();
        m_main.deliver(inbound({1, 1, 1, 12}, serverEntry("Eastmarch", "Bjorn")));
        m_main.deliver(inbound({1, 2, 0, 0}, serverEntry("Old Mill", "Brannoc")));
        m_main.deliver(inbound({1, 3, 1, 5}, serverEntry("Westreach", "eastwood")));
        pump();
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (int row = 0; row < rowCount(); ++row)
            out.push_back(cell(row, ColName));
        return out;
    }
    // The menu of a right click on `row` (-1: below the rows), choosing its item `choose`.
    void rightClick(int row, int choose)
    {
        if (row >= 0)
            clickList(row); // a right click chooses the row as a left one does
        RECT bounds{LVIR_BOUNDS, 0, 0, 0};
        SendMessageA(list(), LVM_GETITEMRECT, static_cast<WPARAM>(std::max(row, 0)),
                     reinterpret_cast<LPARAM>(&bounds));
        POINT at{bounds.left + 40, row >= 0 ? (bounds.top + bounds.bottom) / 2 : 190};
        ClientToScreen(list(), &at);
        m_choose = choose;
        SendMessageA(list(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list()),
                     MAKELPARAM(at.x, at.y));
        pump();
    }
    Bytes listIni(const char *key) const
    {
        return common::ReadIniString(m_folder + "\\registry.ini", "Server List", key);
    }

    RecordingNotifier m_notifier;
    std::vector<std::string> m_menu;
    int m_choose = -1;
};

TEST_F(RegistryServerListWindowTest, TheFindBoxAndHideOfflineKeepRowsAndUnchooseAHiddenRow)
{
    HWND play = c(buttonId(Button::PlaySelectedServer));
    clickList(0); // Eastmarch
    ASSERT_TRUE(IsWindowEnabled(play));
    for (const testsupport::FindRowStep &c : testsupport::FindRowSteps()) {
        common::win32::SetText(this->c(IdServerFind), "");
        type(this->c(IdServerFind), c.typed);
        if (c.clickHide)
            SendMessageA(this->c(IdHideOffline), BM_CLICK, 0, 0);
        pump();
        EXPECT_EQ(names(), c.shown) << c.typed;
        EXPECT_EQ(IsWindowEnabled(play) != FALSE, c.playEnabled) << c.typed;
        EXPECT_EQ(text(IdServers), "3");
    }
    EXPECT_EQ(SendMessageA(c(IdHideOffline), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(RegistryServerListWindowTest, TheContextMenuAndItsKeysPinFavouritesAndTurnOnTheirWord)
{
    rightClick(2, 0); // Westreach: add it
    EXPECT_EQ(m_menu, (std::vector<std::string>{"&Add to Favourites\tCtrl+D",
                                                "&Tell Me When a Favourite Comes Online"}));
    EXPECT_EQ(names(), (std::vector<std::string>{"* Westreach", "Eastmarch", "Old Mill"}));
    EXPECT_EQ(listIni("Favourite 1 Name"), "Westreach");

    clickList(1); // Eastmarch
    SetFocus(list());
    listKey(list(), WM_KEYDOWN, 'D', VK_CONTROL);
    EXPECT_EQ(names(), (std::vector<std::string>{"* Eastmarch", "* Westreach", "Old Mill"}));
    m_choose = -1;
    for (const auto &[message, key, modifier] :
         {std::tuple{WM_KEYDOWN, VK_APPS, 0}, std::tuple{WM_SYSKEYDOWN, VK_F10, VK_SHIFT}}) {
        m_menu.clear();
        listKey(list(), static_cast<UINT>(message), static_cast<WPARAM>(key), modifier);
        ASSERT_EQ(m_menu.size(), 2u) << key;
        EXPECT_EQ(m_menu[0], "&Remove from Favourites\tCtrl+D");
    }
    rightClick(2, 1); // Old Mill: word when a favourite comes online
    EXPECT_EQ(listIni("Favourite Notices"), "1");

    m_clock.advance(ServerList::kListSettleMs);
    m_main.deliver(inbound({1, 1, 0, 0}, serverEntry("Eastmarch", "Bjorn")));
    m_main.deliver(inbound({1, 2, 1, 4}, serverEntry("Old Mill", "Brannoc")));
    EXPECT_TRUE(m_notifier.notices.empty());
    m_main.deliver(inbound({1, 1, 1, 12}, serverEntry("Eastmarch", "Bjorn")));
    EXPECT_EQ(m_notifier.notices, (std::vector<Bytes>{"Eastmarch is online (12 players)"}));

    rightClick(-1, -1); // below the rows: nothing to pin
    EXPECT_EQ(m_menu,
              (std::vector<std::string>{"&Add to Favourites\tCtrl+D (greyed)",
                                        "&Tell Me When a Favourite Comes Online (ticked)"}));
}

TEST_F(RegistryServerListWindowTest, TheServerLastPlayedIsChosenAgainAfterARestart)
{
    clickList(2); // Westreach
    click(c(buttonId(Button::PlaySelectedServer)));
    ASSERT_EQ(m_shell.files.size(), 1u);
    EXPECT_EQ(listIni("Last Server Name"), "Westreach");

    const Bytes ini = m_folder + "\\registry.ini";
    std::ifstream kept(ini, std::ios::binary);
    const std::string choices((std::istreambuf_iterator<char>(kept)), {});
    kept.close();
    TearDown(); // the program ends
    std::ofstream(ini, std::ios::binary) << choices;
    RegistryWindowTest::SetUp();
    connect();
    m_main.deliver(inbound({1, 5, 1, 0}, serverEntry("Eastmarch", "Bjorn")));
    m_main.deliver(inbound({1, 2, 1, 7}, serverEntry("Westreach", "eastwood")));
    pump();
    EXPECT_EQ(SendMessageA(list(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
    EXPECT_TRUE(IsWindowEnabled(c(buttonId(Button::PlaySelectedServer))));
    SetForegroundWindow(m_window->hwnd());
    SetFocus(list());
    pressKey(m_window->hwnd(), VK_RETURN);
    ASSERT_EQ(m_shell.files.size(), 2u);
    EXPECT_EQ(m_shell.parameters[1], "127.0.0.9 2601 Westreach");
}

TEST_F(RegistryWindowTest, ClosingExitAndLauncherMessages)
{
    menu(IdMenuServerRun);
    ASSERT_EQ(m_shell.files.size(), 1u);
    EXPECT_EQ(m_shell.files[0], "server.exe");
    // Play with no valid server chosen tells the user through the core's message.
    m_controller->buttonReleased(Button::PlaySelectedServer);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0], "Error: Invalid IP address!");

    SendMessageA(m_window->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(m_window->hwnd())); // the program ends it, after the quit
    EXPECT_EQ(m_quits, 0);                   // once the current message has been handled
    pump();
    EXPECT_EQ(m_quits, 1);
    EXPECT_TRUE(m_core->quitRequested());
    menu(IdMenuExit);
    EXPECT_EQ(m_quits, 1); // one quit, however asked
}

} // namespace

// The picture for the documentation:
//   REGISTRY_WINDOWS_SCREENSHOT=/path/docs/registry-windows.png xvfb-run -a wine64
//   registry_win32_tests.exe --gtest_filter=*Picture*
TEST_F(RegistryWindowTest, Picture)
{
    const char *path = std::getenv("REGISTRY_WINDOWS_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "set REGISTRY_WINDOWS_SCREENSHOT to a file name to take the picture";
    connect();
    logIn("Ostrik");
    m_main.deliver(inbound({1, 1, 1, 12}, Bytes("Eastmarch") + '\0' + "Mira" + '\0' + "127.0.0.1"));
    m_main.deliver(
        inbound({1, 2, 0, 0}, Bytes("Old Harbour") + '\0' + "Brannoc" + '\0' + "127.0.0.1"));
    m_main.deliver(inbound({1, 3, 1, 3}, Bytes("My Town") + '\0' + "Ostrik" + '\0' + "127.0.0.1"));
    m_main.deliver(inbound({6, 0}));
    for (const char *user : {"Mira", "Ostrik", "Ren"})
        m_main.deliver(inbound({6, 1, 0}, user));
    m_main.deliver(inbound({7}, "Mira: anyone for Eastmarch tonight?"));
    m_main.deliver(inbound({7}, "Ren: count me in"));
    clickList(0);
    menu(IdMenuCredits);
    pump();
    RedrawWindow(m_window->hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    ASSERT_TRUE(testsupport::CaptureWindowPng(m_window->hwnd(), path));
    std::ifstream written(path, std::ios::binary);
    char signature[8] = {};
    written.read(signature, 8);
    EXPECT_EQ(std::string(signature, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}

namespace {

// Where the timer that runs inside the open menu's loop writes the picture.
std::string g_menuPicturePath;
HWND g_menuPictureWindow = nullptr;
bool g_menuPictureTaken = false;

void CALLBACK takeMenuPicture(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    g_menuPictureTaken = testsupport::CaptureWindowPng(g_menuPictureWindow, g_menuPicturePath);
    EndMenu();
}

} // namespace

// The server list as a player arranges it, with its context menu open:
//   REGISTRY_WINDOWS_LIST_SCREENSHOT=/path/docs/registry-windows-server-list.png xvfb-run -a
//   wine registry_win32_tests.exe --gtest_filter=*ListPicture*
TEST_F(RegistryServerListWindowTest, ListPicture)
{
    const char *path = std::getenv("REGISTRY_WINDOWS_LIST_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "set REGISTRY_WINDOWS_LIST_SCREENSHOT to a file name to take the picture";
    logIn("Ostrik");
    m_main.deliver(inbound({1, 4, 1, 27}, serverEntry("My Town", "Zo\xEB")));
    m_main.deliver(inbound({1, 5, 1, 9}, serverEntry("Eastreach Outpost", "Talia")));
    rightClick(2, 0); // Westreach pinned
    // Players, most first: two clicks on its header.
    HWND header = reinterpret_cast<HWND>(SendMessageA(list(), LVM_GETHEADER, 0, 0));
    RECT place{};
    SendMessageA(header, HDM_GETITEMRECT, ColPlayers, reinterpret_cast<LPARAM>(&place));
    const LPARAM players =
        MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
    for (int click = 0; click < 2; ++click) {
        SendMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, players);
        SendMessageA(header, WM_LBUTTONUP, 0, players);
        pump();
    }
    SendMessageA(c(IdHideOffline), BM_CLICK, 0, 0);
    type(c(IdServerFind), "e");
    clickList(1);
    pump();
    g_menuPicturePath = path;
    g_menuPictureWindow = m_window->hwnd();
    m_window->setMenuTracker([this](HMENU menu, POINT at) {
        SetTimer(nullptr, 0, 500, takeMenuPicture);
        return static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y,
                                                0, m_window->hwnd(), nullptr));
    });
    SetForegroundWindow(m_window->hwnd());
    SetFocus(list());
    listKey(list(), WM_KEYDOWN, VK_APPS);
    ASSERT_TRUE(g_menuPictureTaken);
}

namespace {

// A player who turned times on at an earlier run.
class RegistryChatPictureTest : public RegistryWindowTest
{
protected:
    void SetUp() override
    {
        common::WriteIni(m_folder + "\\registry.ini", "Chat", "Show Times", "1");
        m_localClock.set(20, 57);
        RegistryWindowTest::SetUp();
    }
};

} // namespace

// The chat with times, the lines naming the player in their colour, and the log's context
// menu open with "Show Times" ticked:
//   REGISTRY_WINDOWS_CHAT_SCREENSHOT=/path/docs/registry-windows-chat.png xvfb-run -a
//   wine registry_win32_tests.exe --gtest_filter=*ChatPicture*
TEST_F(RegistryChatPictureTest, ChatPicture)
{
    const char *path = std::getenv("REGISTRY_WINDOWS_CHAT_SCREENSHOT");
    if (!path)
        GTEST_SKIP() << "set REGISTRY_WINDOWS_CHAT_SCREENSHOT to a file name to take the picture";
    connect();
    m_main.deliver(
        inbound({1, 1, 1, 12}, Bytes("Riverside Keep") + '\0' + "Ostrik" + '\0' + "127.0.0.9"));
    m_main.deliver(
        inbound({1, 2, 1, 3}, Bytes("Old Mill") + '\0' + "Brannoc" + '\0' + "127.0.0.8"));
    m_main.deliver(inbound({6, 0}));
    for (const char *user : {"Brannoc", "Ostrik", "Ren", "Talia"})
        m_main.deliver(inbound({6, 1, 0}, user));
    m_localClock.set(20, 58);
    logIn("Brannoc");
    for (const auto &line : testsupport::kPictureChatLines) {
        m_localClock.set(line.hour, line.minute);
        m_main.deliver(inbound({7}, line.line));
        m_view->flushChat();
    }
    type(c(IdSend), "Ostrik: got it");
    pump();
    HWND log = c(IdChat);
    RECT area{};
    GetClientRect(log, &area);
    POINT at{area.right - 150, area.bottom - 90};
    ClientToScreen(log, &at);
    g_menuPicturePath = path;
    g_menuPictureWindow = m_window->hwnd();
    g_menuPictureTaken = false;
    SetForegroundWindow(m_window->hwnd());
    SetTimer(nullptr, 0, 500, takeMenuPicture);
    SendMessageW(log, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(log), MAKELPARAM(at.x, at.y));
    pump();
    ASSERT_TRUE(g_menuPictureTaken);
}

namespace {

// A balloon shown by the desktop: its tooltip, in the desktop's process.
BOOL CALLBACK findBalloon(HWND window, LPARAM found)
{
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (IsWindowVisible(window) && process != GetCurrentProcessId() &&
        std::wstring(name) == L"tooltips_class32") {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

// The word that a favourite came online, as the desktop shows it. Needs a desktop with a
// notification area, such as wine's own:
//   REGISTRY_WINDOWS_BALLOON_SCREENSHOT=/path/docs/registry-windows-balloon.png xvfb-run -a
//   wine explorer /desktop=Talmora,1280x800 registry_win32_tests.exe
//   --gtest_filter=*BalloonPicture*
TEST_F(RegistryServerListWindowTest, BalloonPicture)
{
    const char *path = std::getenv("REGISTRY_WINDOWS_BALLOON_SCREENSHOT");
    if (!path)
        GTEST_SKIP()
            << "set REGISTRY_WINDOWS_BALLOON_SCREENSHOT to a file name to take the picture";
    registry::win32::DesktopNotice notice(m_window->hwnd());
    notice.notify("Eastmarch is online (12 players)");
    ASSERT_TRUE(notice.iconShown());
    HWND balloon = nullptr;
    // The desktop's process shows it in its own time: look on every turn of the loop.
    ASSERT_TRUE(testsupport::PumpUntil(
        [&] { return balloon != nullptr; }, 20000,
        [&] { EnumWindows(findBalloon, reinterpret_cast<LPARAM>(&balloon)); }))
        << "no balloon: run the test on a desktop with a notification area";
    UpdateWindow(balloon);
    ASSERT_TRUE(testsupport::CaptureWindowPng(GetDesktopWindow(), path));
}

// Word that a favourite came online: a balloon from the program's icon in the notification
// area, and the icon gone when the word's sender goes (the window's own goes with it).
TEST_F(RegistryWindowTest, WordOnTheDesktopComesFromAnIconThatGoesWithItsSender)
{
    NOTIFYICONDATAW probe{};
    probe.cbSize = sizeof(probe);
    probe.hWnd = m_window->hwnd();
    probe.uID = 1;
    {
        registry::win32::DesktopNotice notice(m_window->hwnd());
        notice.notify("Eastmarch is online (12 players)");
        ASSERT_TRUE(notice.iconShown());
        notice.notify("West is online (1 player)"); // the same icon again
        EXPECT_TRUE(notice.iconShown());
        EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &probe));
    }
    EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &probe)) << "the icon stayed behind";
}
