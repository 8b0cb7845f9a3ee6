#pragma once

// Small helpers the fuzz targets share: a reader over the fuzzer's bytes, a temporary
// folder that lives for the whole process, and a snapshot of a folder tree used to prove
// that nothing changed outside the place a target may write to.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace fuzzsupport {

// Takes bytes from the front of the input; reads past the end give zeros.
class Reader
{
public:
    Reader(const std::uint8_t *data, std::size_t size)
        : m_data(reinterpret_cast<const char *>(data), size)
    {
    }

    std::size_t remaining() const { return m_data.size() - m_pos; }
    bool empty() const { return remaining() == 0; }

    std::uint8_t byte()
    {
        if (m_pos >= m_data.size())
            return 0;
        return static_cast<std::uint8_t>(m_data[m_pos++]);
    }
    std::string_view take(std::size_t count)
    {
        const std::size_t n = count < remaining() ? count : remaining();
        const std::string_view out = m_data.substr(m_pos, n);
        m_pos += n;
        return out;
    }
    std::string_view rest() { return take(remaining()); }

private:
    std::string_view m_data;
    std::size_t m_pos = 0;
};

// A deterministic stream of small numbers from a seed the input chooses (xorshift).
class Schedule
{
public:
    explicit Schedule(std::uint32_t seed) : m_state(seed * 2654435761u + 0x9E3779B9u) {}
    std::uint32_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state;
    }
    std::uint32_t below(std::uint32_t bound) { return bound == 0 ? 0 : next() % bound; }

private:
    std::uint32_t m_state;
};

[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "fuzz invariant violated: %s\n", what);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzzsupport::fail(#condition " (" __FILE__ ")");                                     \
    } while (0)

// A fresh folder under the system's temporary folder (the memory-backed /dev/shm when there
// is one: the targets write and flush files for every input), removed when the process ends.
class TemporaryFolder
{
public:
    explicit TemporaryFolder(const char *tag)
    {
        namespace fs = std::filesystem;
        std::error_code ec;
        fs::path base = "/dev/shm";
        if (!fs::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0)
            base = fs::temp_directory_path(ec);
        for (unsigned attempt = 0;; ++attempt) {
            const fs::path candidate =
                base / (std::string("talmora-fuzz-") + tag + "-" + std::to_string(std::rand()) +
                        "-" + std::to_string(attempt));
            if (fs::create_directory(candidate, ec)) {
                m_path = fs::canonical(candidate);
                return;
            }
            if (attempt > 100)
                fail("cannot create a temporary folder");
        }
    }
    ~TemporaryFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TemporaryFolder(const TemporaryFolder &) = delete;
    TemporaryFolder &operator=(const TemporaryFolder &) = delete;

    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Every entry below `root` (links not followed) with its kind, size and content, except the
// subtree `skip` (when given).
inline std::map<std::string, std::string> Snapshot(const std::filesystem::path &root,
                                                   const std::filesystem::path &skip = {})
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path &p = it->path();
        if (!skip.empty() && p == skip) {
            it.disable_recursion_pending();
            continue;
        }
        std::string description;
        const fs::file_status st = fs::symlink_status(p, ec);
        if (fs::is_symlink(st)) {
            description = "link:" + fs::read_symlink(p, ec).string();
        } else if (fs::is_directory(st)) {
            description = "folder";
        } else {
            description = "file:";
            if (std::FILE *f = std::fopen(p.c_str(), "rb")) {
                char buffer[4096];
                std::size_t got;
                while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
                    description.append(buffer, got);
                std::fclose(f);
            }
        }
        out[p.string()] = description;
    }
    return out;
}

// Empties a folder, keeping the folder itself.
inline void ClearFolder(const std::filesystem::path &folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec))
        fs::remove_all(entry.path(), ec);
}

} // namespace fuzzsupport
