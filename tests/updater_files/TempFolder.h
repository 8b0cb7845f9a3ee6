#pragma once

#include "tests/support/Links.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

// A fresh folder below `base` (the system's temporary folder unless given), removed with
// everything in it.
class TempFolder
{
public:
    explicit TempFolder(const std::filesystem::path &base = {})
    {
        std::error_code ec;
        const std::filesystem::path below =
            base.empty() ? std::filesystem::temp_directory_path(ec) : base;
        std::random_device seed;
        std::mt19937_64 random{(static_cast<std::uint64_t>(seed()) << 32) ^ seed()};
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            const std::filesystem::path candidate =
                below / ("talmora-" + std::to_string(random() % 1000000000000u));
            if (std::filesystem::create_directory(candidate, ec))
                m_path = candidate;
        }
        if (m_path.empty())
            ADD_FAILURE() << "cannot create a temporary folder below " << below.string();
    }
    ~TempFolder()
    {
        if (m_path.empty())
            return;
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        testsupport::RemoveAll(m_path);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline void writeFile(const std::filesystem::path &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline std::string readFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names of everything in `folder`, recursively, relative to it.
inline std::set<std::string> listAll(const std::filesystem::path &folder)
{
    std::set<std::string> names;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        names.insert(it->path().lexically_relative(folder).generic_string());
    return names;
}
