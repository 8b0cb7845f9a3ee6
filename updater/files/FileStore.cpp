#include "updater/files/FileStore.h"

#include "common/AtomicFile.h"
#include "common/Codec.h"
#include "common/IniStore.h"
#include "common/Platform.h"

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

namespace updater {

namespace {

constexpr std::size_t kRecordLength = 79;
constexpr std::size_t kFolderWidth = 50;
constexpr std::size_t kNameWidth = 25;
constexpr char kSeparator = '\\';

Bytes padOrCut(ByteView text, std::size_t width)
{
    Bytes out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

// Names the system reserves for devices, with or without an extension.
bool isReservedDeviceName(ByteView segment)
{
    ByteView base = segment.substr(0, segment.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.remove_suffix(1);
    static constexpr std::array<ByteView, 6> plain = {"CON", "PRN",    "AUX",
                                                      "NUL", "CONIN$", "CONOUT$"};
    for (ByteView name : plain)
        if (common::equalsIgnoringAsciiCase(base, name))
            return true;
    if (base.size() == 4 && (common::equalsIgnoringAsciiCase(base.substr(0, 3), "COM") ||
                             common::equalsIgnoringAsciiCase(base.substr(0, 3), "LPT"))) {
        const auto digit = static_cast<unsigned char>(base[3]);
        // 0-9 and the superscript digits 1, 2, 3 of the 8-bit code page
        return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

bool isSafeSegment(ByteView segment)
{
    if (segment.empty() || segment == "." || segment == "..")
        return false;
    for (char c : segment) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32)
            return false;
        switch (c) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return false;
        default:
            break;
        }
    }
    if (segment.back() == '.' || segment.back() == ' ')
        return false;
    return !isReservedDeviceName(segment);
}

std::string withoutTrailingSeparators(std::string local)
{
    while (local.size() > 1 && (local.back() == '/' || local.back() == kSeparator))
        local.pop_back();
    return local;
}

std::string localPathOf(ByteView path)
{
    return withoutTrailingSeparators(common::LocalPath(path));
}

// The folder a local path lies in (empty when it names none) and its last level.
std::string parentOf(const std::string &local)
{
    const std::size_t slash = common::LastSeparator(local);
    if (slash == std::string::npos)
        return {};
    // A root ("/", "C:\") keeps its separator.
    if (slash == 0 || local[slash - 1] == ':')
        return local.substr(0, slash + 1);
    return local.substr(0, slash);
}

std::string lastLevelOf(const std::string &local)
{
    const std::size_t slash = common::LastSeparator(local);
    return slash == std::string::npos ? local : local.substr(slash + 1);
}

// Where a path with links (and junctions) followed really is; empty when it cannot be
// told. A last level that does not exist yet is taken as named, below its real folder.
std::string resolved(const std::string &local)
{
    const std::string real = common::RealPath(local);
    if (!real.empty())
        return real;
    const std::string parent = parentOf(local);
    if (common::EntryKindOf(local) != common::EntryKind::Missing || parent.empty())
        return {}; // there, but leading nowhere (a dangling link)
    const std::string realParent = common::RealPath(parent);
    return realParent.empty() ? std::string() : common::LocalChild(realParent, lastLevelOf(local));
}

// Writes `data` through the atomic writer; `allowed` lets tests fail a step.
FileError replaceFile(const std::string &target, const Bytes &data, const PathFaultHook &allowed)
{
    common::AtomicStepHook stepAllowed;
    if (allowed)
        stepAllowed = [&](common::AtomicStep step) {
            switch (step) {
            case common::AtomicStep::CreateTemporary:
                return allowed(WriteStep::CreateTemporary, target);
            case common::AtomicStep::Write:
                return allowed(WriteStep::Write, target);
            case common::AtomicStep::Flush:
                return allowed(WriteStep::Flush, target);
            case common::AtomicStep::Rename:
                break;
            }
            return allowed(WriteStep::Rename, target);
        };
    switch (common::WriteFileAtomically(target, data, stepAllowed)) {
    case common::AtomicWriteResult::Written:
        return FileError::None;
    case common::AtomicWriteResult::CreateFailed:
        return FileError::CreateFailed;
    case common::AtomicWriteResult::WriteFailed:
        return FileError::WriteFailed;
    case common::AtomicWriteResult::RenameFailed:
        break;
    }
    return FileError::RenameFailed;
}

} // namespace

bool IsSafeFolder(ByteView folder)
{
    if (folder.empty())
        return true;
    if (folder.back() != kSeparator)
        return false;
    std::size_t start = 0;
    while (start < folder.size()) {
        const std::size_t end = folder.find(kSeparator, start);
        if (!isSafeSegment(folder.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

bool IsSafeFileName(ByteView name)
{
    return isSafeSegment(name);
}

bool IsSafeRelativePath(ByteView path)
{
    const std::size_t last = path.rfind(kSeparator);
    if (last == ByteView::npos)
        return IsSafeFileName(path);
    return IsSafeFolder(path.substr(0, last + 1)) && IsSafeFileName(path.substr(last + 1));
}

Bytes VersionRecord(std::int32_t version, ByteView folder, ByteView fileName)
{
    Bytes record = common::EncodeLong(version);
    record.reserve(kRecordLength);
    record += padOrCut(folder, kFolderWidth);
    record += padOrCut(fileName, kNameWidth);
    return record;
}

FileStore::FileStore(std::string programFolder) : m_programFolder(std::move(programFolder)) {}

Bytes FileStore::clientFolder() const
{
    return m_programFolder + "\\Client\\";
}

Bytes FileStore::programFile(ByteView name) const
{
    Bytes path = m_programFolder;
    path += kSeparator;
    path += name;
    return path;
}

bool FileStore::FileExists(ByteView path) const
{
    return common::FileExists(path);
}

bool FileStore::FolderExists(ByteView path) const
{
    return common::FolderExists(path);
}

namespace {

// Checks an existing level of the folder tree: inside `root` once links are resolved, and a
// folder.
FileError checkExistingFolder(const std::string &path, const std::string &root)
{
    const std::string real = resolved(path);
    if (real.empty() || !common::IsInsideFolder(real, root))
        return FileError::UnsafePath;
    return common::EntryKindOf(real) == common::EntryKind::Folder ? FileError::None
                                                                  : FileError::CreateFailed;
}

// Creates one missing level whose parent has already been checked, or checks an existing one.
FileError makeFolder(const std::string &path, const std::string &root, const PathFaultHook &allowed)
{
    if (common::EntryKindOf(path) != common::EntryKind::Missing)
        return checkExistingFolder(path, root);
    const std::string parent = resolved(parentOf(path));
    if (parent.empty() || !common::IsInsideFolder(parent, root))
        return FileError::UnsafePath;
    const std::string level = common::LocalChild(parent, lastLevelOf(path));
    if (allowed && !allowed(WriteStep::MakeFolder, level))
        return FileError::CreateFailed;
    if (!common::CreateFolder(level) && common::EntryKindOf(level) != common::EntryKind::Folder)
        return FileError::CreateFailed;
    return checkExistingFolder(path, root);
}

// Makes (or follows) one level below the real folder `real`, which becomes the level's real
// place. A link is followed only where it stays inside `clientRoot`.
FileError enterLevel(std::string &real, ByteView segment, const std::string &clientRoot,
                     const PathFaultHook &hook)
{
    const std::string level = common::LocalChild(real, common::LocalPath(segment));
    common::EntryKind kind = common::EntryKindOf(level);
    if (kind == common::EntryKind::Missing) {
        if (hook && !hook(WriteStep::MakeFolder, level))
            return FileError::CreateFailed;
        common::CreateFolder(level);
        kind = common::EntryKindOf(level);
    }
    if (kind == common::EntryKind::Link) {
        const FileError error = checkExistingFolder(level, clientRoot);
        if (error == FileError::None)
            real = resolved(level);
        return error;
    }
    if (kind != common::EntryKind::Folder)
        return FileError::CreateFailed;
    real = level;
    return FileError::None;
}

} // namespace

FileError FileStore::EnsureClientFolder() const
{
    const std::string root = resolved(localPathOf(m_programFolder));
    if (root.empty())
        return FileError::CreateFailed;
    return makeFolder(localPathOf(clientFolder()), root, faultHook());
}

FileError FileStore::MakeFolders(ByteView folder) const
{
    if (folder.empty())
        return FileError::None;
    Bytes levels(folder);
    if (levels.back() != kSeparator)
        levels += kSeparator; // text after the last "\" is a folder too
    if (!IsSafeFolder(levels))
        return FileError::UnsafePath;
    // A folder path the game's own platform can create on its own, below wherever the player
    // keeps the game.
    if (levels.size() - 1 > kMaxFolderPath)
        return FileError::CreateFailed;

    const std::string root = resolved(localPathOf(m_programFolder));
    if (root.empty())
        return FileError::CreateFailed;
    const PathFaultHook hook = faultHook();
    const std::string client = localPathOf(clientFolder());
    if (const FileError error = makeFolder(client, root, hook); error != FileError::None)
        return error;
    // The levels stay inside the client folder itself: a link there that leads back to the
    // program folder must not let a server make folders beside the Updater.
    const std::string clientRoot = resolved(client);
    if (clientRoot.empty())
        return FileError::CreateFailed;

    // Outermost level first; each is created only when missing. Where each level really is
    // is carried from one to the next, so no level resolves the whole path again.
    std::string real = clientRoot;
    std::size_t start = 0;
    for (std::size_t q = levels.find(kSeparator); q != Bytes::npos;
         start = q + 1, q = levels.find(kSeparator, q + 1)) {
        const FileError error =
            enterLevel(real, ByteView(levels).substr(start, q - start), clientRoot, hook);
        if (error != FileError::None)
            return error;
    }
    return FileError::None;
}

Bytes FileStore::ReadWholeFile(ByteView path) const
{
    return common::ReadRegularFile(common::LocalPath(path)).value_or(Bytes());
}

FileError FileStore::writeRaw(ByteView path, const Bytes &data) const
{
    // Only places below the program folder, named with safe segments.
    const ByteView folder = m_programFolder;
    if (path.size() <= folder.size() || path.substr(0, folder.size()) != folder)
        return FileError::UnsafePath;
    ByteView relative = path.substr(folder.size());
    if (!folder.empty() && folder.back() != '/' && folder.back() != kSeparator) {
        if (relative.front() != kSeparator && relative.front() != '/')
            return FileError::UnsafePath;
        relative.remove_prefix(1);
    }
    if (!IsSafeRelativePath(relative))
        return FileError::UnsafePath;

    // Game files stay inside the client folder: a link there that leads back to the program
    // folder must not let a server replace the Updater's own files.
    constexpr ByteView clientPrefix = "Client\\";
    const bool gameFile = relative.substr(0, clientPrefix.size()) == clientPrefix;
    const std::string root = resolved(localPathOf(gameFile ? clientFolder() : m_programFolder));
    if (root.empty())
        return FileError::CreateFailed;
    const std::string target = localPathOf(path);
    const std::string parent = resolved(parentOf(target));
    if (parent.empty())
        return FileError::CreateFailed; // the folder is missing
    if (!common::IsInsideFolder(parent, root))
        return FileError::UnsafePath;
    return replaceFile(common::LocalChild(parent, lastLevelOf(target)), data, faultHook());
}

PathFaultHook FileStore::faultHook() const
{
    if (m_pathFaultHook)
        return m_pathFaultHook;
    if (!m_faultHook)
        return {};
    // The step-only hook knows writing, flushing and closing as one step.
    return [hook = m_faultHook](WriteStep step, const std::string &) {
        if (step == WriteStep::MakeFolder)
            return true;
        return hook(step == WriteStep::Flush ? WriteStep::Write : step);
    };
}

FileContent FileContent::Unpack(Bytes received, Bytes buffer)
{
    FileContent content;
    content.m_received = std::move(received);
    content.m_unpacked = std::move(buffer);
    content.m_unpacked.clear();
    const Bytes &data = content.m_received;
    if (static_cast<std::int64_t>(data.size()) > kMaxFileSize) {
        content.m_error = FileError::TooLarge;
        return content;
    }
    content.m_packed = IsPacked(data);
    if (!content.m_packed)
        return content;
    if (DeclaredLength(data) > kMaxFileSize) {
        content.m_error = FileError::TooLarge;
        return content;
    }
    try {
        const ByteView container = ByteView(data).substr(PackedMarker().size());
        if (!UnpackInto(container, content.m_unpacked))
            content.m_error = FileError::DamagedData;
    } catch (const std::exception &) {
        // Memory for unpacking ran out: this file is not written, and the run goes on.
        content.m_error = FileError::WriteFailed;
        content.m_unpacked = Bytes();
    }
    return content;
}

Bytes FileContent::takeBuffer()
{
    Bytes buffer = std::move(m_unpacked);
    m_unpacked = Bytes();
    buffer.clear();
    return buffer;
}

FileError FileStore::Write(ByteView path, const FileContent &content) const
{
    if (path.empty())
        return FileError::UnsafePath;
    FileError result = content.error();
    if (result == FileError::None)
        result = writeRaw(path, content.bytes());

    std::lock_guard lock(m_failedMutex);
    if (result != FileError::None)
        m_failedWrites.emplace(path);
    else if (const auto it = m_failedWrites.find(path); it != m_failedWrites.end())
        m_failedWrites.erase(it);
    return result;
}

bool FileStore::RemoveFile(ByteView path) const
{
    return common::RemoveRegularFile(common::Bytes(path));
}

bool FileStore::LastWriteFailed(ByteView path) const
{
    std::lock_guard lock(m_failedMutex);
    return m_failedWrites.find(path) != m_failedWrites.end();
}

std::int32_t FileStore::ComputeFileVersion(ByteView path) const
{
    const Bytes packed = Pack(ReadWholeFile(path));
    // Marker and container summed without joining them; the sum wraps in 32 bits.
    const auto sum = static_cast<std::uint32_t>(common::ByteSum(PackedMarker())) +
                     static_cast<std::uint32_t>(common::ByteSum(packed));
    return static_cast<std::int32_t>(sum);
}

void FileStore::LoadVersions()
{
    const Bytes path = programFile("Version.dat");
    m_versions = FileExists(path) ? ReadWholeFile(path) : Bytes();
}

bool FileStore::VersionsUsable() const
{
    return !m_versions.empty() && m_versions.size() % kRecordLength == 0;
}

std::int32_t FileStore::LookupVersion(ByteView folder, ByteView fileName) const
{
    if (!VersionsUsable())
        return 0;
    const Bytes key = padOrCut(folder, kFolderWidth) + padOrCut(fileName, kNameWidth);
    // Whole records only: a key that straddles two records is no match.
    for (std::size_t at = 0; at < m_versions.size(); at += kRecordLength) {
        if (m_versions.compare(at + 4, key.size(), key) == 0)
            return common::DecodeLong(ByteView(m_versions).substr(at, 4));
    }
    return 0;
}

FileError FileStore::SaveVersions(const FileTable &table) const
{
    Bytes content;
    for (std::size_t i = 1; i < table.size(); ++i) { // entry 0 is never saved
        const FileEntry &entry = table[i];
        if (entry.fullPath.empty() || entry.sameAsEarlier || !FileExists(entry.fullPath))
            continue;
        // A file whose write failed is left out, so the next run fetches it again instead
        // of taking the old content for the server's version.
        if (LastWriteFailed(entry.fullPath))
            continue;
        content += VersionRecord(entry.version, entry.folder, entry.fileName);
    }
    // Written as is: a record could begin with the marker bytes.
    return writeRaw(programFile("Version.dat"), content);
}

Bytes FileStore::ReadSetting(ByteView section, ByteView key) const
{
    // Anything but a regular file (a pipe or a device would block or never end) reads as
    // absent.
    return common::ReadIniString(programFile("Settings.ini"), section, key);
}

bool FileStore::WriteSetting(ByteView section, ByteView key, ByteView value) const
{
    // The value comes from a server: never write it through a link that leads elsewhere.
    const Bytes path = programFile("Settings.ini");
    const std::string root = resolved(localPathOf(m_programFolder));
    const std::string real = resolved(localPathOf(path));
    if (root.empty() || real.empty() || !common::IsInsideFolder(real, root))
        return false;
    return common::WriteIni(path, section, key, value);
}

} // namespace updater
