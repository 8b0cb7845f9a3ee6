#pragma once

#include "common/Bytes.h"
#include "servers/Connections.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace servers {

// One file the update server offers.
struct OfferedFile
{
    int index = 0;         // file-table index: 1 for the self-update pair, 2..250 game files
    Bytes name;            // as sent: one path segment
    Bytes folder;          // relative to the client folder, "" or ending in "\"
    std::string localPath; // where it is read from
    std::int32_t version = 0;
};

// What one scan of the served folders found.
struct Catalog
{
    std::vector<Bytes> folders;            // FolderEntry paths, at most 15, each ending in "\"
    std::vector<OfferedFile> files;        // in index order
    std::optional<OfferedFile> selfUpdate; // "Updater.dat" at index 1, when offered
    std::string updateExePath;             // its partner "Update.exe"
    const OfferedFile *find(int index) const;
};

// Names a client on any system can store: one segment, no control byte, none of \ / : * ? " < > |,
// not "." or "..", no trailing dot or blank, no reserved device name (CON, NUL, COM1, ...).
bool IsServableName(ByteView name);

// The version number the Updater computes for a file's content: the byte sum of the packed
// marker followed by the packed content.
std::int32_t VersionOf(ByteView content);

// The folders an update server serves:
//  - the client folder: everything below it is offered as game files, with the folder tree;
//  - the program-files folder (optional): "zlib.dll", sent raw as entry 0, and the self-update
//    pair "Updater.dat" + "Update.exe", offered as entry 1 when both are there.
// Nothing outside these folders is ever read: symbolic links, hidden files (names starting
// with ".") and names a client could not store are left out (with a log line), and every read
// checks again that the file is still a regular file inside its folder.
class GameFolder
{
public:
    GameFolder(std::string clientFolder, std::string programFiles, LogFunction log);

    // Walks the folders again; versions of files whose size and time are unchanged come from
    // a cache, so a rescan costs little.
    std::shared_ptr<const Catalog> scan();

    // Packed marker + packed content of a file; nothing when it cannot be read safely.
    std::optional<Bytes> packed(const std::string &localPath) const;
    // zlib.dll as it is (raw), or nothing.
    std::optional<Bytes> zlibLibrary() const;

    const std::string &clientFolder() const { return m_clientFolder; }

    static constexpr int kMaxFolders = 15;
    static constexpr int kFirstGameIndex = 2;
    static constexpr int kLastIndex = 250;

private:
    struct Cached
    {
        std::int64_t size = -1;
        std::int64_t modified = 0;
        std::int32_t version = 0;
    };

    struct Found; // a servable file met on the walk

    // The steps of a scan: walk the client folder, then fill the catalog.
    void walk(std::vector<Found> &found, std::set<Bytes> &folders);
    void announceFolders(Catalog &catalog, const std::set<Bytes> &folders);
    void offerFiles(Catalog &catalog, std::vector<Found> found);
    void offerSelfUpdate(Catalog &catalog);

    std::optional<Bytes> readInside(const std::string &localPath, const std::string &root) const;
    std::optional<std::int32_t> versionOf(const std::string &localPath);
    void warnOnce(const std::string &key, const std::string &text);

    std::string m_clientFolder;
    std::string m_programFiles;
    LogFunction m_log;
    std::map<std::string, Cached> m_cache;
    std::set<std::string> m_warned;
};

} // namespace servers
