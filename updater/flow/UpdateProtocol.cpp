#include "updater/flow/UpdateProtocol.h"

#include "common/ByteReader.h"
#include "common/Codec.h"

namespace updater {

namespace {

Bytes typed(FromServer type)
{
    return Bytes(1, static_cast<char>(type));
}

Bytes typed(ToServer type)
{
    return Bytes(1, static_cast<char>(type));
}

char byteChar(int value)
{
    return static_cast<char>(static_cast<unsigned char>(value));
}

// A number as the Updater reads it: four bytes, the first below 128.
bool readLong(common::ByteReader &reader, std::int32_t &value)
{
    const ByteView bytes = reader.take(4);
    if (!reader.ok() || !common::LongFits(bytes))
        return false;
    value = common::DecodeLong(bytes);
    return true;
}

// A body of one byte (anything after it is not read).
bool readOneByte(ByteView fields, std::uint8_t &value)
{
    common::ByteReader reader(fields);
    value = reader.byte();
    return reader.ok();
}

} // namespace

Bytes VersionCheckBody(ByteView version)
{
    return typed(ToServer::UpdateVersionCheck) + Bytes(version);
}

Bytes FileRequestBody(int index)
{
    return typed(ToServer::FileRequest) + byteChar(index);
}

Bytes TransferAckBody(int index, std::int32_t received)
{
    return typed(ToServer::TransferAck) + byteChar(index) + common::EncodeLong(received);
}

Bytes SetLaunchFileBody(ByteView path)
{
    return typed(FromServer::SetLaunchFile) + Bytes(path);
}

Bytes FolderEntryBody(int number, ByteView folder)
{
    return typed(FromServer::FolderEntry) + byteChar(number) + Bytes(folder);
}

Bytes FileCountBody(int count)
{
    return typed(FromServer::FileCount) + byteChar(count);
}

Bytes FileInfoBody(int index, std::int32_t version, ByteView name, ByteView folder)
{
    return typed(FromServer::FileInfo) + byteChar(index) + common::EncodeLong(version) +
           Bytes(name) + '\0' + Bytes(folder);
}

Bytes FileListEndBody()
{
    return typed(FromServer::FileListEnd);
}

Bytes FileDataBody(int index, std::int32_t size)
{
    return typed(FromServer::FileData) + byteChar(index) + common::EncodeLong(size);
}

bool SetLaunchFileMessage::decode(ByteView fields)
{
    path = fields;
    return true;
}

bool FolderEntryMessage::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    number = reader.byte();
    folder = reader.rest();
    return reader.ok();
}

bool FileCountMessage::decode(ByteView fields)
{
    return readOneByte(fields, count);
}

bool FileInfoMessage::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    index = reader.byte();
    if (!readLong(reader, version))
        return false;
    const ByteView rest = reader.rest();
    const auto nul = rest.find('\0');
    name = nul == ByteView::npos ? ByteView() : rest.substr(0, nul);
    folder = nul == ByteView::npos ? rest : rest.substr(nul + 1);
    return true;
}

bool FileDataMessage::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    index = reader.byte();
    return readLong(reader, size);
}

bool FileRequestMessage::decode(ByteView fields)
{
    return readOneByte(fields, index);
}

bool TransferAckMessage::decode(ByteView fields)
{
    common::ByteReader reader(fields);
    index = reader.byte();
    const ByteView bytes = reader.take(4);
    if (!reader.ok())
        return false;
    received = static_cast<std::uint32_t>(common::DecodeLong(bytes));
    return true;
}

bool DecodeUpdateExeSize(ByteView bytes, std::int32_t &size)
{
    common::ByteReader reader(bytes);
    return readLong(reader, size);
}

} // namespace updater
