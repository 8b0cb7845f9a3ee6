#include "updater/flow/UpdaterCore.h"

#include "common/Codec.h"
#include "common/LeadingNumber.h"
#include "common/Platform.h"
#include "updater/files/WindowsNames.h"
#include "updater/flow/Progress.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

namespace updater {

namespace {

constexpr const char *kLocalServer = "127.0.0.1";
// Memory reserved for a file when its size is announced, at most: an announcement costs
// nothing until bytes arrive, and larger files grow as they do.
constexpr std::size_t kUpFrontReserve = std::size_t{16} << 20;

} // namespace

std::int32_t LeadingNumber(const Bytes &word)
{
    const std::int64_t value =
        common::LeadingNumber(word, common::Rounding::HalfToEven).value_or(0);
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

UpdaterCore::UpdaterCore(FileStore &store, const common::Clock &clock, common::Transport &transport,
                         UpdaterView &view, ProgramLauncher &launcher, UpdaterConfig config)
    : m_store(store), m_clock(clock), m_transport(transport), m_view(view), m_launcher(launcher),
      m_config(std::move(config)), m_ownWriter(std::make_unique<ImmediateFileWriter>(store)),
      m_writer(*m_ownWriter),
      m_ownVersionComputer(std::make_unique<ImmediateVersionComputer>(store)),
      m_versionComputer(m_ownVersionComputer.get())
{
    m_transport.setListener(this);
}

UpdaterCore::UpdaterCore(FileStore &store, const common::Clock &clock, common::Transport &transport,
                         UpdaterView &view, ProgramLauncher &launcher, UpdaterConfig config,
                         FileWriter &writer)
    : m_store(store), m_clock(clock), m_transport(transport), m_view(view), m_launcher(launcher),
      m_config(std::move(config)), m_writer(writer),
      m_ownVersionComputer(std::make_unique<ImmediateVersionComputer>(store)),
      m_versionComputer(m_ownVersionComputer.get())
{
    m_transport.setListener(this);
}

UpdaterCore::~UpdaterCore()
{
    // The writer's report refers to this core: take it now.
    m_writer.finish();
    m_transport.setListener(nullptr);
}

void UpdaterCore::StartUpdater()
{
    m_store.EnsureClientFolder();
    m_launchPath = m_store.ReadSetting("Client", "Launch Application File");
    if (m_config.repair)
        AddLogLine("Checking every file...");
    AddLogLine(Bytes("Updater Version ") + kUpdaterVersion);
    if (!m_config.unknownOption.empty())
        AddLogLine("Ignored an unknown option: " + m_config.unknownOption);
    AddLogLine("Connecting to the Update Server...");
    ShowProgress("Connecting...", 0, 0);
    m_finished = false;
    m_started = true;
}

// ---- Timing -------------------------------------------------------------------------------

bool UpdaterCore::byteCounterActive() const
{
    // With nothing counted the roll-over changes nothing, so an idle Updater needs no timer.
    return m_bytesThisSecond != 0 || m_bytesLastSecond != 0;
}

std::int64_t UpdaterCore::nextDeadline() const
{
    if (!m_started || m_handedOver)
        return -1;
    if (m_finished)
        return m_clock.nowMs();
    std::int64_t next = -1;
    const auto consider = [&next](std::int64_t t) {
        if (next < 0 || t < next)
            next = t;
    };
    if (m_transport.state() != common::Transport::State::Connected)
        consider(m_nextAttemptTime);
    if (byteCounterActive())
        consider(m_nextSecondTime);
    if (stallArmed())
        consider(m_stallStart + kStallLimitMs);
    return next;
}

void UpdaterCore::onTimer()
{
    if (!m_started || m_handedOver)
        return;
    const std::int64_t now = m_clock.nowMs();
    if (!m_finished && stallArmed() && now - m_stallStart >= kStallLimitMs) {
        m_log.line("The Update Server stopped sending.");
        m_transport.close();
        connectionLost();
    }
    if (!m_finished && now >= m_nextAttemptTime &&
        m_transport.state() != common::Transport::State::Connected)
        tryNextServer(now);
    rollByteCounter(now);
    if (m_finished)
        FinishAndLaunch();
}

// From a request to the file's last byte the server owes file bytes; while the socket is not
// read, the wait is ours.
bool UpdaterCore::stallArmed() const
{
    return (m_fileAsked || receivingFile()) && m_transport.receiving();
}

void UpdaterCore::rollByteCounter(std::int64_t now)
{
    if (now < m_nextSecondTime)
        return;
    // While nothing is counted the timer sleeps and the roll-over waits for the next bytes;
    // it would have changed nothing.
    m_bytesLastSecond = m_bytesThisSecond;
    m_bytesThisSecond = 0;
    m_nextSecondTime = now + kByteCounterPeriodMs;
}

// ---- Server slots -------------------------------------------------------------------------

void UpdaterCore::ConnectToServer(const std::string &host, std::int32_t port)
{
    if (m_transport.state() != common::Transport::State::Closed)
        m_transport.close();
    // An empty host or a port of 0 keeps what the previous attempt used.
    if (!host.empty())
        m_remoteHost = host;
    if (port != 0)
        m_remotePort = port;
    if (!m_remoteHost.empty() && m_remotePort > 0 && m_remotePort <= 65535)
        m_transport.connectTo(m_remoteHost, static_cast<std::uint16_t>(m_remotePort));
}

void UpdaterCore::tryNextServer(std::int64_t now)
{
    const auto &words = m_config.words;
    const auto builtIn = [this](int i) -> std::string {
        return i < static_cast<int>(m_config.servers.size()) ? m_config.servers[i] : std::string();
    };
    switch (m_serverAttempt) {
    case 0:
        if (words.empty())
            ConnectToServer(builtIn(0), kUpdatePort);
        else if (words.size() == 1)
            ConnectToServer(words[0], kUpdatePort);
        else if (words.size() == 2)
            ConnectToServer(words[0], LeadingNumber(words[1]));
        // Three words or more: no attempt in this slot.
        break;
    case 1:
    case 2:
    case 3:
    case 4:
        ConnectToServer(builtIn(m_serverAttempt), kUpdatePort);
        break;
    case 5:
        ConnectToServer(kLocalServer, kUpdatePort);
        break;
    default: {
        m_log.line("Unable to connect to the Update Server!");
        ShowProgress("Error Connecting...", 0, 0);
        m_finished = true;
        break;
    }
    }
    ++m_serverAttempt;
    m_nextAttemptTime = now + kRetryIntervalMs;
}

// ---- Transport events ---------------------------------------------------------------------

void UpdaterCore::onConnected()
{
    if (!m_started || m_handedOver)
        return;
    m_log.line("Connection Established.");
    m_buffer.clear();
    m_foldersAsked.clear();
    m_folderLimitLogged = false;
    if (m_store.FileExists(m_store.programFile("zlib.dll")))
        SendVersionCheck();
    else
        RequestFile(0);
    flushOutgoing();
}

void UpdaterCore::onClosed()
{
    if (!m_started || m_handedOver)
        return;
    connectionLost();
}

void UpdaterCore::connectionLost()
{
    m_fileAsked = false;
    m_listOrder.clear();
    if (m_phase == Phase::AwaitingVersions)
        m_phase = Phase::Idle; // the next connection sends its own list
    if (receivingFile())
        abandonTransfer();
    // A packet cut short by the loss is of no use on the next connection.
    m_buffer.clear();
    m_outgoing.clear();
}

void UpdaterCore::abandonTransfer()
{
    FileEntry &e = m_table[m_currentIndex];
    m_log.line("Download Interrupted: " + e.fileName);
    e.data.clear();
    e.data.shrink_to_fit();
    e.received = 0;
    e.remaining = e.size;
    m_phase = Phase::Idle;
    // Files are fetched in ascending order: step back so the next pass asks for this entry
    // again; the ones before it that are done are skipped.
    m_currentIndex = std::max(0, m_currentIndex - 1);
}

void UpdaterCore::onData(common::ByteView bytes)
{
    // Bytes of a connection this side has closed (after a refused FileData, say) are not
    // read.
    if (!m_started || m_handedOver || m_transport.state() != common::Transport::State::Connected)
        return;
    const std::int64_t now = m_clock.nowMs();
    rollByteCounter(now);
    m_bytesThisSecond += static_cast<std::int64_t>(bytes.size());
    if (m_phase == Phase::ReceivingFile && m_buffer.empty() && !bytes.empty()) {
        // The common case while a file streams in: the bytes go straight into the file,
        // without a stop in the receive buffer. A piece that runs past the file's end takes
        // the buffered way, so what follows the file is handled in order.
        FileEntry &e = m_table[m_currentIndex];
        if (bytes.size() <= static_cast<std::size_t>(e.remaining)) {
            e.data.append(bytes);
            countFileBytes(bytes.size());
            fileBytesMoved(e);
            processBuffer();
            flushOutgoing();
            return;
        }
    }
    m_buffer.append(bytes);
    processBuffer();
    flushOutgoing();
}

bool UpdaterCore::readingPackets() const
{
    if (m_handedOver)
        return false;
    // The list that ended the pass may be followed by messages in the same arrival.
    if (m_afterListEnd)
        return true;
    return !m_finished && (m_phase == Phase::Idle || receivingFile());
}

void UpdaterCore::processBuffer()
{
    while (readingPackets()) {
        if (receivingFile()) {
            if (!ReceiveFileData())
                break;
            continue;
        }
        auto packet = m_buffer.cutPacket();
        if (!packet)
            break;
        DispatchPacket(*packet);
    }
    m_afterListEnd = false; // a later arrival comes after the end
}

// ---- Sending ------------------------------------------------------------------------------

void UpdaterCore::SendUpdatePacket(const Bytes &body)
{
    if (m_transport.state() != common::Transport::State::Connected)
        return;
    // Messages produced while one event is handled leave together when it is done: the
    // last acknowledgement of a file and the request for the next one are one write, so
    // the request is never held back waiting for the server to acknowledge the first.
    if (auto packet = common::BuildPacket(body, common::PacketKind::Plain))
        m_outgoing += *packet;
}

void UpdaterCore::flushOutgoing()
{
    if (!m_outgoing.empty() && m_transport.state() == common::Transport::State::Connected)
        m_transport.send(m_outgoing);
    m_outgoing.clear();
}

void UpdaterCore::SendVersionCheck()
{
    // Version.dat is read once per pass, here where the server's file list is asked for.
    m_store.LoadVersions();
    SendUpdatePacket(VersionCheckBody(kUpdaterVersion));
}

void UpdaterCore::RequestFile(int index)
{
    m_buffer.clear();
    SendUpdatePacket(FileRequestBody(index));
    if (m_transport.state() == common::Transport::State::Connected) {
        // The server owes the file from now on.
        m_fileAsked = true;
        restartStallWindow();
    }
}

// ---- Receiving packets --------------------------------------------------------------------

void UpdaterCore::ignoreMessage(const char *what)
{
    m_log.line(Bytes("Ignored an invalid message from the Update Server (") + what + ").");
}

template <typename M>
void UpdaterCore::decodeThen(const Bytes &fields, const char *what,
                             void (UpdaterCore::*handle)(const M &))
{
    M message;
    if (message.decode(fields))
        (this->*handle)(message);
    else
        ignoreMessage(what);
}

// After the list that ended the pass, only what the hand-over uses still acts: the program
// to start, and the folders. A file or a list could no longer be fetched; the bytes after a
// FileData cannot be told from messages, so reading stops there.
bool UpdaterCore::actsAfterPass(FromServer type)
{
    if (type == FromServer::FileData)
        m_afterListEnd = false;
    return type == FromServer::SetLaunchFile || type == FromServer::FolderEntry;
}

void UpdaterCore::DispatchPacket(const common::Packet &packet)
{
    const auto type = static_cast<FromServer>(packet.type);
    if (m_afterListEnd && !actsAfterPass(type))
        return;
    switch (type) {
    case FromServer::SetLaunchFile:
        decodeThen(packet.fields, "launch file", &UpdaterCore::handleSetLaunchFile);
        break;
    case FromServer::FolderEntry:
        decodeThen(packet.fields, "folder", &UpdaterCore::handleFolderEntry);
        break;
    case FromServer::FileCount:
        decodeThen(packet.fields, "file count", &UpdaterCore::handleFileCount);
        break;
    case FromServer::FileInfo:
        decodeThen(packet.fields, "file info", &UpdaterCore::handleFileInfo);
        break;
    case FromServer::FileListEnd:
        handleFileListEnd();
        break;
    case FromServer::FileData: {
        // Without its index and size no file follows: skipped like any message cut short.
        // One that holds both but cannot be taken is followed by bytes that cannot be read.
        FileDataMessage message;
        if (packet.fields.size() < kFileDataFieldBytes)
            ignoreMessage("file data");
        else if (message.decode(packet.fields))
            handleFileData(message);
        else
            refuseFileData();
        break;
    }
    default:
        break; // other types are not ours
    }
}

void UpdaterCore::handleSetLaunchFile(const SetLaunchFileMessage &message)
{
    // An empty name is valid: the client folder itself, which the hand-over does not find as
    // a program, so it goes on to the fallbacks.
    if (!message.path.empty() && !IsSafeRelativePath(message.path)) {
        ignoreMessage("launch file");
        return;
    }
    m_launchPath = m_store.clientFolder() + Bytes(message.path);
    // This run starts the program all the same; the next one would not know it.
    if (!m_store.WriteSetting("Client", "Launch Application File", m_launchPath))
        m_log.line("Unable to write Settings.ini");
}

void UpdaterCore::handleFolderEntry(const FolderEntryMessage &message)
{
    if (message.number < 1 || message.number > 15 || !IsSafeFolder(message.folder)) {
        ignoreMessage("folder");
        return;
    }
    const Bytes folder(message.folder);
    if (!m_foldersAsked.count(folder)) {
        // Each new folder costs file-system work; a flood of them is cut off.
        if (m_foldersAsked.size() >= kMaxFoldersPerConnection) {
            if (!m_folderLimitLogged)
                m_log.line("Ignored further folders from the Update Server (more than " +
                           std::to_string(kMaxFoldersPerConnection) + ").");
            m_folderLimitLogged = true;
            return;
        }
        m_foldersAsked.insert(folder);
    }
    m_folderTable[message.number] = folder;
    if (m_store.MakeFolders(folder) != FileError::None)
        m_log.line("Unable to create folder: " + folder);
}

void UpdaterCore::handleFileCount(const FileCountMessage &message)
{
    m_filesAnnounced = message.count;
}

void UpdaterCore::handleFileInfo(const FileInfoMessage &message)
{
    const int index = message.index;
    if (index >= kFileTableSize) {
        ignoreMessage("file info");
        return;
    }
    FileEntry &e = m_table[index];
    const Bytes name = message.name.empty() ? e.fileName : Bytes(message.name);
    if (!IsSafeFileName(name) || !IsSafeFolder(message.folder)) {
        ignoreMessage("file info");
        return;
    }
    e.version = message.version;
    e.fileName = name;
    e.folder = Bytes(message.folder);
    e.fullPath = m_store.clientFolder() + e.folder + e.fileName;
    if (std::find(m_listOrder.begin(), m_listOrder.end(), index) == m_listOrder.end())
        m_listOrder.push_back(index);
    checkLocalVersion(index);
    ++m_filesDescribed;
    m_filesDescribed = ShowProgress("Loading File Versions", m_filesDescribed, m_filesAnnounced);
}

// The local version rule. Without a usable Version.dat (or in a repair, which trusts none)
// the local file is packed to get its version: that is left to the version computer, and the
// list's end waits for it.
void UpdaterCore::checkLocalVersion(int index)
{
    FileEntry &e = m_table[index];
    const std::uint32_t generation = ++m_infoGeneration[index];
    if (!m_store.FileExists(e.fullPath)) {
        e.needsUpdate = true;
    } else if (!m_config.repair && m_store.VersionsUsable()) {
        if (m_store.LookupVersion(e.folder, e.fileName) != e.version)
            e.needsUpdate = true;
    } else {
        ++m_versionsAwaited;
        m_versionComputer->compute(
            e.fullPath, [this, index, generation, version = e.version](std::int32_t local) {
                --m_versionsAwaited;
                // A later FileInfo for the entry has asked again; its answer decides.
                if (m_infoGeneration[index] == generation && local != version)
                    m_table[index].needsUpdate = true;
                versionArrived();
            });
    }
}

// The raw bytes that follow a refused FileData cannot be told from packets: reading on would
// take file content for messages. The connection ends here, as if lost.
void UpdaterCore::refuseFileData()
{
    ignoreMessage("file data");
    m_log.line("Connection closed: the file that follows cannot be received.");
    m_transport.close();
    connectionLost();
}

void UpdaterCore::handleFileData(const FileDataMessage &message)
{
    const int index = message.index;
    if (index >= kFileTableSize || message.size > kMaxFileSize) {
        refuseFileData();
        return;
    }
    m_currentIndex = index;
    FileEntry &e = m_table[index];
    e.size = message.size;
    e.remaining = e.size;
    e.startTime = m_clock.nowMs();
    // A file sent again starts afresh.
    startData(e);
    e.received = 0;
    if (index == 0) {
        e.fileName = "zlib.dll";
        e.fullPath = m_store.programFile("zlib.dll");
    } else if (index == 1) {
        e.fileName = "Updater.dat";
        e.fullPath = m_store.programFile("Updater.dat");
    }
    m_phase = Phase::ReceivingFile;
    restartStallWindow();
}

// ---- Receiving file bytes -----------------------------------------------------------------

// Moves what the buffer holds into the current file. Returns false when nothing could be
// done until more bytes arrive.
bool UpdaterCore::ReceiveFileData()
{
    if (m_buffer.empty() || !receivingFile())
        return false;
    FileEntry &e = m_table[m_currentIndex];
    const std::int64_t now = m_clock.nowMs();

    if (m_phase == Phase::AwaitingUpdateExeSize) {
        // Update.exe follows Updater.dat in the same stream, after its 4-byte size.
        if (m_buffer.size() < 5)
            return false;
        std::int32_t size = 0;
        if (!DecodeUpdateExeSize(m_buffer.take(4), size) || size > kMaxFileSize) {
            m_log.line("Ignored an invalid file size from the Update Server.");
            m_transport.close();
            connectionLost();
            return false;
        }
        m_phase = Phase::ReceivingFile;
        e.fileName = "Update.exe";
        e.fullPath = m_store.programFile("Update.exe");
        e.received = 0;
        e.size = size;
        startData(e);
        e.remaining = e.size;
        e.startTime = now;
        return true;
    }

    const auto count =
        std::min<std::size_t>(m_buffer.size(), static_cast<std::size_t>(e.remaining));
    if (count > 0) {
        e.data += m_buffer.take(count);
        countFileBytes(count);
    }
    fileBytesMoved(e);
    return true;
}

// Acknowledges and shows what the current file holds now, and completes it when its last
// byte is in.
void UpdaterCore::fileBytesMoved(FileEntry &e)
{
    const std::int64_t now = m_clock.nowMs();
    e.received = static_cast<std::int32_t>(e.data.size());
    e.remaining = e.size - e.received;

    if (now >= m_nextAckTime || e.remaining == 0) {
        SendUpdatePacket(TransferAckBody(m_currentIndex, e.received));
        m_nextAckTime = now + kAckSpacingMs;
    }
    ShowProgress("Downloading: " + e.fileName, e.received, e.size);
    if (e.remaining == 0)
        completeFile(e);
}

// Empties the entry's data for a new transfer of e.size bytes. The memory of the last file
// written is used again when it is large enough, so a long pass does not keep asking the
// system for fresh pages.
void UpdaterCore::startData(FileEntry &e)
{
    const auto size = static_cast<std::size_t>(std::max<std::int32_t>(e.size, 0));
    if (m_spare.capacity() >= size && m_spare.capacity() > e.data.capacity())
        std::swap(e.data, m_spare);
    e.data.clear();
    e.data.reserve(std::min(size, kUpFrontReserve));
    m_spare = Bytes();
}

void UpdaterCore::completeFile(FileEntry &e)
{
    const int index = m_currentIndex;
    m_fileAsked = false;
    Bytes data = std::move(e.data);
    e.data = Bytes();
    m_done[index] = true;
    m_arrivalMs[index] = m_clock.nowMs() - e.startTime;

    if (index >= 2 && e.sameAsEarlier) {
        // Pushed all the same: storing it would replace the file of the entry before it.
        m_phase = Phase::Idle;
        flushOutgoing();
        NextDownload();
        return;
    }
    if (index >= 2 && !e.fullPath.empty()) {
        // A game file is unpacked and stored while the next one is requested and arrives.
        // The last acknowledgement and the request leave together before the file goes to
        // the writer, so nothing the writer does holds them back.
        m_phase = Phase::Idle;
        const int next = nextWanted();
        if (next > 0)
            RequestFile(next);
        flushOutgoing();
        handToWriter(index, e.fullPath, std::move(data));
        if (next <= 0)
            endPass();
        return;
    }

    flushOutgoing(); // the last acknowledgement
    if (e.fullPath.empty()) {
        // A file pushed for an entry never described has nowhere to go.
        m_phase = Phase::Idle;
        fileWritten(index, FileError::CreateFailed, std::move(data), 0);
        NextDownload();
        return;
    }
    // zlib.dll and the Updater's own files go through the writer too, in order; what
    // depends on them waits for their outcome.
    const bool firstOfPair = index == 1 && e.fileName == "Updater.dat";
    if (firstOfPair) {
        m_phase = Phase::AwaitingUpdateExeSize; // Update.exe follows in the same stream
    } else {
        m_phase = index == 1 ? Phase::WritingUpdateExe : Phase::Idle;
    }
    handToWriter(index, e.fullPath, std::move(data));
}

// What follows the outcome of zlib.dll or of Update.exe.
void UpdaterCore::ownFileWritten(int index, FileError error)
{
    if (index == 0) {
        if (!m_handedOver)
            SendVersionCheck();
    } else if (index == 1 && m_phase == Phase::WritingUpdateExe) {
        m_phase = Phase::Idle;
        m_selfUpdatePending = error == FileError::None;
        m_finished = true;
    }
}

void UpdaterCore::handToWriter(int index, const Bytes &path, Bytes data)
{
    m_log.fileHanded();
    m_queuedFiles.push_back({index, path, std::move(data)});
    feedWriter();
}

// Gives the writer the queued files it has room for; the socket is read again once none is
// left waiting.
void UpdaterCore::feedWriter()
{
    while (!m_queuedFiles.empty() && !m_writer.wouldWait(m_queuedFiles.front().data)) {
        QueuedFile file = std::move(m_queuedFiles.front());
        m_queuedFiles.pop_front();
        const int index = file.index;
        const std::int64_t handedAt = m_clock.nowMs();
        m_writerPaths.push_back(file.path);
        m_writer.write(std::move(file.path), std::move(file.data),
                       [this, index, handedAt](FileError error, Bytes buffer, std::int64_t workMs) {
                           m_writerPaths.pop_front();
                           fileWritten(index, error, std::move(buffer),
                                       workMs >= 0 ? workMs : m_clock.nowMs() - handedAt);
                           // Lines that waited for this file's outcome follow it now.
                           m_log.fileReported();
                           if (index <= 1)
                               ownFileWritten(index, error);
                           if (m_handedOver)
                               return;
                           feedWriter();
                           if (m_phase == Phase::EndingPass && !writesPending())
                               endPass();
                           flushOutgoing();
                       });
    }
    const bool receive = m_queuedFiles.empty();
    if (receive != m_transport.receiving() &&
        m_transport.state() == common::Transport::State::Connected) {
        m_transport.setReceiving(receive);
        if (receive) {
            // The time the socket was not read is not the server's stall.
            restartStallWindow();
        }
    }
}

bool UpdaterCore::writesPending() const
{
    return !m_queuedFiles.empty() || m_writer.busy();
}

// Logs the outcome of a file's write and keeps its buffer for the next file. A file's time is
// its own: from its FileData to its last byte, plus its unpacking and writing.
void UpdaterCore::fileWritten(int index, FileError error, Bytes buffer, std::int64_t workMs)
{
    FileEntry &e = m_table[index];
    // Keep the larger buffer (after unpacking: the file as written) for the next file.
    if (buffer.capacity() > m_spare.capacity())
        m_spare = std::move(buffer);
    m_spare.clear();
    if (error == FileError::None) {
        e.durationMs = m_arrivalMs[index] + std::max<std::int64_t>(workMs, 0);
        AddLogLine("File Updated: " + e.fileName + " (" + std::to_string(e.durationMs) + " ms)");
        if (index >= 1)
            ++m_filesWritten;
    } else {
        e.durationMs = 0;
        AddLogLine("Unable to write file: " + e.fileName);
        if (index >= 2 && e.needsUpdate)
            ++m_filesFailed; // a file this pass asked for
    }
}

// Only file bytes show that a transfer moves; messages between files do not.
void UpdaterCore::countFileBytes(std::size_t count)
{
    m_stallBytes += static_cast<std::int64_t>(count);
    if (m_stallBytes >= kStallMinBytes)
        restartStallWindow();
}

void UpdaterCore::restartStallWindow()
{
    m_stallStart = m_clock.nowMs();
    m_stallBytes = 0;
}

// ---- Completion ---------------------------------------------------------------------------

// Windows, and wine, take names without regard to case: two entries of one list may name one
// file. The first described keeps it; a later one would overwrite it and leave a record that
// no longer matches the content.
void UpdaterCore::markSameFiles()
{
    std::map<Bytes, int> described;
    for (const int index : m_listOrder) {
        FileEntry &e = m_table[index];
        e.sameAsEarlier = false;
        if (index < 2)
            continue; // the Updater's own files, whatever the list calls them
        const auto [earlier, isNew] =
            described.emplace(WindowsNameKey(e.folder + e.fileName), index);
        if (isNew)
            continue;
        e.sameAsEarlier = true;
        const FileEntry &first = m_table[earlier->second];
        m_log.line("Skipped " + e.folder + e.fileName + ": the same file as " + first.folder +
                   first.fileName);
    }
    m_listOrder.clear();
}

void UpdaterCore::handleFileListEnd()
{
    markSameFiles();
    if (m_versionsAwaited > 0) {
        m_phase = Phase::AwaitingVersions; // the requests follow once the versions are known
        return;
    }
    NextDownload();
    m_afterListEnd = passEnded();
}

bool UpdaterCore::passEnded() const
{
    return m_finished || m_phase == Phase::EndingPass;
}

void UpdaterCore::versionArrived()
{
    if (m_phase != Phase::AwaitingVersions || m_versionsAwaited > 0 || m_handedOver)
        return;
    m_phase = Phase::Idle;
    NextDownload();
    // What came after the list in the same arrival waited with it.
    m_afterListEnd = passEnded();
    processBuffer();
    flushOutgoing();
}

int UpdaterCore::nextWanted() const
{
    for (int i = 1; i < kFileTableSize; ++i) {
        const FileEntry &e = m_table[i];
        if (i > m_currentIndex && e.needsUpdate && !e.sameAsEarlier && !m_done[i])
            return i;
    }
    return -1;
}

void UpdaterCore::NextDownload()
{
    const int next = nextWanted();
    if (next > 0)
        RequestFile(next);
    else
        endPass();
}

// No file is left: record the versions and report the pass, once every file is written
// (Version.dat lists only what was written). Until then the window's thread goes on.
void UpdaterCore::endPass()
{
    if (writesPending()) {
        m_phase = Phase::EndingPass;
        return;
    }
    m_phase = Phase::Idle;
    if (m_store.SaveVersions(m_table) != FileError::None)
        m_log.line("Unable to write Version.dat");

    std::int64_t total = 0;
    for (int i = 1; i < kFileTableSize; ++i) {
        if (m_table[i].needsUpdate && m_done[i])
            total += m_table[i].durationMs;
    }
    // A pass in which a file could not be written is never reported as a success.
    const char *status = "Update Complete";
    if (m_filesFailed > 0) {
        m_log.line("Update Incomplete: " + std::to_string(m_filesFailed) +
                   " file(s) could not be written.");
        status = "Update Incomplete";
    } else if (m_filesWritten == 0) {
        m_log.line("No Update Required.");
    } else {
        m_log.line("Update Complete (" + std::to_string(total) + " ms)");
    }
    ShowProgress(status, 0, 0);
    m_finished = true;
}

void UpdaterCore::FinishAndLaunch()
{
    if (m_handedOver)
        return;
    m_handedOver = true;
    flushOutgoing();
    if (m_transport.state() != common::Transport::State::Closed)
        m_transport.close();
    // Files the writer has not taken yet are downloaded again next run (Version.dat is left
    // as it was), except the programs the hand-over may start.
    dropQueuedFiles();
    if (m_phase == Phase::WritingUpdateExe)
        waitForWrite(m_store.programFile("Update.exe"));

    if (m_selfUpdatePending) {
        m_launchPath = m_store.programFile("Update.exe");
    } else {
        const Bytes oldUpdate = m_store.programFile("Update.exe");
        if (m_store.FileExists(oldUpdate))
            m_store.RemoveFile(oldUpdate);
    }
    startChosenProgram();
    m_view.endProcess();
    // The files already with the writer are completed (or their temporary files removed)
    // after the program has started.
    m_writer.finish();
}

std::vector<Bytes> UpdaterCore::launchCandidates() const
{
    // The chosen program, else the client folder's Registry.exe, else its Talmora.exe.
    std::vector<Bytes> candidates;
    if (!m_launchPath.empty())
        candidates.push_back(m_launchPath);
    candidates.push_back(m_store.clientFolder() + "Registry.exe");
    candidates.push_back(m_store.clientFolder() + "Talmora.exe");
    return candidates;
}

void UpdaterCore::startChosenProgram()
{
    for (const Bytes &candidate : launchCandidates()) {
        m_launchPath = candidate;
        // A program still being written is started once it is whole.
        waitForWrite(candidate);
        if (common::ResolveProgram(candidate).empty())
            continue;
        if (m_launcher.start(candidate, m_store.programFolder()))
            return;
        // Only programs are started; a file that is none leaves the choice to the next.
        m_log.line("Unable to start: " + candidate);
    }
}

namespace {

// Two names of one file, whichever separators they use.
bool sameFile(const Bytes &a, const Bytes &b)
{
    if (a == b)
        return true;
    const auto normal = [](const Bytes &path) {
        return std::filesystem::path(common::LocalPath(path)).lexically_normal();
    };
    return normal(a) == normal(b);
}

} // namespace

void UpdaterCore::dropQueuedFiles()
{
    std::vector<Bytes> keep = launchCandidates();
    keep.push_back(m_store.programFile("Update.exe"));
    std::deque<QueuedFile> kept;
    for (QueuedFile &file : m_queuedFiles) {
        const bool program = std::any_of(keep.begin(), keep.end(), [&file](const Bytes &path) {
            return sameFile(path, file.path);
        });
        if (program)
            kept.push_back(std::move(file));
        else
            m_log.fileDropped();
    }
    m_queuedFiles = std::move(kept);
}

bool UpdaterCore::writePending(const Bytes &path) const
{
    const auto same = [&path](const Bytes &other) { return sameFile(path, other); };
    return std::any_of(m_queuedFiles.begin(), m_queuedFiles.end(),
                       [&same](const QueuedFile &f) { return same(f.path); }) ||
           std::any_of(m_writerPaths.begin(), m_writerPaths.end(), same);
}

void UpdaterCore::waitForWrite(const Bytes &path)
{
    for (;;) {
        feedWriter();
        if (!writePending(path))
            return;
        m_writer.finishOldest();
    }
}

// ---- Display ------------------------------------------------------------------------------

void UpdaterCore::AddLogLine(const Bytes &text)
{
    m_view.appendLogLine(text);
    ++m_shownLogLines;
    m_view.selectLogLine(m_shownLogLines - 1);
    if (m_shownLogLines > kMaxLogLines) {
        --m_shownLogLines;
        m_view.removeOldestLogLine();
    }
}

std::int64_t UpdaterCore::ShowProgress(const Bytes &text, std::int64_t count, std::int64_t total)
{
    const ProgressDisplay d = FormatProgress(count, total, m_bytesLastSecond);
    m_view.setBarWidth(d.barWidth);
    if (!text.empty())
        m_view.setStatusText("Status: " + text + d.percentSuffix);
    m_view.setBytesText(d.bytesText);
    return d.count;
}

} // namespace updater
