#pragma once

#include "common/Bytes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace servers {

using common::Bytes;
using common::ByteView;

// One game server in the registry's list.
struct ListedServer
{
    int index = 0; // 1..30, the slot the clients show it in
    Bytes name;
    Bytes owner; // the account that registered it (shown as its administrator)
    Bytes address;
    std::uint16_t port = 5750;
    bool online = true;
    std::uint8_t players = 0;
};

// A server name the registry accepts: 3 to 40 bytes, no control byte, no DEL.
bool IsValidServerName(ByteView name);
// An address text the registry accepts: 7 to 64 letters, digits, ".", "-" or ":", not
// starting with "-".
bool IsValidServerAddress(ByteView address);

// The registry's list of game servers: 30 slots, kept in a file of their own.
// File format, one server per line, fields separated by a tab:
//   index  online (1/0)  players  port  owner  name  address
// Written whole through a temporary file and a rename on every change.
class ServerDirectory
{
public:
    static constexpr int kSlots = 30;

    explicit ServerDirectory(std::string filePath);

    bool load(std::string &error, std::vector<std::string> &warnings);

    enum class AddResult
    {
        Added,
        Full,
        NameTaken,
        OwnerHasServer,
        Invalid,
        StorageFailed
    };
    // Puts the server in the lowest free slot (its `index` is set) unless `server.index` names
    // a free slot already.
    AddResult add(ListedServer &server);
    bool remove(int index);

    // Slot of the server the account registered, or 0.
    int ownedBy(ByteView account) const;
    const ListedServer *at(int index) const;
    std::vector<ListedServer> all() const; // in slot order

private:
    bool save() const;

    std::string m_filePath;
    std::array<std::optional<ListedServer>, kSlots + 1> m_slots; // [0] unused
};

} // namespace servers
