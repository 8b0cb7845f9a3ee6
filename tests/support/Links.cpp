#include "tests/support/Links.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace testsupport {

bool MakeLink(const fs::path &target, const fs::path &link, bool folder)
{
#ifdef _WIN32
    DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (folder)
        flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
    // wine reports success without making anything: only a link that is there counts.
    return CreateSymbolicLinkA(link.string().c_str(), target.string().c_str(), flags) != 0 &&
           IsLink(link);
#else
    std::error_code ec;
    if (folder)
        fs::create_directory_symlink(target, link, ec);
    else
        fs::create_symlink(target, link, ec);
    return !ec;
#endif
}

bool IsLink(const fs::path &path)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path.string().c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
#else
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
#endif
}

} // namespace testsupport
