#pragma once

#include "common/Bytes.h"

#include <deque>
#include <optional>

namespace registry {

using common::Bytes;
using common::ByteView;

// "[14:05] ": the local time a chat line arrived, as the log shows it when the player asks.
Bytes ChatTimePrefix(int hour, int minute);

// Whether a chat line from someone else mentions `name`: the name as a whole word (not part
// of a longer one), letters compared without case. The player's own lines ("You: ...", and
// "name: ..." as the server relays them) and notices of no one are not.
bool MentionsName(ByteView line, ByteView name);

// The lines the player sent, for Up and Down in the chat input: the last 50, newest last (a
// line sent again right after itself is kept once).
// Stepping up from what is being typed keeps it, and stepping down past the newest line
// gives it back.
class ChatHistory
{
public:
    static constexpr std::size_t kLines = 50;

    void sent(ByteView line);
    // The line one older than the one shown, or nothing when there is none. `typed`: the
    // input's text, kept when the stepping starts from it.
    std::optional<Bytes> up(ByteView typed);
    // The line one newer, the kept text after the newest, or nothing when not stepping.
    std::optional<Bytes> down();

private:
    std::deque<Bytes> m_lines;
    std::size_t m_position = 0; // m_lines.size(): not stepping
    Bytes m_typed;
};

} // namespace registry
