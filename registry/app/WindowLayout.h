#pragma once

namespace registry {

// What both windows lay out alike.

// Typing limits of the boxes, in characters.
inline constexpr int kUserMaxLength = 15;
inline constexpr int kPassMaxLength = 15;
inline constexpr int kServerNameMaxLength = 40;
inline constexpr int kAddressMaxLength = 15;
inline constexpr int kPortMaxLength = 15;
inline constexpr int kSendMaxLength = 1400;

// The place the five panels share.
inline constexpr int kPanelWidth = 320;
inline constexpr int kPanelHeight = 262;

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
