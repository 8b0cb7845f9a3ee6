#pragma once

#include "registry/app/ServerList.h"

#include <optional>

namespace registry {

// What both front ends lay out alike.

// Typing limits of the boxes, in characters.
inline constexpr int kUserMaxLength = 15;
inline constexpr int kPassMaxLength = 15;
inline constexpr int kServerNameMaxLength = 40;
inline constexpr int kAddressMaxLength = 15;
inline constexpr int kPortMaxLength = 15;
inline constexpr int kSendMaxLength = 1400;

// Sizes at 96 DPI. The main window's inside at start, the column of the status area and the
// users online, the two label-buttons of the main area.
inline constexpr int kClientWidth = 1000;
inline constexpr int kClientHeight = 640;
inline constexpr int kLeftColumnWidth = 210;
inline constexpr int kPlayWidth = 180;
inline constexpr int kSendButtonWidth = 80;
inline constexpr int kSendHeight = 44;

// The place the five panels share.
inline constexpr int kPanelWidth = 320;
inline constexpr int kPanelHeight = 262;

// The main window's grid: margins at its edges, gaps between columns and between rows, the
// row of Play Selected Server, and the smallest server list.
inline constexpr int kWindowMargin = 8;
inline constexpr int kColumnGap = 8;
inline constexpr int kRowGap = 6;
inline constexpr int kPlayHeight = 22;
inline constexpr int kServerListMinWidth = 430;
// The find row left of Play Selected Server: the caption, the box at its narrowest (it takes
// what the row leaves), the "Hide offline" check box. They fit the smallest list's width.
inline constexpr int kFindCaptionWidth = 34;
inline constexpr int kFindMinWidth = 90;
inline constexpr int kHideOfflineWidth = 100;
static_assert(kFindCaptionWidth + kFindMinWidth + kHideOfflineWidth + kPlayWidth + 3 * kColumnGap <=
              kServerListMinWidth);
inline constexpr int kServerListMinHeight = 200;
// The smallest inside of the main window at which everything shows: the left column, the
// smallest server list and the panels side by side; the smallest list above the panels.
inline constexpr int kMinClientWidth =
    2 * kWindowMargin + kLeftColumnWidth + kServerListMinWidth + kPanelWidth + 2 * kColumnGap;
inline constexpr int kMinClientHeight =
    2 * kWindowMargin + 3 * kRowGap + kPlayHeight + kServerListMinHeight + kPanelHeight;

// The version window: at least this size, the release notes inside these margins (120 twips
// on the left, top and bottom and 135 on the right, at 15 twips per pixel).
inline constexpr int kVersionWidth = 480;
inline constexpr int kVersionHeight = 360;
inline constexpr int kVersionMarginLeft = 8;
inline constexpr int kVersionMarginTop = 8;
inline constexpr int kVersionMarginBottom = 8;
inline constexpr int kVersionMarginRight = 9;

// Columns of the server list: the hidden index column first.
enum Column
{
    ColIndex = 0,
    ColStatus,
    ColName,
    ColPlayers,
    ColAdministrator,
    ColCount
};

// The list's column that shows `column`, and the reverse (nothing for the hidden index).
inline int ColumnOf(ServerColumn column)
{
    return ColStatus + static_cast<int>(column);
}
inline std::optional<ServerColumn> ServerColumnAt(int column)
{
    if (column < ColStatus || column >= ColCount)
        return std::nullopt;
    return static_cast<ServerColumn>(column - ColStatus);
}

struct ColumnInfo
{
    const char *key;
    const char *caption;
    const char *toolTip;
    double share; // of the list's width
};

inline constexpr ColumnInfo kColumns[ColCount] = {
    {"SERVERINDEX", "ServerIndex", "The index of the server", 0.0},
    {"STATUS", "Status", "Indicates the server's online status", 0.12},
    {"NAME", "Server Name", "The server's name", 0.5},
    {"PLAYERS", "Players", "The number of players online", 0.13},
    {"ADMINISTRATOR", "Administrator", "The server Administrator's name", 0.242},
};

} // namespace registry
