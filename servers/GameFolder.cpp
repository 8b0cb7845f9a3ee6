#include "servers/GameFolder.h"

#include "common/Codec.h"
#include "updater/files/Packing.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>

namespace servers {

namespace {

constexpr int kMaxDepth = 32;

bool startsWith(const Bytes &text, const Bytes &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string canonical(const std::string &path)
{
    return QFileInfo(QString::fromStdString(path)).canonicalFilePath().toStdString();
}

} // namespace

const OfferedFile *Catalog::find(int index) const
{
    if (selfUpdate && selfUpdate->index == index)
        return &*selfUpdate;
    for (const auto &file : files) {
        if (file.index == index)
            return &file;
    }
    return nullptr;
}

bool IsServableName(ByteView name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b == 127 || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return false;
    }
    if (name.back() == '.' || name.back() == ' ')
        return false;
    // Device names are reserved with any extension.
    std::string stem(name.substr(0, name.find('.')));
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static const char *reserved[] = {"CON", "PRN", "AUX", "NUL"};
    for (const char *r : reserved) {
        if (stem == r)
            return false;
    }
    if (stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
        stem[3] >= '1' && stem[3] <= '9')
        return false;
    return true;
}

std::int32_t VersionOf(ByteView content)
{
    return common::ByteSum(updater::PackedMarker() + updater::Pack(content));
}

GameFolder::GameFolder(std::string clientFolder, std::string programFiles, LogFunction log)
    : m_log(std::move(log))
{
    auto absolute = [](const std::string &path) {
        return path.empty() ? std::string{}
                            : QDir(QString::fromStdString(path)).absolutePath().toStdString();
    };
    m_clientFolder = absolute(clientFolder);
    m_programFiles = absolute(programFiles);
}

void GameFolder::warnOnce(const std::string &key, const std::string &text)
{
    if (m_warned.insert(key).second && m_log)
        m_log("WARNING: " + text);
}

std::optional<Bytes> GameFolder::readInside(const std::string &localPath,
                                            const std::string &root) const
{
    if (root.empty())
        return std::nullopt;
    const QFileInfo info(QString::fromStdString(localPath));
    if (!info.exists() || info.isSymLink() || !info.isFile() || info.size() > updater::kMaxFileSize)
        return std::nullopt;
    const std::string rootPath = canonical(root);
    const std::string filePath = info.canonicalFilePath().toStdString();
    if (rootPath.empty() || filePath.size() <= rootPath.size() + 1 ||
        filePath.compare(0, rootPath.size() + 1, rootPath + "/") != 0)
        return std::nullopt;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return Bytes(data.constData(), static_cast<std::size_t>(data.size()));
}

std::optional<Bytes> GameFolder::packed(const std::string &localPath) const
{
    std::optional<Bytes> content = readInside(localPath, m_clientFolder);
    if (!content)
        content = readInside(localPath, m_programFiles);
    if (!content)
        return std::nullopt;
    return updater::PackedMarker() + updater::Pack(*content);
}

std::optional<Bytes> GameFolder::zlibLibrary() const
{
    if (m_programFiles.empty())
        return std::nullopt;
    return readInside(QDir(QString::fromStdString(m_programFiles))
                          .filePath(QStringLiteral("zlib.dll"))
                          .toStdString(),
                      m_programFiles);
}

std::optional<std::int32_t> GameFolder::versionOf(const std::string &localPath)
{
    const QFileInfo info(QString::fromStdString(localPath));
    const std::int64_t size = info.size();
    const std::int64_t modified = info.lastModified().toMSecsSinceEpoch();
    auto it = m_cache.find(localPath);
    if (it != m_cache.end() && it->second.size == size && it->second.modified == modified)
        return it->second.version;
    std::optional<Bytes> content = readInside(localPath, m_clientFolder);
    if (!content)
        content = readInside(localPath, m_programFiles);
    if (!content)
        return std::nullopt;
    const std::int32_t version = VersionOf(*content);
    m_cache[localPath] = Cached{size, modified, version};
    return version;
}

struct GameFolder::Found
{
    Bytes folder;
    Bytes name;
    std::string localPath;
};

std::shared_ptr<const Catalog> GameFolder::scan()
{
    auto catalog = std::make_shared<Catalog>();
    std::vector<Found> found;
    std::set<Bytes> folders;
    walk(found, folders);
    announceFolders(*catalog, folders);
    offerFiles(*catalog, std::move(found));
    offerSelfUpdate(*catalog);
    return catalog;
}

void GameFolder::walk(std::vector<Found> &found, std::set<Bytes> &folders)
{
    // Depth-first walk of the client folder, links and hidden names left out.
    struct Pending
    {
        QString dir;
        Bytes folder;
        int depth;
    };
    std::vector<Pending> pending{{QString::fromStdString(m_clientFolder), Bytes{}, 0}};
    while (!pending.empty()) {
        const Pending here = pending.back();
        pending.pop_back();
        const QFileInfoList entries = QDir(here.dir).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        for (const QFileInfo &info : entries) {
            const QByteArray encoded = QFile::encodeName(info.fileName());
            const Bytes name(encoded.constData(), static_cast<std::size_t>(encoded.size()));
            const std::string shown = here.folder + name;
            if (info.isSymLink()) {
                warnOnce("link:" + shown, "not serving " + Printable(shown) + ": a link");
                continue;
            }
            if (name[0] == '.') {
                warnOnce("hidden:" + shown, "not serving " + Printable(shown) + ": hidden");
                continue;
            }
            if (!IsServableName(name)) {
                warnOnce("name:" + shown,
                         "not serving " + Printable(shown) + ": a name clients cannot store");
                continue;
            }
            if (info.isDir()) {
                if (here.depth + 1 >= kMaxDepth) {
                    warnOnce("deep:" + shown, "not serving " + Printable(shown) + ": too deep");
                    continue;
                }
                const Bytes sub = here.folder + name + "\\";
                folders.insert(sub);
                pending.push_back({info.filePath(), sub, here.depth + 1});
            } else if (info.isFile()) {
                if (info.size() > updater::kMaxFileSize) {
                    warnOnce("big:" + shown,
                             "not serving " + Printable(shown) + ": larger than 1 GiB");
                    continue;
                }
                found.push_back({here.folder, name, info.filePath().toStdString()});
            }
        }
    }
}

void GameFolder::announceFolders(Catalog &catalog, const std::set<Bytes> &folders)
{
    // Announcing a folder creates every level of it, so only the innermost ones are needed.
    std::vector<Bytes> leaves;
    for (const Bytes &folder : folders) {
        const auto next = folders.upper_bound(folder);
        if (next == folders.end() || !startsWith(*next, folder))
            leaves.push_back(folder);
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        if (static_cast<int>(i) < kMaxFolders)
            catalog.folders.push_back(leaves[i]);
        else
            warnOnce("folders:" + leaves[i], "not serving the folder " + Printable(leaves[i]) +
                                                 ": at most 15 innermost folders can be sent");
    }
}

void GameFolder::offerFiles(Catalog &catalog, std::vector<Found> found)
{
    auto announced = [&](const Bytes &folder) {
        if (folder.empty())
            return true;
        return std::any_of(catalog.folders.begin(), catalog.folders.end(),
                           [&](const Bytes &f) { return startsWith(f, folder); });
    };

    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        return a.folder != b.folder ? a.folder < b.folder : a.name < b.name;
    });
    int index = kFirstGameIndex;
    for (const Found &f : found) {
        const std::string shown = f.folder + f.name;
        if (!announced(f.folder))
            continue;
        if (index > kLastIndex) {
            warnOnce("count:" + shown,
                     "not serving " + Printable(shown) + ": at most 249 game files");
            continue;
        }
        if (f.name.size() > 25 || f.folder.size() > 50)
            warnOnce("long:" + shown, Printable(shown) +
                                          ": clients record only 50 bytes of a folder and 25 "
                                          "of a name; keep names short so they stay apart");
        const std::optional<std::int32_t> version = versionOf(f.localPath);
        if (!version) {
            warnOnce("read:" + shown, "not serving " + Printable(shown) + ": cannot be read");
            continue;
        }
        if (*version < 0) {
            warnOnce("sum:" + shown, "not serving " + Printable(shown) +
                                         ": its version number does not fit the protocol");
            continue;
        }
        catalog.files.push_back({index++, f.name, f.folder, f.localPath, *version});
    }
}

void GameFolder::offerSelfUpdate(Catalog &catalog)
{
    if (m_programFiles.empty())
        return;
    const QDir program(QString::fromStdString(m_programFiles));
    const QFileInfo dat(program.filePath(QStringLiteral("Updater.dat")));
    const QFileInfo exe(program.filePath(QStringLiteral("Update.exe")));
    if (dat.isFile() && !dat.isSymLink() && exe.isFile() && !exe.isSymLink()) {
        const std::optional<std::int32_t> version = versionOf(dat.filePath().toStdString());
        if (version && *version >= 0) {
            catalog.selfUpdate =
                OfferedFile{1, "Updater.dat", "", dat.filePath().toStdString(), *version};
            catalog.updateExePath = exe.filePath().toStdString();
        }
    }
}

} // namespace servers
