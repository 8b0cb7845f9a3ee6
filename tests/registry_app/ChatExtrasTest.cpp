// Times, mentions of the player's name, and the lines sent, as the chat offers them.
#include "registry/app/ChatExtras.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using registry::ChatHistory;
using registry::MentionsName;

TEST(ChatExtras, TimePrefixAndMentionsOfTheName)
{
    EXPECT_EQ(registry::ChatTimePrefix(14, 5), "[14:05] ");
    EXPECT_EQ(registry::ChatTimePrefix(0, 0), "[00:00] ");

    const struct
    {
        const char *line;
        const char *name;
        bool mentions;
    } cases[] = {
        {"bob: hi ann!", "Ann", true},
        {"bob: ANN, come", "ann", true},
        {"bob: hi anna", "ann", false},          // part of another name
        {"bob: joann is here", "ann", false},    // likewise
        {"bob: ann_2 joined", "ann", false},     // underscores belong to names
        {"bob: hej \xC9lise", "\xE9lise", true}, // 1252 letters without case
        {"bob: caf\xE9lise", "\xE9lise", false},
        {"You: ann, see?", "ann", false},    // the player's own echo
        {"ann: it's me, ann", "ann", false}, // the player's own line relayed
        {"bob: ann", "", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MentionsName(c.line, c.name), c.mentions) << c.line << " / " << c.name;
}

TEST(ChatExtras, UpAndDownStepThroughTheLastFiftyLinesSentAndKeepWhatIsTyped)
{
    ChatHistory history;
    EXPECT_FALSE(history.up("typing"));
    for (int i = 1; i <= 55; ++i)
        history.sent("line " + std::to_string(i));
    history.sent("line 55"); // again: kept once
    history.sent("");

    EXPECT_EQ(history.up("draft"), "line 55");
    EXPECT_EQ(history.up("line 55"), "line 54");
    EXPECT_EQ(history.down(), "line 55");
    EXPECT_EQ(history.down(), "draft");
    EXPECT_FALSE(history.down());

    std::string oldest;
    while (auto line = history.up(""))
        oldest = *line;
    EXPECT_EQ(oldest, "line 6") << "fifty lines are kept";
    history.sent("new");
    EXPECT_EQ(history.up(""), "new");
}

} // namespace
