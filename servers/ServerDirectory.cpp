#include "servers/ServerDirectory.h"

#include "common/HostAddress.h"
#include "servers/AccountStore.h"
#include "servers/TextFile.h"

#include <algorithm>

namespace servers {

namespace {

bool hasControl(ByteView text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 32 || b == 127;
    });
}

} // namespace

bool IsValidServerName(ByteView name)
{
    return name.size() >= 3 && name.size() <= 40 && !hasControl(name);
}

bool IsValidServerAddress(ByteView address)
{
    // Listed addresses reach every player's game client: only what an address or a host
    // name is made of, as the clients accept it.
    return address.size() >= 7 && address.size() <= 64 && common::IsHostAddress(address);
}

ServerDirectory::ServerDirectory(std::string filePath) : m_filePath(std::move(filePath)) {}

bool ServerDirectory::load(std::string &error, std::vector<std::string> &warnings)
{
    for (auto &slot : m_slots)
        slot.reset();
    std::vector<std::vector<Bytes>> rows;
    if (!ReadTabFile(m_filePath, rows, error))
        return false;
    int lineNumber = 0;
    for (const auto &row : rows) {
        ++lineNumber;
        if (row.empty())
            continue;
        const std::string where = "servers: entry " + std::to_string(lineNumber);
        if (row.size() != 7) {
            warnings.push_back(where + " does not have 7 fields and was skipped");
            continue;
        }
        ListedServer s;
        const auto index = ParseDecimal(row[0]);
        const auto players = ParseDecimal(row[2]);
        const auto port = ParseDecimal(row[3]);
        s.owner = row[4];
        s.name = row[5];
        s.address = row[6];
        const bool ok = index && *index >= 1 && *index <= kSlots &&
                        (row[1] == "0" || row[1] == "1") && players && *players <= 255 && port &&
                        *port >= 1 && *port <= 65535 && IsValidServerName(s.name) &&
                        IsValidServerAddress(s.address) && !hasControl(s.owner) &&
                        s.owner.size() <= 40;
        if (!ok) {
            warnings.push_back(where + " is damaged and was skipped");
            continue;
        }
        s.index = *index;
        s.online = row[1] == "1";
        s.players = static_cast<std::uint8_t>(*players);
        s.port = static_cast<std::uint16_t>(*port);
        if (m_slots[static_cast<std::size_t>(s.index)]) {
            warnings.push_back(where + " uses a slot that is taken and was skipped");
            continue;
        }
        m_slots[static_cast<std::size_t>(s.index)] = std::move(s);
    }
    return true;
}

ServerDirectory::AddResult ServerDirectory::add(ListedServer &server)
{
    if (!IsValidServerName(server.name) || !IsValidServerAddress(server.address) ||
        server.port == 0 || hasControl(server.owner) || server.index < 0 || server.index > kSlots)
        return AddResult::Invalid;
    for (const auto &slot : m_slots) {
        if (!slot)
            continue;
        if (SameName(slot->name, server.name))
            return AddResult::NameTaken;
        if (!server.owner.empty() && SameName(slot->owner, server.owner))
            return AddResult::OwnerHasServer;
    }
    if (server.index == 0 || m_slots[static_cast<std::size_t>(server.index)]) {
        server.index = 0;
        for (int i = 1; i <= kSlots && server.index == 0; ++i) {
            if (!m_slots[static_cast<std::size_t>(i)])
                server.index = i;
        }
        if (server.index == 0)
            return AddResult::Full;
    }
    m_slots[static_cast<std::size_t>(server.index)] = server;
    if (!save()) {
        m_slots[static_cast<std::size_t>(server.index)].reset();
        return AddResult::StorageFailed;
    }
    return AddResult::Added;
}

bool ServerDirectory::remove(int index)
{
    if (index < 1 || index > kSlots || !m_slots[static_cast<std::size_t>(index)])
        return false;
    auto removed = std::move(m_slots[static_cast<std::size_t>(index)]);
    m_slots[static_cast<std::size_t>(index)].reset();
    if (!save()) {
        m_slots[static_cast<std::size_t>(index)] = std::move(removed);
        return false;
    }
    return true;
}

int ServerDirectory::ownedBy(ByteView account) const
{
    if (account.empty())
        return 0;
    for (const auto &slot : m_slots) {
        if (slot && SameName(slot->owner, account))
            return slot->index;
    }
    return 0;
}

const ListedServer *ServerDirectory::at(int index) const
{
    if (index < 1 || index > kSlots || !m_slots[static_cast<std::size_t>(index)])
        return nullptr;
    return &*m_slots[static_cast<std::size_t>(index)];
}

std::vector<ListedServer> ServerDirectory::all() const
{
    std::vector<ListedServer> out;
    for (const auto &slot : m_slots) {
        if (slot)
            out.push_back(*slot);
    }
    return out;
}

bool ServerDirectory::save() const
{
    std::vector<std::vector<Bytes>> rows;
    for (const auto &slot : m_slots) {
        if (!slot)
            continue;
        rows.push_back({std::to_string(slot->index), slot->online ? "1" : "0",
                        std::to_string(slot->players), std::to_string(slot->port), slot->owner,
                        slot->name, slot->address});
    }
    return WriteTabFile(m_filePath,
                        "Listed game servers: slot, online (1/0), players, port, owner, name, "
                        "address",
                        rows);
}

} // namespace servers
