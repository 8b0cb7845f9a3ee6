#include "registry/app/WindowDescription.h"

#include "registry/net/RegistryClient.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace registry {

namespace {

constexpr std::pair<int, const char *> kControlNames[] = {
    {IdRegistry, "lblRegistry"},
    {IdServers, "lblServers"},
    {IdStatus, "lblStatus"},
    {IdAccount, "lblAccount"},
    {IdServerList, "lstViewServers"},
    {IdUsers, "lstUsers"},
    {IdChat, "txtChat"},
    {IdSend, "txtSend"},
    {IdStatusArea, "picServerStatus"},
    {IdUsersCaption, "lblUsers"},
    {IdUser0, "txtUser0"},
    {IdUser1, "txtUser1"},
    {IdPass0, "txtPass0"},
    {IdPass1, "txtPass1"},
    {IdPass2, "txtPass2"},
    {IdRetype, "lblRetype"},
    {IdNotify, "lblNotify"},
    {IdAutoLogin, "chkAutoLogin"},
    {IdRegVer, "lblRegVer0"},
    {IdServerName, "txtServerName"},
    {IdServerIP, "txtServerIP"},
    {IdServerPort, "txtServerPort"},
    {IdNewServer, "txtNewServer"},
    {IdNewIP, "txtNewIP"},
    {IdNewPort, "txtNewPort"},
    {IdFindCaption, "lblFind"},
    {IdServerFind, "txtFind"},
    {IdHideOffline, "chkHideOffline"},
};

constexpr std::pair<int, AccountBox> kAccountBoxes[] = {
    {IdUser0, AccountBox::NewAccountUser}, {IdPass0, AccountBox::NewAccountPassword},
    {IdPass2, AccountBox::Retyped},        {IdUser1, AccountBox::LoginUser},
    {IdPass1, AccountBox::LoginPassword},
};

} // namespace

std::string ControlName(int control)
{
    for (const LabelButtonInfo &button : kLabelButtons)
        if (control == ButtonControl(button.button))
            return "lblButton" + std::to_string(static_cast<int>(button.button));
    for (int panel = 0; panel < kPanelCount; ++panel) {
        if (control == IdPanelBase + panel)
            return "picBox" + std::to_string(panel);
        if (control == IdCloseBase + panel)
            return "lblClose" + std::to_string(panel);
    }
    const auto *named =
        std::find_if(std::begin(kControlNames), std::end(kControlNames),
                     [control](const auto &entry) { return entry.first == control; });
    return named == std::end(kControlNames) ? std::string() : named->second;
}

std::optional<AccountBox> AccountBoxOf(int control)
{
    for (const auto &[id, box] : kAccountBoxes)
        if (id == control)
            return box;
    return std::nullopt;
}

std::vector<common::Bytes> WithAccessLetters(std::span<const char *const> captions)
{
    std::string taken;
    std::vector<common::Bytes> marked;
    for (const char *caption : captions) {
        common::Bytes text;
        bool chosen = false;
        for (const char *c = caption; *c; ++c) {
            const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
            if (!chosen && std::isalpha(static_cast<unsigned char>(*c)) &&
                taken.find(lower) == std::string::npos) {
                taken.push_back(lower);
                text.push_back('&');
                chosen = true;
            }
            text.append(*c == '&' ? 2 : 1, *c);
        }
        marked.push_back(std::move(text));
    }
    return marked;
}

std::vector<common::Bytes> MarkedMenuTitles()
{
    std::vector<const char *> titles;
    for (const MenuInfo &menu : kMenus)
        titles.push_back(menu.title);
    return WithAccessLetters(titles);
}

std::vector<common::Bytes> MarkedMenuCaptions(const MenuInfo &menu)
{
    std::vector<const char *> captions;
    for (const MenuEntry &entry : menu.entries)
        captions.push_back(entry.caption);
    return WithAccessLetters(captions);
}

std::vector<ServerMenuEntry> ServerMenuEntries(std::optional<bool> rowIsFavourite, bool noticesOn)
{
    const char *favourite =
        rowIsFavourite.value_or(false) ? kRemoveFavouriteCaption : kAddFavouriteCaption;
    const char *const captions[] = {favourite, kFavouriteNoticesCaption};
    const std::vector<common::Bytes> marked = WithAccessLetters(captions);
    return {
        {ServerMenuItem::Favourite, marked[0] + "\t" + kFavouriteKeyText,
         rowIsFavourite.has_value(), false, false},
        {ServerMenuItem::FavouriteNotices, marked[1], true, true, noticesOn},
    };
}

std::optional<int> FirstEmptyBox(Panel panel, const std::function<common::Bytes(int)> &textOf)
{
    for (const FormItem &item : kPanels[static_cast<int>(panel)].form)
        if (item.kind == FormItemKind::Field && textOf(item.control).empty())
            return item.control;
    return std::nullopt;
}

const LabelButtonInfo &LabelButtonOf(Button button)
{
    return *std::find_if(std::begin(kLabelButtons), std::end(kLabelButtons),
                         [button](const LabelButtonInfo &info) { return info.button == button; });
}

common::Bytes RegistryVersionLine()
{
    return common::Bytes("Registry Version: ") + kVersionText;
}

common::Bytes VersionWindowTitle()
{
    return common::Bytes(kProgramTitle) + " (Version " + kVersionText + ")";
}

} // namespace registry
