// The INI store reading and editing a file with fuzzed content.
//
// Input: one byte each for the lengths of a section, a key and a value to write (and of a
// second section and key to look at), those texts, then the file's content. The target reads
// both keys, writes the first, and checks that a successful write reads back as written
// (trimmed, one pair of quotes stripped, at most 255 bytes) while the other key keeps its
// value; a refused write must leave the file as it was.
#include "FuzzSupport.h"

#include "common/IniStore.h"

#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using common::Bytes;
using common::ByteView;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

ByteView trim(ByteView text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool sameName(ByteView a, ByteView b)
{
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

Bytes expectedRead(ByteView value)
{
    value = trim(value);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return Bytes(value.substr(0, 255));
}

Bytes readAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const fs::path &folder()
{
    static fuzzsupport::TemporaryFolder temporary("ini");
    return temporary.path();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzsupport::Reader input(data, size);
    const std::size_t sectionLength = input.byte() % 24;
    const std::size_t keyLength = input.byte() % 24;
    const std::size_t valueLength = input.byte();
    const std::size_t otherSectionLength = input.byte() % 24;
    const std::size_t otherKeyLength = input.byte() % 24;
    const Bytes section(input.take(sectionLength));
    const Bytes key(input.take(keyLength));
    const Bytes value(input.take(valueLength));
    const Bytes otherSection(input.take(otherSectionLength));
    const Bytes otherKey(input.take(otherKeyLength));
    const Bytes content(input.rest());

    fuzzsupport::ClearFolder(folder());
    const fs::path file = folder() / "Settings.ini";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    const Bytes path = file.string();

    const Bytes before = common::ReadIniString(path, section, key);
    FUZZ_CHECK(before.size() <= 255);
    const Bytes otherBefore = common::ReadIniString(path, otherSection, otherKey);
    (void)common::ReadIniNumber(path, section, key, -7);

    const bool written = common::WriteIni(path, section, key, value);
    if (written) {
        FUZZ_CHECK(common::ReadIniString(path, section, key) == expectedRead(value));
        if (!(sameName(section, otherSection) && sameName(key, otherKey)))
            FUZZ_CHECK(common::ReadIniString(path, otherSection, otherKey) == otherBefore);
        // A second write of the same value changes nothing.
        const Bytes once = readAll(file);
        FUZZ_CHECK(common::WriteIni(path, section, key, value));
        FUZZ_CHECK(readAll(file) == once);
    } else {
        FUZZ_CHECK(readAll(file) == content);
    }
    // Nothing but the file itself remains in the folder (no temporary file).
    std::size_t entries = 0;
    for (const auto &entry : fs::directory_iterator(folder())) {
        (void)entry;
        ++entries;
    }
    FUZZ_CHECK(entries == 1);
    return 0;
}
