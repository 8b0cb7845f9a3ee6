// Version.dat content through FileStore::LoadVersions and LookupVersion, checked against a
// plain reading of the 79-byte records, and a SaveVersions/LoadVersions round trip.
//
// Input: two bytes give the length of the Version.dat content, then that content, one byte of
// flags (whether the game file exists), the version the server announces for it (4 bytes),
// then queries: a length byte and a folder, a length byte and a file name, until the input
// ends.
#include "FuzzSupport.h"

#include "common/Codec.h"
#include "updater/files/FileStore.h"

#include <fstream>

namespace {

namespace fs = std::filesystem;
using common::Bytes;
using common::ByteView;

struct Place
{
    fuzzsupport::TemporaryFolder base{"versions"};
    fs::path program = base.path() / "program";
};

Place &place()
{
    static Place instance;
    return instance;
}

void writeFile(const fs::path &path, ByteView content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    FUZZ_CHECK(out.good());
}

Bytes padOrCut(ByteView text, std::size_t width)
{
    Bytes out(text.substr(0, std::min(width, text.size())));
    out.resize(width, ' ');
    return out;
}

// The record list as written: whole records of 79 bytes, version first; the first match wins.
std::int32_t referenceLookup(ByteView versions, ByteView folder, ByteView name)
{
    if (versions.empty() || versions.size() % 79 != 0)
        return 0;
    const Bytes key = padOrCut(folder, 50) + padOrCut(name, 25);
    for (std::size_t at = 0; at < versions.size(); at += 79)
        if (versions.substr(at + 4, 75) == key)
            return common::DecodeLong(versions.substr(at, 4));
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Place &where = place();
    fuzzsupport::Reader input(data, size);
    const std::size_t length = (static_cast<std::size_t>(input.byte()) << 8 | input.byte()) % 8000;
    const Bytes versions(input.take(length));
    const std::uint8_t flags = input.byte();
    const Bytes announced(input.take(4));

    fuzzsupport::ClearFolder(where.base.path());
    fs::create_directories(where.program / "Client");
    writeFile(where.program / "Version.dat", versions);
    const Bytes gameContent = "game file content";
    if (flags & 1)
        writeFile(where.program / "Client" / "game.dat", gameContent);

    updater::FileStore store(where.program.string());
    store.LoadVersions();
    FUZZ_CHECK(store.VersionsUsable() == (!versions.empty() && versions.size() % 79 == 0));

    while (!input.empty()) {
        const Bytes folder(input.take(input.byte() % 64));
        const Bytes name(input.take(input.byte() % 32));
        const std::int32_t found = store.LookupVersion(folder, name);
        FUZZ_CHECK(found == referenceLookup(versions, folder, name));
    }

    // What SaveVersions writes reads back: one record per existing file, found by its key.
    if (flags & 1) {
        updater::FileTable table;
        table[3].folder = "Data\\";
        table[3].fileName = "game.dat";
        table[3].version = common::DecodeLong(announced.size() == 4 ? announced : Bytes(4, '\0'));
        table[3].fullPath = store.clientFolder() + "game.dat";
        table[4].fileName = "missing.dat";
        table[4].fullPath = store.clientFolder() + "missing.dat";
        FUZZ_CHECK(store.SaveVersions(table) == updater::FileError::None);
        store.LoadVersions();
        FUZZ_CHECK(store.VersionsUsable());
        FUZZ_CHECK(store.LookupVersion("Data\\", "game.dat") == table[3].version);
        FUZZ_CHECK(store.LookupVersion("", "missing.dat") == 0);
    }
    return 0;
}
