// IsSafeFolder, IsSafeFileName and IsSafeRelativePath on any text, and MakeFolders and
// Write in a temporary program folder: whatever is accepted stays inside it, and
// nothing outside it is ever created or changed, even through symbolic links planted in the
// client folder that point outside.
//
// Input: one byte of flags (plant links), one byte for the folder's length, the folder text,
// then the file name.
#include "FuzzSupport.h"

#include "common/Platform.h"
#include "updater/files/FileStore.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;
using common::Bytes;
using common::ByteView;

struct Place
{
    fuzzsupport::TemporaryFolder base{"paths"};
    fs::path outer = base.path() / "outer";
    fs::path program = outer / "program";
    fs::path victim = outer / "victim";
    std::map<std::string, std::string> before;

    Place()
    {
        fs::create_directories(program);
        fs::create_directories(victim / "Data");
        std::ofstream(base.path() / "keep.txt") << "two levels up";
        std::ofstream(outer / "keep.txt") << "one level up";
        std::ofstream(victim / "game.dat") << "must stay";
        before = fuzzsupport::Snapshot(base.path(), program);
    }
};

Place &place()
{
    static Place instance;
    return instance;
}

// `path` (local form) lies inside `root` by its text alone.
bool lexicallyInside(const fs::path &path, const fs::path &root)
{
    const std::string normal = path.lexically_normal().string();
    const std::string prefix = root.string() + "/";
    return normal.rfind(prefix, 0) == 0;
}

bool resolvedInside(const fs::path &path, const fs::path &root)
{
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(path, ec);
    return !ec && lexicallyInside(real, root);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Place &where = place();
    fuzzsupport::Reader input(data, size);
    const std::uint8_t flags = input.byte();
    const Bytes folder(input.take(input.byte()));
    const Bytes name(input.rest());

    fuzzsupport::ClearFolder(where.program);
    const fs::path client = where.program / "Client";
    fs::create_directories(client);
    if (flags & 1) {
        std::error_code ec;
        fs::create_directory_symlink(where.victim, client / "Link", ec);
        fs::create_directory_symlink(where.outer, client / "Up", ec);
        fs::create_symlink(where.victim / "game.dat", client / "linked.dat", ec);
    }

    updater::FileStore store(where.program.string());
    const Bytes clientFolder = store.clientFolder();

    const bool safeFolder = updater::IsSafeFolder(folder);
    const bool safeName = updater::IsSafeFileName(name);
    const bool safePath = updater::IsSafeRelativePath(folder + name);
    if (safeFolder)
        FUZZ_CHECK(lexicallyInside(common::LocalPath(clientFolder + folder + "x"), client));
    if (safeName) {
        FUZZ_CHECK(name.find('\\') == Bytes::npos && name.find('/') == Bytes::npos);
        FUZZ_CHECK(name != "." && name != "..");
    }
    if (safePath)
        FUZZ_CHECK(lexicallyInside(common::LocalPath(clientFolder + folder + name), client));
    FUZZ_CHECK(!(safeFolder && safeName) || safePath);
    (void)updater::IsSafeRelativePath(name);

    const updater::FileError made = store.MakeFolders(folder);
    if (!safeFolder && !folder.empty() && folder.back() == '\\')
        FUZZ_CHECK(made == updater::FileError::UnsafePath);
    if (made == updater::FileError::None && !folder.empty())
        FUZZ_CHECK(resolvedInside(common::LocalPath(clientFolder + folder), where.program));

    const Bytes target = clientFolder + folder + name;
    const updater::FileError wrote =
        store.Write(target, updater::FileContent::Unpack("new content"));
    if (!safePath)
        FUZZ_CHECK(wrote != updater::FileError::None);
    if (wrote == updater::FileError::None) {
        const fs::path local = common::LocalPath(target);
        FUZZ_CHECK(resolvedInside(local, where.program));
        FUZZ_CHECK(store.ReadWholeFile(target) == "new content");
    }

    if (fuzzsupport::Snapshot(where.base.path(), where.program) != where.before)
        fuzzsupport::fail("something outside the program folder changed");
    return 0;
}
