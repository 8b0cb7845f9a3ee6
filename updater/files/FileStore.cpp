#include "updater/files/FileStore.h"

#include "common/AtomicFile.h"
#include "common/Codec.h"
#include "common/IniStore.h"
#include "common/Platform.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

namespace updater {

namespace fs = std::filesystem;

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

fs::path localFsPath(ByteView path)
{
    return fs::path(withoutTrailingSeparators(common::LocalPath(path)));
}

// Both paths resolved: true when `child` is `root` or lies below it.
bool isInside(const fs::path &child, const fs::path &root)
{
    return common::IsInsideFolder(child.string(), root.string());
}

// Where a path with links (and junctions) followed really is; empty when it cannot be
// told. A last level that does not exist yet is taken as named, below its real folder.
fs::path resolved(const fs::path &path)
{
    const std::string real = common::RealPath(path.string());
    if (!real.empty())
        return fs::path(real);
    if (common::EntryExists(path.string()) || !path.has_parent_path())
        return {}; // there, but leading nowhere (a dangling link)
    const std::string parent = common::RealPath(path.parent_path().string());
    return parent.empty() ? fs::path() : fs::path(parent) / path.filename();
}

// Writes `data` through the atomic writer; `allowed` lets tests fail a step.
FileError replaceFile(const fs::path &target, const Bytes &data, const PathFaultHook &allowed)
{
    common::AtomicStepHook stepAllowed;
    if (allowed)
        stepAllowed = [&](common::AtomicStep step) {
            switch (step) {
            case common::AtomicStep::CreateTemporary:
                return allowed(WriteStep::CreateTemporary, target.string());
            case common::AtomicStep::Write:
                return allowed(WriteStep::Write, target.string());
            case common::AtomicStep::Flush:
                return allowed(WriteStep::Flush, target.string());
            case common::AtomicStep::Rename:
                break;
            }
            return allowed(WriteStep::Rename, target.string());
        };
    switch (common::WriteFileAtomically(target.string(), data, stepAllowed)) {
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
FileError checkExistingFolder(const fs::path &path, const fs::path &root)
{
    const fs::path real = resolved(path);
    if (real.empty() || !isInside(real, root))
        return FileError::UnsafePath;
    std::error_code ec;
    return fs::is_directory(real, ec) ? FileError::None : FileError::CreateFailed;
}

// Creates one missing level whose parent has already been checked, or checks an existing one.
FileError makeFolder(const fs::path &path, const fs::path &root, const PathFaultHook &allowed)
{
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(path, ec);
    if (fs::exists(st))
        return checkExistingFolder(path, root);
    const fs::path parent = resolved(path.parent_path());
    if (parent.empty() || !isInside(parent, root))
        return FileError::UnsafePath;
    if (allowed && !allowed(WriteStep::MakeFolder, (parent / path.filename()).string()))
        return FileError::CreateFailed;
    if (!common::CreateFolder((parent / path.filename()).string()) &&
        !fs::is_directory(parent / path.filename(), ec))
        return FileError::CreateFailed;
    return checkExistingFolder(path, root);
}

} // namespace

FileError FileStore::EnsureClientFolder() const
{
    const fs::path root = resolved(localFsPath(m_programFolder));
    if (root.empty())
        return FileError::CreateFailed;
    return makeFolder(localFsPath(clientFolder()), root, faultHook());
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
    // Windows creates no folder whose path is longer than this; neither does the Updater, so
    // the game folder stays one that the game's own platform can hold.
    const Bytes client = clientFolder();
    if (client.size() + levels.size() - 1 > kMaxFolderPath)
        return FileError::CreateFailed;

    const fs::path root = resolved(localFsPath(m_programFolder));
    if (root.empty())
        return FileError::CreateFailed;
    const PathFaultHook hook = faultHook();
    if (const FileError error = makeFolder(localFsPath(client), root, hook);
        error != FileError::None)
        return error;
    // The levels stay inside the client folder itself: a link there that leads back to the
    // program folder must not let a server make folders beside the Updater.
    const fs::path clientRoot = resolved(localFsPath(client));
    if (clientRoot.empty())
        return FileError::CreateFailed;

    // Outermost level first; each is created only when missing. Where each level really is
    // is carried from one to the next, so no level resolves the whole path again.
    fs::path real = clientRoot;
    std::error_code ec;
    std::size_t start = 0;
    for (std::size_t q = levels.find(kSeparator); q != Bytes::npos;
         start = q + 1, q = levels.find(kSeparator, q + 1)) {
        const fs::path level = real / common::LocalPath(levels.substr(start, q - start));
        fs::file_status st = fs::symlink_status(level, ec);
        if (!fs::exists(st)) {
            if (hook && !hook(WriteStep::MakeFolder, level.string()))
                return FileError::CreateFailed;
            if (!common::CreateFolder(level.string()) && !fs::is_directory(level, ec))
                return FileError::CreateFailed;
            st = fs::symlink_status(level, ec);
        }
        if (fs::is_symlink(st)) {
            // A link is followed only where it stays inside the client folder.
            const FileError error = checkExistingFolder(level, clientRoot);
            if (error != FileError::None)
                return error;
            real = resolved(level);
        } else if (fs::is_directory(st)) {
            real = level;
        } else {
            return FileError::CreateFailed;
        }
    }
    return FileError::None;
}

Bytes FileStore::ReadWholeFile(ByteView path) const
{
    const std::string local = common::LocalPath(path);
    std::error_code ec;
    if (!fs::is_regular_file(local, ec))
        return {};
    const auto length = fs::file_size(local, ec);
    if (ec)
        return {};
    std::FILE *file = std::fopen(local.c_str(), "rb");
    if (!file)
        return {};
    Bytes content(static_cast<std::size_t>(length), '\0');
    const std::size_t got =
        content.empty() ? 0 : std::fread(content.data(), 1, content.size(), file);
    std::fclose(file);
    content.resize(got); // a file that shrank meanwhile gives what was there
    return content;
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
    const fs::path root = resolved(localFsPath(gameFile ? clientFolder() : m_programFolder));
    if (root.empty())
        return FileError::CreateFailed;
    const fs::path target = localFsPath(path);
    const fs::path parent = resolved(target.parent_path());
    if (parent.empty())
        return FileError::CreateFailed; // the folder is missing
    if (!isInside(parent, root))
        return FileError::UnsafePath;
    return replaceFile(parent / target.filename(), data, faultHook());
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
    return common::RemoveRegularFile(common::LocalPath(path));
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
        if (entry.fullPath.empty() || !FileExists(entry.fullPath))
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
    const Bytes path = programFile("Settings.ini");
    std::error_code ec;
    const fs::file_status status = fs::status(localFsPath(path), ec);
    if (fs::exists(status) && !fs::is_regular_file(status))
        return {};
    return common::ReadIniString(path, section, key);
}

bool FileStore::WriteSetting(ByteView section, ByteView key, ByteView value) const
{
    // The value comes from a server: never write it through a link that leads elsewhere.
    const Bytes path = programFile("Settings.ini");
    const fs::path root = resolved(localFsPath(m_programFolder));
    const fs::path real = resolved(localFsPath(path));
    if (root.empty() || real.empty() || !isInside(real, root))
        return false;
    return common::WriteIni(path, section, key, value);
}

} // namespace updater
