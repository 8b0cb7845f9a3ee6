#pragma once

#include "common/Bytes.h"
#include "updater/files/Packing.h"

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace updater {

// One game file as the update server describes it and as it is received.
struct FileEntry
{
    Bytes fileName;
    Bytes folder;   // relative to the client folder: empty or ending in "\"
    Bytes fullPath; // client folder & folder & fileName; program folder & "\" & name for 0, 1
    std::int32_t size = 0;
    std::int32_t version = 0;
    Bytes data;
    std::int32_t received = 0;
    std::int32_t remaining = 0;
    std::int64_t startTime = 0;  // clock at the start of its transfer
    std::int64_t durationMs = 0; // once written: its transfer, unpacking and storing in ms
    bool needsUpdate = false;
    // Names, by Windows' rules, the same file as an entry before it in the server's list:
    // neither requested, written nor recorded.
    bool sameAsEarlier = false;
};

inline constexpr int kFileTableSize = 251; // indices 0..250
// The longest folder path below the client folder (without its trailing separator) that a
// server may ask for: what Windows can create without the long form, 248 bytes with the
// terminating NUL. Where the player keeps the game does not count.
inline constexpr std::size_t kMaxFolderPath = 247;
using FileTable = std::array<FileEntry, kFileTableSize>;

// Why a file operation did not happen.
enum class FileError
{
    None,
    UnsafePath,   // a name or folder that would leave the client folder
    DamagedData,  // packed data that does not unpack to what its header says
    TooLarge,     // above kMaxFileSize
    CreateFailed, // folder or temporary file could not be made
    WriteFailed,  // writing, flushing or closing failed
    RenameFailed, // the finished file could not replace the old one
};

// Confinement of names and folders that come from a server. A folder is empty or a
// sequence of "\"-terminated segments; a file name is a single segment. Refused: absolute
// paths, drive letters and ":" anywhere, "..", "." and empty segments inside a folder, NUL
// and other control bytes, "/" (a second separator), the bytes * ? " < > | that no game file
// name on the servers' platform can hold, reserved device names, trailing dots or blanks in a
// segment.
bool IsSafeFolder(ByteView folder);
bool IsSafeFileName(ByteView name);
// A relative path with folders and a file name ("Bin\Game.exe"), as SetLaunchFile sends.
bool IsSafeRelativePath(ByteView path);

// What a file is to hold, made from the data as received without touching any file (a
// writer unpacks one file while the one before it is stored): that data itself, or, when it
// begins with the packed marker, what it unpacks to. FileStore::Write stores it.
class FileContent
{
public:
    FileContent() = default;
    // Takes `received` and unpacks it when it is packed, into `buffer`, whose memory is used
    // again (a writer that stores one file after another keeps one buffer). Should memory run
    // out while unpacking, the content is WriteFailed and `received` is kept.
    static FileContent Unpack(Bytes received, Bytes buffer = {});

    // None, or why there is nothing to store: TooLarge, DamagedData, WriteFailed.
    FileError error() const { return m_error; }
    // What the file is to hold (when error() is None).
    const Bytes &bytes() const { return m_packed ? m_unpacked : m_received; }
    // The data as received.
    const Bytes &received() const { return m_received; }
    // Hand back the data as received and the unpacking buffer (emptied, its memory kept),
    // for use again.
    Bytes takeReceived() { return std::move(m_received); }
    Bytes takeBuffer();

private:
    Bytes m_received;
    Bytes m_unpacked;
    bool m_packed = false;
    FileError m_error = FileError::None;
};

// The steps of a file write, for tests that make one of them fail.
enum class WriteStep
{
    CreateTemporary, // the temporary file beside the target
    Write,           // writing, flushing and closing it (writing alone with a path hook)
    Rename,          // replacing the target with it
    Flush,           // flushing and closing it (path hook only)
    MakeFolder,      // creating one missing folder level (path hook only)
};

// Test seam with the local path the step acts on (the target file, or the folder level).
using PathFaultHook = std::function<bool(WriteStep step, const std::string &localPath)>;

// Everything the Updater keeps on disk, addressed from its program folder. Every write stays
// inside the program folder: a path that would leave it, directly or through a symbolic link,
// is refused. Use one store for a whole run: SaveVersions leaves out the files that this store
// failed to write, so that they are downloaded again next time.
class FileStore
{
public:
    // `programFolder`: the Updater's folder (local form, no trailing separator).
    explicit FileStore(std::string programFolder);

    const std::string &programFolder() const { return m_programFolder; }
    // program folder & "\Client\" in the form the cores build paths with.
    Bytes clientFolder() const;
    // program folder & "\" & name.
    Bytes programFile(ByteView name) const;

    bool FileExists(ByteView path) const;
    bool FolderExists(ByteView path) const;
    // Creates the client folder when it is missing.
    FileError EnsureClientFolder() const;
    // Creates every level of `folder` below the client folder, outermost first. Text after
    // the last "\" is created as a folder too. Refuses unsafe folders, and folders longer
    // than kMaxFolderPath (CreateFailed).
    FileError MakeFolders(ByteView folder) const;

    // Whole-file read; empty when the file cannot be read.
    Bytes ReadWholeFile(ByteView path) const;
    // Stores `content` as the whole content of `path`. Written to a temporary file in the
    // same folder and renamed over the target: on any failure (content that did not unpack
    // included) the old file is untouched and no temporary file is left. The outcome is
    // recorded for LastWriteFailed.
    FileError Write(ByteView path, const FileContent &content) const;

    // Version numbers: ByteSum of PackedMarker & Pack(content).
    std::int32_t ComputeFileVersion(ByteView path) const;

    // Version.dat (in the program folder): read once per update pass with LoadVersions(),
    // then looked up per file; rewritten whole with SaveVersions().
    void LoadVersions();
    bool VersionsUsable() const; // a positive multiple of 79 bytes
    std::int32_t LookupVersion(ByteView folder, ByteView fileName) const;
    FileError SaveVersions(const FileTable &table) const;

    // Settings.ini in the program folder (private-profile semantics, values of at most 255
    // bytes).
    Bytes ReadSetting(ByteView section, ByteView key) const;
    bool WriteSetting(ByteView section, ByteView key, ByteView value) const;

    // Deletes the file `path` names. False when it could not be deleted.
    bool RemoveFile(ByteView path) const;

    // True when the last Write to `path` failed (until a later one succeeds).
    bool LastWriteFailed(ByteView path) const;

    // Test seam: called before each step of a write; returning false makes that step fail
    // as if the system had refused it.
    void setFaultHook(std::function<bool(WriteStep)> hook) { m_faultHook = std::move(hook); }
    // The same with the path, and with writing, flushing and folder creation as steps of
    // their own. Replaces the hook above while set.
    void setPathFaultHook(PathFaultHook hook) { m_pathFaultHook = std::move(hook); }

private:
    FileError writeRaw(ByteView path, const Bytes &data) const;
    PathFaultHook faultHook() const;

    std::string m_programFolder;
    Bytes m_versions; // content of Version.dat as last loaded
    std::function<bool(WriteStep)> m_faultHook;
    PathFaultHook m_pathFaultHook;
    // Full paths whose last write failed. Files may be written from a thread of their own.
    mutable std::mutex m_failedMutex;
    mutable std::set<Bytes, std::less<>> m_failedWrites;
};

// One Version.dat record: EncodeLong(version), folder padded/cut to 50, name to 25.
Bytes VersionRecord(std::int32_t version, ByteView folder, ByteView fileName);

} // namespace updater
