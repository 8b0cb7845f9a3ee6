#pragma once

#include "common/Bytes.h"

#include <functional>

namespace registry {

using common::Bytes;
using common::ByteView;

inline constexpr const char *kChatSection = "Chat";

// The local time of day, for the time a chat line arrived.
struct TimeOfDay
{
    int hour = 0;
    int minute = 0;
};

class LocalClock
{
public:
    virtual ~LocalClock() = default;
    virtual TimeOfDay now() const = 0;
};

// The computer's local time.
class SystemLocalClock final : public LocalClock
{
public:
    TimeOfDay now() const override;
};

// A local clock that shows what it is told; for tests.
class ManualLocalClock final : public LocalClock
{
public:
    TimeOfDay now() const override { return m_now; }
    void set(int hour, int minute) { m_now = {hour, minute}; }

private:
    TimeOfDay m_now;
};

// How each chat line is shown as it arrives: with the local time before it when the player
// asked for times ("Show Times" in registry.ini's "Chat" section, 1 or 0, off when missing),
// and marked when it is from someone else and mentions the logged-in name. Turning times on
// or off changes only the lines that arrive from then on.
class ChatLineShowing
{
public:
    // The logged-in name, empty while no one is logged in.
    using PlayerName = std::function<Bytes()>;

    ChatLineShowing(const LocalClock &clock, Bytes iniPath);

    void setPlayerName(PlayerName name) { m_playerName = std::move(name); }
    bool showsTimes() const { return m_showTimes; }
    // Kept in registry.ini; false when it could not be written (the choice holds for this run).
    bool setShowsTimes(bool show);

    struct Shown
    {
        Bytes text;
        bool marked = false;
    };
    Shown show(ByteView line) const;

private:
    const LocalClock &m_clock;
    Bytes m_iniPath;
    bool m_showTimes = false;
    PlayerName m_playerName;
};

} // namespace registry
