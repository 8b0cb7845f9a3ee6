#include "registry/app/ServerListSettings.h"

#include "common/IniStore.h"
#include "registry/support/Settings.h"

#include <string>

namespace registry {

namespace {

constexpr int kMostFavourites = 200;

Bytes favouriteKey(int number, const char *field)
{
    return "Favourite " + std::to_string(number) + " " + field;
}

bool storable(ByteView value)
{
    return value.find_first_of(Bytes("\r\n\0", 3)) == ByteView::npos;
}

} // namespace

ServerListChoices ReadServerListChoices(ByteView iniPath)
{
    ServerListChoices choices;
    const auto number = [&](const char *key, std::int32_t fallback) {
        return common::ReadIniNumber(iniPath, kServerListSection, key, fallback);
    };
    const std::int32_t column = number("Sort Column", 1);
    const std::int32_t order = number("Sort Order", 0);
    if (column >= 0 && column <= 3 && order >= 0 && order <= 2) {
        choices.column = static_cast<ServerColumn>(column);
        choices.order = static_cast<SortOrder>(order);
    }
    const std::int32_t count = number("Favourites", 0);
    for (int n = 1; n <= count && n <= kMostFavourites; ++n) {
        ServerKey key{
            common::ReadIniString(iniPath, kServerListSection, favouriteKey(n, "Name")),
            common::ReadIniString(iniPath, kServerListSection, favouriteKey(n, "Administrator"))};
        if (!key.name.empty())
            choices.favourites.insert(std::move(key));
    }
    choices.favouriteNotices = number("Favourite Notices", 0) == 1;
    choices.hideOffline = number("Hide Offline", 0) == 1;
    ServerKey last{common::ReadIniString(iniPath, kServerListSection, "Last Server Name"),
                   common::ReadIniString(iniPath, kServerListSection, "Last Server Administrator")};
    if (!last.name.empty())
        choices.lastPlayed = std::move(last);
    return choices;
}

bool WriteServerListChoices(ByteView iniPath, const ServerListChoices &choices)
{
    const auto write = [&](const Bytes &key, ByteView value) {
        return common::WriteIni(iniPath, kServerListSection, key, value);
    };
    bool written = write("Sort Column", std::to_string(static_cast<int>(choices.column))) &&
                   write("Sort Order", std::to_string(static_cast<int>(choices.order))) &&
                   write("Favourite Notices", choices.favouriteNotices ? "1" : "0") &&
                   write("Hide Offline", choices.hideOffline ? "1" : "0");
    if (written && choices.lastPlayed && storable(choices.lastPlayed->name) &&
        storable(choices.lastPlayed->administrator))
        written =
            write("Last Server Name", IniValueFor(choices.lastPlayed->name)) &&
            write("Last Server Administrator", IniValueFor(choices.lastPlayed->administrator));
    int n = 0;
    for (const ServerKey &key : choices.favourites) {
        if (!written || n == kMostFavourites)
            break;
        if (!storable(key.name) || !storable(key.administrator))
            continue;
        ++n;
        written = write(favouriteKey(n, "Name"), IniValueFor(key.name)) &&
                  write(favouriteKey(n, "Administrator"), IniValueFor(key.administrator));
    }
    // The count goes last, so a write that stopped half-way counts no entry it did not write.
    return written && write("Favourites", std::to_string(n));
}

} // namespace registry
