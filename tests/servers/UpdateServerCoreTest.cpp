#include "servers/UpdateServerCore.h"

#include "FakeConnections.h"
#include "updater/files/Packing.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace servers;
using namespace servertest;
using common::byteString;

namespace {

Bytes plain(const Bytes &body)
{
    return *common::BuildPacket(body, common::PacketKind::Plain);
}

void put(const QString &path, const Bytes &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
}

// What the Updater finds in one server reply: packets up to a FileData, then raw bytes.
struct Reply
{
    std::vector<common::Packet> packets;
    Bytes raw;
};

Reply parse(const Bytes &bytes)
{
    Reply reply;
    common::ReceiveBuffer buffer;
    buffer.append(bytes);
    while (auto p = buffer.cutPacket()) {
        reply.packets.push_back(*p);
        if (p->type == 5)
            break;
    }
    reply.raw = Bytes(buffer.view());
    return reply;
}

Bytes unpackMarked(const Bytes &data)
{
    const Bytes marker = updater::PackedMarker();
    EXPECT_EQ(data.substr(0, marker.size()), marker);
    return updater::Unpack(data.substr(marker.size())).value_or("<damaged>");
}

class UpdateCore : public ::testing::Test
{
protected:
    UpdateCore()
    {
        client = dir.filePath("Client");
        program = dir.filePath("Program");
        put(client + "/Registry.exe", "registry program");
        put(client + "/Empty.txt", "");
        put(client + "/Maps/Town/Square.map", Bytes(5000, 'T'));
        put(client + "/Maps/Town/Well.map", "well");
        put(client + "/Data/Items.dat", Bytes("\0\1\2\377", 4));
        QDir().mkpath(client + "/Maps/Field");
        put(program + "/zlib.dll", "ZLIB LIBRARY BYTES");
        settings.launchFile = "Registry.exe";
        makeCore();
    }

    void makeCore()
    {
        folder = std::make_unique<GameFolder>(client.toStdString(), program.toStdString(),
                                              log.function());
        core = std::make_unique<UpdateServerCore>(
            UpdateServerCore::Ports{clock, net, *folder, log.function()}, settings);
    }

    Reply ask(ConnectionId id, const Bytes &body)
    {
        core->onData(id, plain(body));
        Reply reply = parse(net.sent[id]);
        net.sent[id].clear();
        return reply;
    }

    std::vector<common::Packet> list(ConnectionId id)
    {
        core->onOpened(id, "127.0.0.1");
        return ask(id, Bytes(1, '\0') + "V5.323").packets;
    }

    bool open(ConnectionId id) const { return !net.closed.count(id); }

    QTemporaryDir dir;
    QString client;
    QString program;
    common::ManualClock clock{0};
    FakeConnections net;
    LogLines log;
    UpdateServerSettings settings;
    std::unique_ptr<GameFolder> folder;
    std::unique_ptr<UpdateServerCore> core;
};

std::int32_t versionOf(const Bytes &content)
{
    return common::ByteSum(updater::PackedMarker() + updater::Pack(content));
}

common::Packet fileInfo(int index, const Bytes &content, const Bytes &name, const Bytes &folder)
{
    return packet(3, Bytes(1, static_cast<char>(index)) + common::EncodeLong(versionOf(content)) +
                         name + Bytes(1, '\0') + folder);
}

} // namespace

TEST_F(UpdateCore, DescribesTheFolderTreeAndEveryFile)
{
    const std::vector<common::Packet> expected = {
        packet(0, "Registry.exe"),
        packet(1, byteString({1}) + "Data\\"),
        packet(1, byteString({2}) + "Maps\\Field\\"),
        packet(1, byteString({3}) + "Maps\\Town\\"),
        packet(2, byteString({5})),
        fileInfo(2, "", "Empty.txt", ""),
        fileInfo(3, "registry program", "Registry.exe", ""),
        fileInfo(4, Bytes("\0\1\2\377", 4), "Items.dat", "Data\\"),
        fileInfo(5, Bytes(5000, 'T'), "Square.map", "Maps\\Town\\"),
        fileInfo(6, "well", "Well.map", "Maps\\Town\\"),
        packet(4),
    };
    EXPECT_EQ(list(1), expected);
    // The empty file's version is the byte sum of the marker alone, as the Updater computes it.
    EXPECT_EQ(versionOf(""), 150);
}

TEST_F(UpdateCore, SendsZlibRawAndGameFilesPacked)
{
    list(1);
    Reply reply = ask(1, byteString({1, 0}));
    ASSERT_EQ(reply.packets.size(), 1u);
    EXPECT_EQ(reply.packets[0], packet(5, byteString({0}) + common::EncodeLong(18)));
    EXPECT_EQ(reply.raw, "ZLIB LIBRARY BYTES");

    reply = ask(1, byteString({1, 5}));
    ASSERT_EQ(reply.packets.size(), 1u);
    EXPECT_EQ(reply.packets[0].fields.substr(0, 1), byteString({5}));
    EXPECT_EQ(common::DecodeLong(reply.packets[0].fields.substr(1)),
              static_cast<std::int32_t>(reply.raw.size()));
    EXPECT_EQ(unpackMarked(reply.raw), Bytes(5000, 'T'));
    // The version announced is that of exactly these bytes.
    EXPECT_EQ(common::ByteSum(reply.raw), versionOf(Bytes(5000, 'T')));

    reply = ask(1, byteString({1, 2})); // the empty file: the marker alone
    EXPECT_EQ(reply.raw, updater::PackedMarker());

    // Each file once per connection: a repeated request is not served again.
    reply = ask(1, byteString({1, 5}));
    EXPECT_TRUE(reply.packets.empty());
    EXPECT_TRUE(reply.raw.empty());
    EXPECT_TRUE(log.contains("repeated request for file 5"));
    EXPECT_TRUE(open(1));
}

TEST_F(UpdateCore, OffersAndSendsTheSelfUpdatePair)
{
    put(program + "/Updater.dat", "new updater");
    put(program + "/Update.exe", "installer of the new updater");
    const auto packets = list(1);
    ASSERT_GT(packets.size(), 6u);
    EXPECT_EQ(packets[4], packet(2, byteString({6})));
    EXPECT_EQ(packets[5], fileInfo(1, "new updater", "Updater.dat", ""));

    const Reply reply = ask(1, byteString({1, 1}));
    ASSERT_EQ(reply.packets.size(), 1u);
    const Bytes &fields = reply.packets[0].fields;
    EXPECT_EQ(common::byteAt(fields, 0), 1);
    const auto first = static_cast<std::size_t>(common::DecodeLong(fields.substr(1)));
    ASSERT_GE(reply.raw.size(), first + 4);
    EXPECT_EQ(unpackMarked(reply.raw.substr(0, first)), "new updater");
    const auto second = static_cast<std::size_t>(common::DecodeLong(reply.raw.substr(first)));
    ASSERT_EQ(reply.raw.size(), first + 4 + second);
    EXPECT_EQ(unpackMarked(reply.raw.substr(first + 4)), "installer of the new updater");
}

TEST_F(UpdateCore, WithoutAPairEntryOneIsNotOffered)
{
    put(program + "/Updater.dat", "new updater"); // Update.exe is missing
    const auto packets = list(1);
    EXPECT_EQ(packets[4], packet(2, byteString({5})));
    EXPECT_TRUE(ask(1, byteString({1, 1})).packets.empty());
    EXPECT_TRUE(open(1));
}

TEST_F(UpdateCore, ServesNothingOutsideItsFolder)
{
    QTemporaryDir outside;
    put(outside.filePath("secret.txt"), "secret");
    ASSERT_TRUE(QFile::link(outside.filePath("secret.txt"), client + "/Linked.txt"));
    ASSERT_TRUE(QFile::link(outside.path(), client + "/LinkedFolder"));
    put(client + "/.hidden", "hidden");
    put(client + "/CON.txt", "device name");
    put(client + "/Back\\slash.txt", "backslash");
    makeCore();
    const auto packets = list(1);
    EXPECT_EQ(packets[4], packet(2, byteString({5}))) << "only the five ordinary files";
    for (const auto &p : packets) {
        EXPECT_EQ(p.fields.find("secret"), Bytes::npos);
        EXPECT_EQ(p.fields.find("Linked"), Bytes::npos);
        EXPECT_EQ(p.fields.find("hidden"), Bytes::npos);
        EXPECT_EQ(p.fields.find("CON"), Bytes::npos);
        EXPECT_EQ(p.fields.find("slash"), Bytes::npos);
    }
    EXPECT_TRUE(log.contains("a link"));

    // A file swapped for a link after the list was sent is not read through the link.
    ASSERT_TRUE(QFile::remove(client + "/Registry.exe"));
    ASSERT_TRUE(QFile::link(outside.filePath("secret.txt"), client + "/Registry.exe"));
    const Reply reply = ask(1, byteString({1, 3}));
    EXPECT_TRUE(reply.packets.empty());
    EXPECT_EQ(reply.raw.find("secret"), Bytes::npos);
    EXPECT_FALSE(open(1));
}

TEST_F(UpdateCore, AnnouncesAtMostFifteenFolders)
{
    for (int i = 0; i < 17; ++i)
        put(client + QStringLiteral("/Extra/F%1/file.txt").arg(i, 2, 10, QLatin1Char('0')), "x");
    makeCore();
    const auto packets = list(1);
    int folders = 0;
    for (const auto &p : packets) {
        if (p.type == 1)
            ++folders;
        // Files are offered only in announced folders (F14 and later are not).
        if (p.type == 3) {
            EXPECT_EQ(p.fields.find("Extra\\F14\\"), Bytes::npos);
        }
    }
    EXPECT_EQ(folders, 15);
    EXPECT_TRUE(log.contains("at most 15"));
}

TEST_F(UpdateCore, PicksUpChangesAtTheNextVersionCheck)
{
    list(1);
    put(client + "/Maps/Town/Well.map", "a deeper well");
    put(client + "/New.txt", "new");
    const auto packets = list(2);
    EXPECT_NE(std::find(packets.begin(), packets.end(),
                        fileInfo(7, "a deeper well", "Well.map", "Maps\\Town\\")),
              packets.end());
    EXPECT_NE(std::find(packets.begin(), packets.end(), fileInfo(3, "new", "New.txt", "")),
              packets.end());
}

TEST_F(UpdateCore, WithoutZlibTheConnectionIsDropped)
{
    QFile::remove(program + "/zlib.dll");
    core->onOpened(1, "127.0.0.1");
    const Reply reply = ask(1, byteString({1, 0}));
    EXPECT_TRUE(reply.packets.empty());
    EXPECT_FALSE(open(1));
    EXPECT_TRUE(log.contains("zlib.dll"));
}

TEST_F(UpdateCore, ReadsAcknowledgements)
{
    list(1);
    const Reply reply = ask(1, byteString({1, 6}));
    const auto size = static_cast<std::int32_t>(reply.raw.size());
    ask(1, byteString({2, 6}) + common::EncodeLong(1)); // part way: nothing to say
    EXPECT_FALSE(log.contains("received"));
    ask(1, byteString({2, 6}) + common::EncodeLong(size));
    EXPECT_TRUE(log.contains("file 6 received (" + std::to_string(size) + " bytes)"));
    ask(1, byteString({2, 9}) + common::EncodeLong(size)); // not the file being sent
    EXPECT_TRUE(log.contains("not being sent"));
    EXPECT_TRUE(open(1));
}

TEST_F(UpdateCore, IgnoresMalformedMessages)
{
    list(1);
    const Bytes bodies[] = {
        byteString({1}),      // request without an index
        byteString({1, 200}), // index never offered
        byteString({1, 251}), // index beyond the table
        byteString({2}),      // acknowledgement cut short
        byteString({2, 6, 0, 0}),
        byteString({2, 6, 0xFF, 0xFF, 0xFF, 0xFF}),
        byteString({3, 1, 2, 3}), // server-to-Updater types
        byteString({5, 2, 0, 0, 0, 9}),
        byteString({255}),
    };
    for (const Bytes &body : bodies) {
        const std::size_t logged = log.lines.size();
        const Reply reply = ask(1, body);
        EXPECT_TRUE(reply.packets.empty()) << common::byteAt(body, 0);
        EXPECT_TRUE(open(1)) << common::byteAt(body, 0);
        EXPECT_GT(log.lines.size(), logged) << common::byteAt(body, 0);
    }
    // Zero-length packets are skipped; the connection still answers.
    core->onData(1, byteString({0, 0, 0, 0}));
    EXPECT_EQ(ask(1, byteString({1, 3})).packets.size(), 1u);
}

TEST_F(UpdateCore, DropsOverlongPacketsFloodsAndSilence)
{
    core->onOpened(1, "127.0.0.1");
    core->onData(1, byteString({0x80, 0x00}));
    EXPECT_FALSE(open(1));

    core->onOpened(2, "127.0.0.1");
    Bytes burst;
    for (int i = 0; i <= settings.floodPackets; ++i)
        burst += plain(byteString({2, 0, 0, 0, 0, 0}));
    core->onData(2, burst);
    EXPECT_FALSE(open(2));
    EXPECT_TRUE(log.contains("flooding"));

    core->onOpened(3, "127.0.0.1");
    EXPECT_EQ(core->nextDeadline(), settings.idleTimeoutMs);
    clock.set(settings.idleTimeoutMs);
    core->onTimer();
    EXPECT_FALSE(open(3));
    EXPECT_EQ(core->connectionCount(), 0u);
}

TEST_F(UpdateCore, RefusesConnectionsAboveTheLimit)
{
    settings.maxConnections = 2;
    makeCore();
    core->onOpened(1, "127.0.0.1");
    core->onOpened(2, "127.0.0.1");
    core->onOpened(3, "127.0.0.1");
    EXPECT_FALSE(open(3));
    EXPECT_TRUE(open(1));
}

TEST(UpdateServerNames, LaunchPathsAndFileNames)
{
    struct Case
    {
        Bytes in;
        Bytes out;
    };
    const Case cases[] = {
        {"Registry.exe", "Registry.exe"},
        {"Bin/Game.exe", "Bin\\Game.exe"},
        {"Bin\\Game.exe", "Bin\\Game.exe"},
        {"../Game.exe", ""},
        {"/usr/bin/x", ""},
        {"C:\\Game.exe", ""},
        {"Bin\\\\Game.exe", ""},
        {"Bin\\", ""},
        {".hidden", ""},
        {"", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NormalizeLaunchPath(c.in), c.out) << c.in;

    for (const Bytes &bad : {Bytes("NUL"), Bytes("com1.txt"), Bytes("a:b"), Bytes("a?"),
                             Bytes("trail."), Bytes("trail "), Bytes("tab\there"), Bytes("..")})
        EXPECT_FALSE(IsServableName(bad)) << bad;
    for (const Bytes &good :
         {Bytes("Console.txt"), Bytes("com10"), Bytes("a b.txt"), Bytes("\xC4pfel")})
        EXPECT_TRUE(IsServableName(good)) << good;
}
