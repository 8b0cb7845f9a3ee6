#pragma once

#include "common/Bytes.h"

#include <cstdint>

namespace registry {

using common::Bytes;
using common::ByteView;

// Message types of the registry protocol. Positions in the layout comments count from 1 over
// the whole body; position 1 is the type. Only ever appended to.
enum class OutboundType : std::uint8_t
{
    VersionCheck = 0,     // 0 | "R0.7" | NUL | machine identifier
    MyAddressRequest = 1, // 1
    KeepAlive = 2,        // 2
    Account = 3,          // 3 | sub | ...
    ChatSay = 5,          // 5 | text
    Server = 6,           // 6 | sub | ...
};

enum class InboundType : std::uint8_t
{
    Version = 0,         // 0 | sub (0 accepted + one unused byte, 1 out-dated)
    ServerEntry = 1,     // 1 | index | status | players | name NUL administrator NUL address
    BootNotice = 2,      // 2 | reason code
    MyAddressReply = 3,  // 3 | address text
    ServerPing = 4,      // 4
    AccountReply = 5,    // 5 | sub | ...
    UserList = 6,        // 6 | sub (0 clear, 1 add: one skipped byte, then the name)
    ChatLine = 7,        // 7 | text
    ServerListClear = 8, // 8
};

// Sub-types of inbound type 5.
enum class AccountReply : std::uint8_t
{
    AccountCreated = 0,  // 5 0
    AccountExists = 1,   // 5 1
    LoginAccepted = 2,   // 5 2 | own server byte | user name
    LoginRejected = 3,   // 5 3
    AlreadyLoggedIn = 4, // 5 4
    ServerCreated = 5,   // 5 5 | own server byte
};

// Request bodies, ready for the framing.
Bytes VersionCheckBody(ByteView version, ByteView machineId);
Bytes MyAddressRequestBody();
Bytes KeepAliveBody();
Bytes CreateAccountRequestBody(ByteView user, ByteView password); // 3 0 | user NUL password
Bytes LoginRequestBody(ByteView user, ByteView password);         // 3 1 | user NUL password
Bytes LogoutRequestBody();                                        // 3 2
Bytes ChatSayBody(ByteView text);
Bytes AddServerRequestBody(std::int32_t port, ByteView name,
                           ByteView address); // 6 0 | port long | name NUL address

// A decoded ServerEntry.
struct ServerEntryFields
{
    int index = 0;
    bool online = false;
    std::uint8_t players = 0;
    Bytes name;
    Bytes administrator;
    Bytes address;
};
// `fields` is the body without its type byte. Returns false for an entry shorter than its
// three fixed bytes after the type or missing either NUL separator; the texts are trimmed of
// trailing blanks and NULs. The index is returned as sent (0 to 255).
bool DecodeServerEntry(ByteView fields, ServerEntryFields &out);

// Windows-1252 upper case of one byte (the code page the client's texts are in).
unsigned char UpperCase1252(unsigned char c);
Bytes UpperCase1252(ByteView text);

} // namespace registry
