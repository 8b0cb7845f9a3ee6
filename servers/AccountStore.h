#pragma once

#include "common/Bytes.h"

#include <optional>
#include <string>
#include <vector>

namespace servers {

using common::Bytes;
using common::ByteView;

// A user name the registry accepts: 3 to 15 bytes, starting with a letter A-Z or a-z, with no
// control byte (below 32) and no DEL.
bool IsValidAccountName(ByteView name);
// A password the registry accepts: 3 to 64 bytes, no NUL.
bool IsValidPassword(ByteView password);

// ASCII case-insensitive equality: "Bob" and "bob" are one account.
bool SameName(ByteView a, ByteView b);

// The registry's accounts, kept in one file of their own. Passwords are never stored: each
// account holds a random 16-byte salt and PBKDF2-HMAC-SHA256 of the password with that salt.
// File format, one account per line, fields separated by a tab:
//   name  pbkdf2-sha256  iterations  salt (hex)  key (hex)
// Lines starting with "#" are comments. The file is rewritten whole through a temporary file
// and a rename on every change, so a crash never leaves it half-written.
class AccountStore
{
public:
    // `iterations`: the work factor for passwords stored from now on (existing accounts keep
    // the one they were stored with).
    AccountStore(std::string filePath, int iterations);

    // Reads the file; a missing file is an empty store. False (with `error`) when the file
    // exists but cannot be read. Damaged lines are skipped and described in `warnings`.
    bool load(std::string &error, std::vector<std::string> &warnings);

    enum class CreateResult
    {
        Created,
        Exists,
        Invalid,
        StorageFailed
    };
    CreateResult create(ByteView name, ByteView password);

    // The account's name as stored when the password is right, else nothing.
    std::optional<Bytes> verify(ByteView name, ByteView password) const;

    bool exists(ByteView name) const;
    // Removes the account; false when there is none or the file cannot be written.
    bool remove(ByteView name);
    std::vector<Bytes> names() const;
    std::size_t size() const { return m_accounts.size(); }

    static constexpr int kDefaultIterations = 100000;

private:
    struct Account
    {
        Bytes name;
        int iterations = 0;
        Bytes salt;
        Bytes key;
    };

    const Account *find(ByteView name) const;
    bool save() const;

    std::string m_filePath;
    int m_iterations;
    std::vector<Account> m_accounts;
};

} // namespace servers
