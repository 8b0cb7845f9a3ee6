#pragma once

// The chat both front ends' pictures show: the local time each line arrives at, and the line.
// Brannoc is logged in; two lines name him and one is his own.
namespace testsupport {

struct TimedChatLine
{
    int hour;
    int minute;
    const char *line;
};

inline constexpr TimedChatLine kPictureChatLines[] = {
    {21, 2, "Ostrik: Riverside Keep is back up after the patch."},
    {21, 3, "Ren: brannoc, are you coming to the arena?"},
    {21, 3, "Brannoc: on my way"},
    {21, 5, "Talia: the arena is full, try the Old Mill"},
    {21, 6, "Ostrik: Brannoc: bring the map"},
};

} // namespace testsupport
