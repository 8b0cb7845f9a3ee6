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

// Sub-types of outbound type 3.
enum class AccountRequest : std::uint8_t
{
    CreateAccount = 0, // 3 0 | user NUL password
    Login = 1,         // 3 1 | user NUL password
    Logout = 2,        // 3 2
};

// Sub-types of outbound type 6.
enum class ServerRequest : std::uint8_t
{
    AddServer = 0, // 6 0 | port long | name NUL address
};

// Sub-types of inbound type 0.
enum class VersionResult : std::uint8_t
{
    Accepted = 0, // 0 0 | unused byte
    Outdated = 1, // 0 1
};

// Sub-types of inbound type 6.
enum class UserListChange : std::uint8_t
{
    Clear = 0, // 6 0
    Add = 1,   // 6 1 | skipped byte | name
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

// Inbound messages. Each decode() takes the body without its type byte and returns false
// for a message too short (or missing a separator) to be acted on; such a message is ignored.
// Texts are views into the body.

// 0 | sub: 0 accepted (one more byte, unused), 1 out-dated; other sub-types mean nothing.
struct VersionReply
{
    std::uint8_t sub = 0;
    bool decode(ByteView fields);
};

// 1 | index | status | players | name NUL administrator NUL address. The texts are trimmed
// of trailing blanks and NULs; the index is returned as sent (0 to 255).
struct ServerEntryFields
{
    int index = 0;
    bool online = false;
    std::uint8_t players = 0;
    Bytes name;
    Bytes administrator;
    Bytes address;
    bool decode(ByteView fields);
};

// 2 | reason code.
struct BootNotice
{
    std::uint8_t code = 0;
    bool decode(ByteView fields);
};

// 5 | sub | own server byte (LoginAccepted, ServerCreated) | user name (LoginAccepted).
struct AccountReplyMessage
{
    std::uint8_t sub = 0;
    std::uint8_t ownServer = 0;
    ByteView name;
    bool decode(ByteView fields);
};

// 6 | sub: 0 clear, 1 add: one byte skipped whatever it is (if there), then the name, which
// may be empty.
struct UserListMessage
{
    std::uint8_t sub = 0;
    ByteView name;
    bool decode(ByteView fields);
};

// 3 | address text and 7 | text run to the end of the body; 4 and 8 carry nothing.

// Windows-1252 upper case of one byte (the code page the client's texts are in).
unsigned char UpperCase1252(unsigned char c);
Bytes UpperCase1252(ByteView text);

} // namespace registry
