#pragma once

#include "common/Bytes.h"
#include "common/Colour.h"
#include "registry/app/WindowLayout.h"
#include "registry/net/RegistryView.h"

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace registry {

// The Registry's main window described once, for both front ends to render: its controls and
// their first texts and states, the five panels' forms, the menus, the credits and the colours.
// Where a control goes is each front end's own choice, beside the sizes in WindowLayout.h.

// The controls the application layer names, by the number each front end knows them by. A
// label-button is IdButtonBase plus its number, a panel IdPanelBase plus the panel's number
// and the panel's "Close" IdCloseBase plus the same.
enum ControlId : int
{
    IdRegistry = 100,
    IdServers,
    IdStatus,
    IdAccount,
    IdServerList,
    IdUsers,
    IdChat,
    IdSend,
    IdStatusArea,
    IdUsersCaption,
    IdButtonBase = 200,
    IdCloseBase = 300,
    IdPanelBase = 400,
    IdUser0 = 500,
    IdUser1,
    IdPass0,
    IdPass1,
    IdPass2,
    IdRetype,
    IdNotify,
    IdAutoLogin,
    IdRegVer,
    IdServerName,
    IdServerIP,
    IdServerPort,
    IdNewServer,
    IdNewIP,
    IdNewPort,
    // The server list's find row, beside "Play Selected Server".
    IdFindCaption = 700,
    IdServerFind,
    IdHideOffline,
};

constexpr int ButtonControl(Button button)
{
    return IdButtonBase + static_cast<int>(button);
}
constexpr int PanelControl(Panel panel)
{
    return IdPanelBase + static_cast<int>(panel);
}
constexpr int CloseControl(Panel panel)
{
    return IdCloseBase + static_cast<int>(panel);
}

// The control's name ("lblRegistry", "txtUser0", "lblButton7", "picBox2", ...); empty for a
// number that names no control.
std::string ControlName(int control);

// The account boxes by their controls; none for another control.
std::optional<AccountBox> AccountBoxOf(int control);

// The menu items, by the number of their command.
enum class MenuItem : int
{
    CreateNewAccount = 600,
    LogIn,
    LogOut,
    Exit = 610,
    ServerRun,
    ServerSettings,
    ServerAddNew,
    Credits,
    Version,
};

constexpr MenuItem AccountMenuItem(AccountMenu item)
{
    return static_cast<MenuItem>(static_cast<int>(MenuItem::CreateNewAccount) +
                                 static_cast<int>(item));
}

struct MenuEntry
{
    MenuItem item;
    const char *caption;
    const char *name;
    bool startsEnabled;
    bool separatorBefore = false;
};

struct MenuInfo
{
    const char *title;
    std::span<const MenuEntry> entries;
};

inline constexpr MenuEntry kRegistryMenu[] = {
    {MenuItem::CreateNewAccount, "Create New Account", "mnuAccount0", false},
    {MenuItem::LogIn, "Log In", "mnuAccount1", false},
    {MenuItem::LogOut, "Log Out", "mnuAccount2", false},
    {MenuItem::Exit, "Exit", "mnuExit", true, true},
};
inline constexpr MenuEntry kServerMenu[] = {
    {MenuItem::ServerRun, "Run", "mnuServerRun", true},
    {MenuItem::ServerSettings, "Settings", "mnuServerSettings", false},
    {MenuItem::ServerAddNew, "Add New", "mnuServerAddNew", false},
};
inline constexpr MenuEntry kAboutMenu[] = {
    {MenuItem::Credits, "Registry Credits", "mnuCredits", true},
    {MenuItem::Version, "Version", "mnuVersion", true},
};
inline constexpr MenuInfo kMenus[] = {
    {"Registry", kRegistryMenu},
    {"Server", kServerMenu},
    {"About", kAboutMenu},
};

// The captions of a menu bar or of one menu, each with its access letter marked by a "&" before
// it (a "&" of the caption itself doubled), as both toolkits show menus: the first letter of
// the caption that no earlier caption of the same list has taken, whatever its case; none
// when all are taken. The captions' text is otherwise unchanged.
std::vector<common::Bytes> WithAccessLetters(std::span<const char *const> captions);
// The menu bar's titles, and one menu's item captions, with their access letters.
std::vector<common::Bytes> MarkedMenuTitles();
std::vector<common::Bytes> MarkedMenuCaptions(const MenuInfo &menu);

// The server list's context menu (a right click on the list, the menu key or Shift+F10): the
// row's server added to the favourites or taken out of them, and word when a favourite comes
// online, a check item. The favourite item also has a key of its own in the list.
enum class ServerMenuItem : int
{
    Favourite = 720,
    FavouriteNotices,
};

struct ServerMenuEntry
{
    ServerMenuItem item;
    common::Bytes caption; // with its access letter marked, and the key after a tab
    bool enabled;
    bool checkable;
    bool checked;
};

inline constexpr const char *kAddFavouriteCaption = "Add to Favourites";
inline constexpr const char *kRemoveFavouriteCaption = "Remove from Favourites";
inline constexpr const char *kFavouriteNoticesCaption = "Tell Me When a Favourite Comes Online";
inline constexpr const char *kFavouriteKeyText = "Ctrl+D";

// The menu for a row that is a favourite or not, or for no row (the favourite item greyed).
std::vector<ServerMenuEntry> ServerMenuEntries(std::optional<bool> rowIsFavourite, bool noticesOn);

// The find row: its caption, and the check box that hides offline servers.
inline constexpr const char *kFindCaption = "Find:";
inline constexpr const char *kHideOfflineCaption = "Hide offline";
// Before the name of a favourite in the list, the same in both windows.
inline constexpr const char *kFavouriteMark = "* ";

// The chat log's context menu item that puts the time before each line arriving.
inline constexpr const char *kShowTimesCaption = "Show &Times";

// Colours.
inline constexpr common::Rgb kWindowColour{0x4B5161};
inline constexpr common::Rgb kPanelColour{0x3A3F4C}; // the status area and the panels
inline constexpr common::Rgb kCaptionColour{0xE6E2DA};
inline constexpr common::Rgb kOnlineColour{0x00FF00};
inline constexpr common::Rgb kOfflineColour{0xFF0000};
// A chat line from someone else that mentions the player.
inline constexpr common::Rgb kMentionColour{0xB22222};
inline constexpr common::Rgb kButtonIdleColour{0x1E242F};
inline constexpr common::Rgb kButtonPressedColour{0x4B5161}; // the window's colour
inline constexpr common::Rgb kButtonTextColour{0xC2AD9A};

// The label-buttons: caption and whether each starts enabled. Every panel's "Close" is one more.
struct LabelButtonInfo
{
    Button button;
    const char *caption;
    bool startsEnabled;
};

inline constexpr LabelButtonInfo kLabelButtons[] = {
    {Button::PlaySelectedServer, "Play Selected Server", false},
    {Button::CreateAccount, "Create Account", false},
    {Button::Login, "Login", false},
    {Button::RemoveServer, "Remove Server", true},
    {Button::Send, "Send", false},
    {Button::SaveServerSettings, "Save Server Settings", true},
    {Button::AddServer, "Add Server", false},
    {Button::UseMyAddress, "Use my IP", true},
};
inline constexpr const char *kCloseCaption = "Close";

const LabelButtonInfo &LabelButtonOf(Button button);

// The status area: a caption beside each value, the registry's state in bold and in
// kOfflineColour at start.
struct StatusRow
{
    const char *caption;
    int control;
    const char *startText;
};

inline constexpr StatusRow kStatusRows[] = {
    {"Registry:", IdRegistry, "Offline"},
    {"Servers:", IdServers, "N/A"},
    {"Status:", IdStatus, "Connecting..."},
    {"Account:", IdAccount, "Logged Off"},
};

inline constexpr const char *kUsersCaption = "Users Online:";

// What a panel's form holds, top to bottom.
enum class FormItemKind
{
    Field,    // a caption, then the box beside it
    Note,     // a text across the form
    CheckBox, // a check box across the form
    Button,   // a label-button across the form
};

struct FormItem
{
    FormItemKind kind;
    int control;                // the box, note, check box or label-button
    const char *text = nullptr; // the field's caption, the note's or the check box's text
    int limit = 0;              // a box's typing limit
    bool password = false;      // a box that shows every character as "*"
    bool startsEnabled = true;  // the box together with its caption
    int captionControl = 0;     // the field's caption, when the application layer names it
    int besideControl = 0;      // a label-button beside the box
};

inline constexpr FormItem kNewAccountForm[] = {
    {.kind = FormItemKind::Field, .control = IdUser0, .text = "Username:", .limit = kUserMaxLength},
    {.kind = FormItemKind::Field,
     .control = IdPass0,
     .text = "Password:",
     .limit = kPassMaxLength,
     .password = true},
    {.kind = FormItemKind::Field,
     .control = IdPass2,
     .text = "Re-type Password:",
     .limit = kPassMaxLength,
     .password = true,
     .startsEnabled = false,
     .captionControl = IdRetype},
    {.kind = FormItemKind::Note,
     .control = IdNotify,
     .text = "Note: Your username is case sensitive and will be displayed to other users as your "
             "server administrators name on the servers list and also on the users list."},
    {.kind = FormItemKind::Button, .control = ButtonControl(Button::CreateAccount)},
};

inline constexpr FormItem kLoginForm[] = {
    {.kind = FormItemKind::Field, .control = IdUser1, .text = "Username:", .limit = kUserMaxLength},
    {.kind = FormItemKind::Field,
     .control = IdPass1,
     .text = "Password:",
     .limit = kPassMaxLength,
     .password = true},
    {.kind = FormItemKind::CheckBox, .control = IdAutoLogin, .text = "Automatically Login"},
    {.kind = FormItemKind::Button, .control = ButtonControl(Button::Login)},
};

// Changing or removing a registered server has no request in the protocol: these boxes are
// never read and the buttons only show that they were pressed.
inline constexpr FormItem kServerSettingsForm[] = {
    {.kind = FormItemKind::Field,
     .control = IdServerName,
     .text = "Server Name:",
     .limit = kServerNameMaxLength},
    {.kind = FormItemKind::Field,
     .control = IdServerIP,
     .text = "IP Address:",
     .limit = kAddressMaxLength},
    {.kind = FormItemKind::Field,
     .control = IdServerPort,
     .text = "Port:",
     .limit = kPortMaxLength},
    {.kind = FormItemKind::Button, .control = ButtonControl(Button::SaveServerSettings)},
    {.kind = FormItemKind::Button, .control = ButtonControl(Button::RemoveServer)},
};

inline constexpr FormItem kAddServerForm[] = {
    {.kind = FormItemKind::Field,
     .control = IdNewServer,
     .text = "Server Name:",
     .limit = kServerNameMaxLength},
    {.kind = FormItemKind::Field,
     .control = IdNewIP,
     .text = "IP Address:",
     .limit = kAddressMaxLength,
     .besideControl = ButtonControl(Button::UseMyAddress)},
    {.kind = FormItemKind::Field, .control = IdNewPort, .text = "Port:", .limit = kPortMaxLength},
    {.kind = FormItemKind::Button, .control = ButtonControl(Button::AddServer)},
};

// The credits panel: headings and lines, then the version line at the bottom. `height` is
// the room a line takes when placed by hand, at 96 DPI.
struct CreditLine
{
    const char *text;
    bool heading;
    int height;
};

inline constexpr CreditLine kCredits[] = {
    {"Programming", true, 16},
    {"The Talmora Online player-side team", false, 16},
    {"Special Thanks To", true, 16},
    {"Every player who runs a server for the community", false, 30},
    {"(For all your hard work and dedication)", false, 16},
    {"The Registry began as a simple list of player-run servers, so that players could find a "
     "world to join and talk to each other before they play.",
     false, 72},
};
// The version line's text until the window has loaded.
inline constexpr const char *kRegVerDesignText = "Registry Version: R0.0";

struct PanelInfo
{
    Panel panel;
    const char *title;
    std::span<const FormItem> form; // empty for the credits
};

inline constexpr PanelInfo kPanels[kPanelCount] = {
    {Panel::NewAccount, "New Account", kNewAccountForm},
    {Panel::AccountLogin, "Account Login", kLoginForm},
    {Panel::ServerSettings, "Server Settings", kServerSettingsForm},
    {Panel::Credits, "Registry Credits", {}},
    {Panel::AddServer, "Add New Server", kAddServerForm},
};

// The box of a panel that takes the focus when the panel opens: the first box of its form, in
// reading order (the order of the form, which is also the order Tab follows), whose text is
// empty; none when every box holds text or the panel has no box.
std::optional<int> FirstEmptyBox(Panel panel, const std::function<common::Bytes(int)> &textOf);

// Texts the window shows once it has loaded, and the version window's caption.
inline constexpr const char *kWelcomeLine = "Welcome to The Talmora Online Registry!";
common::Bytes RegistryVersionLine();
common::Bytes VersionWindowTitle();

} // namespace registry
