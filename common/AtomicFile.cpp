#include "common/AtomicFile.h"

#include "common/Platform.h"

#include <random>

namespace common {

namespace {

std::string temporaryName(const std::string &localTarget)
{
    thread_local std::mt19937_64 random{std::random_device{}()};
    static const char digits[] = "0123456789abcdef";
    std::string suffix(12, '0');
    auto value = random();
    for (char &c : suffix) {
        c = digits[value & 15u];
        value >>= 4;
    }
    const std::size_t slash = LastSeparator(localTarget);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    // A leading dot keeps it out of the existence tests while it is being written.
    std::string temporary = localTarget.substr(0, nameStart);
    temporary += '.';
    temporary += localTarget.substr(nameStart);
    temporary += ".part-";
    temporary += suffix;
    return temporary;
}

// A new file beside `localTarget`; an existing file of the chosen name is never opened, so
// nothing is ever truncated.
bool createTemporary(const std::string &localTarget, NewFile &file, std::string &temporary)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = temporaryName(localTarget);
        switch (file.create(temporary)) {
        case NewFile::Created::Yes:
            return true;
        case NewFile::Created::NameTaken:
            continue;
        case NewFile::Created::Failed:
            return false;
        }
    }
    return false;
}

bool writeAndCommit(NewFile &file, ByteView data, const AtomicStepHook &allowed)
{
    const auto stepAllowed = [&](AtomicStep step) { return !allowed || allowed(step); };
    bool ok = stepAllowed(AtomicStep::Write) && file.write(data);
    ok = ok && stepAllowed(AtomicStep::Flush);
    return file.commit() && ok;
}

} // namespace

AtomicWriteResult WriteFileAtomically(const std::string &localTarget, ByteView data,
                                      const AtomicStepHook &allowed)
{
    NewFile file;
    std::string temporary;
    if ((allowed && !allowed(AtomicStep::CreateTemporary)) ||
        !createTemporary(localTarget, file, temporary))
        return AtomicWriteResult::CreateFailed;

    if (!writeAndCommit(file, data, allowed)) {
        RemoveFile(temporary);
        return AtomicWriteResult::WriteFailed;
    }
    KeepPermissions(localTarget, temporary);
    if ((allowed && !allowed(AtomicStep::Rename)) || !MoveOver(temporary, localTarget)) {
        RemoveFile(temporary);
        return AtomicWriteResult::RenameFailed;
    }
    return AtomicWriteResult::Written;
}

} // namespace common
