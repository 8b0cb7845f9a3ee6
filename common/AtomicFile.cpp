#include "common/AtomicFile.h"

#include "common/Platform.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

namespace common {

namespace fs = std::filesystem;

namespace {

fs::path temporaryName(const fs::path &target)
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::string suffix(12, '0');
    auto value = random();
    for (char &c : suffix) {
        c = digits[value & 15u];
        value >>= 4;
    }
    // A leading dot keeps it out of the existence tests while it is being written.
    std::string name(1, '.');
    name += target.filename().string();
    name += ".part-";
    name += suffix;
    return target.parent_path() / name;
}

// A new file beside `target`; "x" fails when the name is taken, so an existing file is never
// truncated.
std::FILE *createTemporary(const fs::path &target, fs::path &temporary)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = temporaryName(target);
        if (std::FILE *file = std::fopen(temporary.string().c_str(), "wbx"))
            return file;
        if (errno != EEXIST)
            break;
    }
    return nullptr;
}

bool writeAndClose(std::FILE *file, ByteView data, const AtomicStepHook &allowed)
{
    const auto stepAllowed = [&](AtomicStep step) { return !allowed || allowed(step); };
    bool ok = stepAllowed(AtomicStep::Write);
    if (ok && !data.empty())
        ok = std::fwrite(data.data(), 1, data.size(), file) == data.size();
    ok = ok && stepAllowed(AtomicStep::Flush) && FlushFile(file);
    return (std::fclose(file) == 0) && ok;
}

void keepPermissions(const fs::path &target, const fs::path &temporary)
{
    std::error_code ec;
    const fs::file_status old = fs::symlink_status(target, ec);
    if (!ec && fs::is_regular_file(old))
        fs::permissions(temporary, old.permissions() & ~(fs::perms::set_uid | fs::perms::set_gid),
                        fs::perm_options::replace, ec);
}

} // namespace

AtomicWriteResult WriteFileAtomically(const std::string &localTarget, ByteView data,
                                      const AtomicStepHook &allowed)
{
    const fs::path target(localTarget);
    fs::path temporary;
    std::FILE *file = nullptr;
    if (!allowed || allowed(AtomicStep::CreateTemporary))
        file = createTemporary(target, temporary);
    if (!file)
        return AtomicWriteResult::CreateFailed;

    std::error_code ec;
    if (!writeAndClose(file, data, allowed)) {
        fs::remove(temporary, ec);
        return AtomicWriteResult::WriteFailed;
    }
    keepPermissions(target, temporary);
    if ((allowed && !allowed(AtomicStep::Rename)) || !MoveOver(temporary.string(), localTarget)) {
        fs::remove(temporary, ec);
        return AtomicWriteResult::RenameFailed;
    }
    return AtomicWriteResult::Written;
}

} // namespace common
