#include "registry/net/RegistryProtocol.h"

#include "common/ByteReader.h"
#include "common/Codec.h"

namespace registry {

namespace {

char byteChar(std::uint8_t value)
{
    return static_cast<char>(value);
}

Bytes typeAndSub(OutboundType type, std::uint8_t sub)
{
    Bytes body;
    body.push_back(byteChar(static_cast<std::uint8_t>(type)));
    body.push_back(byteChar(sub));
    return body;
}

Bytes credentialsBody(AccountRequest sub, ByteView user, ByteView password)
{
    Bytes body = typeAndSub(OutboundType::Account, static_cast<std::uint8_t>(sub));
    body.reserve(body.size() + user.size() + 1 + password.size());
    body.append(user);
    body.push_back('\0');
    body.append(password);
    return body;
}

} // namespace

Bytes VersionCheckBody(ByteView version, ByteView machineId)
{
    Bytes body(1, byteChar(static_cast<std::uint8_t>(OutboundType::VersionCheck)));
    body.append(version);
    body.push_back('\0');
    body.append(machineId);
    return body;
}

Bytes MyAddressRequestBody()
{
    return Bytes(1, byteChar(static_cast<std::uint8_t>(OutboundType::MyAddressRequest)));
}

Bytes KeepAliveBody()
{
    return Bytes(1, byteChar(static_cast<std::uint8_t>(OutboundType::KeepAlive)));
}

Bytes CreateAccountRequestBody(ByteView user, ByteView password)
{
    return credentialsBody(AccountRequest::CreateAccount, user, password);
}

Bytes LoginRequestBody(ByteView user, ByteView password)
{
    return credentialsBody(AccountRequest::Login, user, password);
}

Bytes LogoutRequestBody()
{
    return typeAndSub(OutboundType::Account, static_cast<std::uint8_t>(AccountRequest::Logout));
}

Bytes ChatSayBody(ByteView text)
{
    Bytes body(1, byteChar(static_cast<std::uint8_t>(OutboundType::ChatSay)));
    body.append(text);
    return body;
}

Bytes AddServerRequestBody(std::int32_t port, ByteView name, ByteView address)
{
    Bytes body =
        typeAndSub(OutboundType::Server, static_cast<std::uint8_t>(ServerRequest::AddServer));
    body += common::EncodeLong(port);
    body.append(name);
    body.push_back('\0');
    body.append(address);
    return body;
}

bool VersionReply::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    sub = reader.byte();
    if (sub == static_cast<std::uint8_t>(VersionResult::Accepted))
        reader.byte(); // unused, but without it the message is incomplete
    return reader.ok();
}

bool ServerEntryFields::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    const std::uint8_t sentIndex = reader.byte();
    const std::uint8_t status = reader.byte();
    const std::uint8_t sentPlayers = reader.byte();
    const ByteView sentName = reader.nulText();
    const ByteView sentAdministrator = reader.nulText();
    const ByteView sentAddress = reader.rest();
    if (!reader.ok())
        return false;
    index = sentIndex;
    online = status == 1;
    players = sentPlayers;
    name = common::TrimPadding(sentName);
    administrator = common::TrimPadding(sentAdministrator);
    address = common::TrimPadding(sentAddress);
    return true;
}

bool BootNotice::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    code = reader.byte();
    return reader.ok();
}

bool AccountReplyMessage::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    sub = reader.byte();
    const auto reply = static_cast<AccountReply>(sub);
    if (reply == AccountReply::LoginAccepted || reply == AccountReply::ServerCreated)
        ownServer = reader.byte();
    if (reply == AccountReply::LoginAccepted)
        name = reader.rest();
    return reader.ok();
}

bool UserListMessage::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    sub = reader.byte();
    if (sub == static_cast<std::uint8_t>(UserListChange::Add)) {
        reader.skipUpTo(1);
        name = reader.rest();
    }
    return reader.ok();
}

unsigned char UpperCase1252(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: // s caron
    case 0x9C: // oe ligature
    case 0x9E: // z caron
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF: // y diaeresis
        return 0x9F;
    case 0xF7: // division sign has no case
        return c;
    default:
        break;
    }
    if (c >= 0xE0 && c <= 0xFE)
        return static_cast<unsigned char>(c - 0x20);
    return c;
}

Bytes UpperCase1252(ByteView text)
{
    Bytes out(text);
    for (char &c : out)
        c = static_cast<char>(UpperCase1252(static_cast<unsigned char>(c)));
    return out;
}

} // namespace registry
