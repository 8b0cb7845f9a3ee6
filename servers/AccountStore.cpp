#include "servers/AccountStore.h"

#include "servers/TextFile.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>

#include <algorithm>

namespace servers {

namespace {

constexpr const char *kScheme = "pbkdf2-sha256";
constexpr int kSaltLength = 16;
constexpr int kKeyLength = 32;

Bytes derive(ByteView password, ByteView salt, int iterations)
{
    const QByteArray key = QPasswordDigestor::deriveKeyPbkdf2(
        QCryptographicHash::Sha256,
        QByteArray(password.data(), static_cast<qsizetype>(password.size())),
        QByteArray(salt.data(), static_cast<qsizetype>(salt.size())), iterations, kKeyLength);
    return Bytes(key.constData(), static_cast<std::size_t>(key.size()));
}

// Compares without an early exit, so the time taken says nothing about where keys differ.
bool sameKey(ByteView a, ByteView b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

bool IsValidAccountName(ByteView name)
{
    if (name.size() < 3 || name.size() > 15)
        return false;
    const unsigned char first = common::byteAt(name, 0);
    if (!((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')))
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 32 || b == 127;
    });
}

bool IsValidPassword(ByteView password)
{
    return password.size() >= 3 && password.size() <= 64 && password.find('\0') == ByteView::npos;
}

bool SameName(ByteView a, ByteView b)
{
    return common::equalsIgnoringAsciiCase(a, b);
}

AccountStore::AccountStore(std::string filePath, int iterations)
    : m_filePath(std::move(filePath)), m_iterations(std::max(1, iterations))
{
}

bool AccountStore::load(std::string &error, std::vector<std::string> &warnings)
{
    m_accounts.clear();
    std::vector<std::vector<Bytes>> rows;
    if (!ReadTabFile(m_filePath, rows, error))
        return false;
    int lineNumber = 0;
    for (const auto &row : rows) {
        ++lineNumber;
        if (row.empty())
            continue;
        Account account;
        bool ok = row.size() == 5 && IsValidAccountName(row[0]) && row[1] == kScheme;
        if (ok) {
            account.name = row[0];
            account.iterations = ParseDecimal(row[2]).value_or(0);
            const auto salt = FromHex(row[3]);
            const auto key = FromHex(row[4]);
            ok = account.iterations > 0 && salt && key && key->size() == kKeyLength &&
                 !salt->empty();
            if (ok) {
                account.salt = *salt;
                account.key = *key;
            }
        }
        if (ok && find(account.name)) {
            warnings.push_back("accounts: entry " + std::to_string(lineNumber) +
                               " repeats an account name; the first one is kept");
            continue;
        }
        if (!ok) {
            warnings.push_back("accounts: entry " + std::to_string(lineNumber) +
                               " is damaged and was skipped");
            continue;
        }
        m_accounts.push_back(std::move(account));
    }
    return true;
}

const AccountStore::Account *AccountStore::find(ByteView name) const
{
    for (const auto &account : m_accounts) {
        if (SameName(account.name, name))
            return &account;
    }
    return nullptr;
}

bool AccountStore::exists(ByteView name) const
{
    return find(name) != nullptr;
}

AccountStore::CreateResult AccountStore::create(ByteView name, ByteView password)
{
    if (!IsValidAccountName(name) || !IsValidPassword(password))
        return CreateResult::Invalid;
    if (find(name))
        return CreateResult::Exists;
    Account account;
    account.name = Bytes(name);
    account.iterations = m_iterations;
    account.salt.resize(kSaltLength);
    for (auto &c : account.salt)
        c = static_cast<char>(QRandomGenerator::system()->bounded(256));
    account.key = derive(password, account.salt, account.iterations);
    m_accounts.push_back(std::move(account));
    if (!save()) {
        m_accounts.pop_back();
        return CreateResult::StorageFailed;
    }
    return CreateResult::Created;
}

std::optional<Bytes> AccountStore::verify(ByteView name, ByteView password) const
{
    const Account *account = find(name);
    if (!account || password.find('\0') != ByteView::npos)
        return std::nullopt;
    if (!sameKey(derive(password, account->salt, account->iterations), account->key))
        return std::nullopt;
    return account->name;
}

bool AccountStore::remove(ByteView name)
{
    const auto it = std::find_if(m_accounts.begin(), m_accounts.end(),
                                 [&](const Account &a) { return SameName(a.name, name); });
    if (it == m_accounts.end())
        return false;
    Account removed = *it;
    const auto pos = it - m_accounts.begin();
    m_accounts.erase(it);
    if (!save()) {
        m_accounts.insert(m_accounts.begin() + pos, std::move(removed));
        return false;
    }
    return true;
}

std::vector<Bytes> AccountStore::names() const
{
    std::vector<Bytes> out;
    for (const auto &account : m_accounts)
        out.push_back(account.name);
    return out;
}

bool AccountStore::save() const
{
    std::vector<std::vector<Bytes>> rows;
    for (const auto &a : m_accounts)
        rows.push_back(
            {a.name, kScheme, std::to_string(a.iterations), ToHex(a.salt), ToHex(a.key)});
    return WriteTabFile(m_filePath,
                        "Registry accounts: name, scheme, iterations, salt, key. Passwords are "
                        "not stored.",
                        rows);
}

} // namespace servers
