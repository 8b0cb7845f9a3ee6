#pragma once

#include "common/Bytes.h"

#include <functional>
#include <memory>
#include <vector>

namespace registry {

// Chat lines that arrive together go into the log together: the first line of a pass of the
// event loop posts a flush, the lines after it join it, and the flush hands them all to the
// log in one insertion with one scroll, however many lines a burst carries: one insertion for
// each run of marked or unmarked lines. Line breaks inside a line become CR LF, and lines are
// joined by CR LF.
class ChatGathering
{
public:
    // Runs its work from the event loop later; false when it could not be queued.
    using Post = std::function<bool(std::function<void()>)>;
    using Insert = std::function<void(common::ByteView lines, bool marked)>;

    ChatGathering(Post post, Insert insert);

    // An empty line adds nothing. A marked line is shown in the mention colour.
    void append(common::ByteView line, bool marked = false);
    // Hands the lines gathered so far to the log now.
    void flush();

private:
    Post m_post;
    Insert m_insert;
    struct Run
    {
        common::Bytes lines;
        bool marked = false;
    };
    // The runs gathered, the last one still growing.
    std::vector<Run> m_pending;
    bool m_flushPosted = false;
    // Work still queued when this goes finds it gone and does nothing.
    std::shared_ptr<ChatGathering *> m_self;
};

} // namespace registry
