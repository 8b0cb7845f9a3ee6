#pragma once

#include "common/Bytes.h"

#include <functional>
#include <string>

namespace common {

// The steps of an atomic file write, for tests that make one of them fail.
enum class AtomicStep
{
    CreateTemporary, // the temporary file beside the target
    Write,           // writing the content to it
    Flush,           // pushing it to the disk and closing it
    Rename,          // replacing the target with it
};

// Returns false to make that step fail.
using AtomicStepHook = std::function<bool(AtomicStep step)>;

enum class AtomicWriteResult
{
    Written,
    CreateFailed, // no temporary file could be made beside the target
    WriteFailed,  // writing, flushing or closing it failed
    RenameFailed, // it could not replace the target
};

// Writes `data` to a new temporary file beside `localTarget`, pushes it to the disk and
// renames it over the target, so the target holds either its old content or all of the new
// one, also when the system stops in between. Nothing is left behind on failure. A file being
// replaced keeps its permissions (an executable stays executable) but never its set-user-ID or
// set-group-ID bit; a read-only one is replaced as well and stays read-only. The folder must
// exist.
AtomicWriteResult WriteFileAtomically(const std::string &localTarget, ByteView data,
                                      const AtomicStepHook &allowed = {});

} // namespace common
