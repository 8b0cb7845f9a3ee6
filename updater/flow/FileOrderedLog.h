#pragma once

#include "common/Bytes.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <utility>

namespace updater {

// The run's log lines in the order of the files. A file's outcome is logged when the writer
// reports it, after the next files were already requested and received; a line that comes
// up meanwhile ("Update Complete", a lost connection) is held back until the outcomes of the
// files handed over before it are logged, so it reads after them.
class FileOrderedLog
{
public:
    using Show = std::function<void(const common::Bytes &text)>;
    explicit FileOrderedLog(Show show) : m_show(std::move(show)) {}

    // Shows `text` now, or once the files handed over so far are reported.
    void line(const common::Bytes &text);
    // A file went to the writer; its outcome is shown directly, followed by fileReported().
    void fileHanded() { ++m_handed; }
    // The oldest file with the writer is reported: the lines that waited for it follow.
    void fileReported();
    // A file handed over will never be reported (dropped at the hand-over): the lines that
    // waited for it follow the files still with the writer.
    void fileDropped();

private:
    void release();

    Show m_show;
    std::int64_t m_handed = 0;
    std::int64_t m_reported = 0;
    // Each held line with the number of files handed over before it.
    std::deque<std::pair<std::int64_t, common::Bytes>> m_held;
};

} // namespace updater
