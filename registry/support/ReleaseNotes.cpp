#include "registry/support/ReleaseNotes.h"

#include "common/Platform.h"

#include <fstream>
#include <iterator>

namespace registry {

common::Bytes ReleaseNotesPath(const common::Bytes &programFolder)
{
    return programFolder + "\\" + TALMORA_REGISTRY_VERSION ".txt";
}

common::Bytes ReadReleaseNotes(const common::Bytes &programFolder)
{
    const common::Bytes path = ReleaseNotesPath(programFolder);
    if (!common::FileExists(path))
        return {};
    std::ifstream in(common::LocalPath(path), std::ios::binary);
    if (!in)
        return {}; // exists but cannot be opened: the window opens with no notes
    return common::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace registry
