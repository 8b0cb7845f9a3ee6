#pragma once

#include "common/Bytes.h"
#include "common/Clock.h"
#include "common/ReceiveBuffer.h"
#include "common/Transport.h"
#include "updater/files/FileStore.h"
#include "updater/flow/FileOrderedLog.h"
#include "updater/flow/FileWriter.h"
#include "updater/flow/Launcher.h"
#include "updater/flow/UpdateProtocol.h"
#include "updater/flow/UpdaterView.h"
#include "updater/flow/VersionComputer.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace updater {

inline constexpr const char *kUpdaterVersion = "V5.323";
inline constexpr std::uint16_t kUpdatePort = 2602;
inline constexpr std::int64_t kRetryIntervalMs = 1500;
inline constexpr std::int64_t kByteCounterPeriodMs = 1000;
inline constexpr std::int64_t kAckSpacingMs = 500;
// From a file's request to its last byte, less than kStallMinBytes of file bytes in
// kStallLimitMs counts as a lost connection: a server that drips a byte now and then, or
// answers with anything but the file, holds the run as surely as one that sends nothing.
inline constexpr std::int64_t kStallLimitMs = 30000;
inline constexpr std::int64_t kStallMinBytes = 1024;
inline constexpr int kMaxLogLines = 100;
// Distinct folders a server may have made on one connection; it needs a few dozen.
inline constexpr std::size_t kMaxFoldersPerConnection = 1024;
inline constexpr int kBuiltInServerCount = 5;

// The number at the start of a word (sign, digits, optional fraction) rounded to the nearest
// integer, half to even; 0 when the word starts with no number.
std::int32_t LeadingNumber(const Bytes &word);

struct UpdaterConfig
{
    // The five built-in update servers, tried in this order before "127.0.0.1".
    std::vector<std::string> servers;
    std::vector<Bytes> words; // command-line words
    // Every local file's version is computed, as when Version.dat is missing, instead of
    // taken from Version.dat: whatever differs from the server is fetched.
    bool repair = false;
    Bytes unknownOption; // a first word that named an option the Updater does not know
};

// The Updater's run state and update protocol. Driven by transport events and by onTimer();
// everything the window shows goes through the view.
class UpdaterCore final : public common::TimedCore, public common::Transport::Listener
{
public:
    // Game files are written on the core's thread as they complete.
    UpdaterCore(FileStore &store, const common::Clock &clock, common::Transport &transport,
                UpdaterView &view, ProgramLauncher &launcher, UpdaterConfig config);
    // Game files are handed to `writer` as they complete, and the next one is requested
    // while it works. `writer` must write through `store`.
    UpdaterCore(FileStore &store, const common::Clock &clock, common::Transport &transport,
                UpdaterView &view, ProgramLauncher &launcher, UpdaterConfig config,
                FileWriter &writer);
    ~UpdaterCore() override;
    UpdaterCore(const UpdaterCore &) = delete;
    UpdaterCore &operator=(const UpdaterCore &) = delete;

    // Local versions are computed through `computer` (by default at once, on this thread).
    // Set before the first file list.
    void setVersionComputer(VersionComputer &computer) { m_versionComputer = &computer; }

    // Start-up: the client folder, the configured program, the first log lines and the
    // "Connecting..." status. The first server slot comes due at once.
    void StartUpdater();

    // TimedCore: server slots, the byte counter, the stall limit, the hand-over once finished.
    void onTimer() override;
    std::int64_t nextDeadline() const override;

    // Transport::Listener.
    void onConnected() override;
    void onClosed() override;
    void onData(common::ByteView bytes) override;

    // Closes the connection, starts the chosen program and ends the run. Runs once; later
    // calls do nothing. Files not yet with the writer are dropped; those with it are finished
    // after the start. Only a program still being written is waited for.
    void FinishAndLaunch();

    // Display operations.
    void AddLogLine(const Bytes &text);
    // Shows `count` of `total` and returns the count as shown (at most `total`).
    std::int64_t ShowProgress(const Bytes &text, std::int64_t count, std::int64_t total);

private:
    void ConnectToServer(const std::string &host, std::int32_t port);
    void tryNextServer(std::int64_t now);
    void rollByteCounter(std::int64_t now);
    bool byteCounterActive() const;
    bool readingPackets() const;
    void processBuffer();
    void DispatchPacket(const common::Packet &packet);
    bool actsAfterPass(FromServer type);
    bool passEnded() const;
    void SendUpdatePacket(const Bytes &body);
    void flushOutgoing();
    void SendVersionCheck();
    void RequestFile(int index);
    bool ReceiveFileData();
    void fileBytesMoved(FileEntry &entry);
    void startData(FileEntry &entry);
    void completeFile(FileEntry &entry);
    void fileWritten(int index, FileError error, Bytes buffer, std::int64_t workMs);
    void NextDownload();
    int nextWanted() const;
    void endPass();
    void handToWriter(int index, const Bytes &path, Bytes data);
    void feedWriter();
    void markSameFiles();
    void handleFileListEnd();
    void versionArrived();
    void ownFileWritten(int index, FileError error);
    bool writesPending() const;
    // The programs the hand-over tries, in order.
    std::vector<Bytes> launchCandidates() const;
    void startChosenProgram();
    // On close: forgets the files the writer has not taken, but for the programs to start.
    void dropQueuedFiles();
    // True while `path` waits for the writer or is with it.
    bool writePending(const Bytes &path) const;
    void waitForWrite(const Bytes &path);
    // A new window of the stall limit starts now, with no bytes counted in it.
    void restartStallWindow();
    void countFileBytes(std::size_t count);
    bool stallArmed() const;
    void abandonTransfer();
    void connectionLost();
    void ignoreMessage(const char *what);

    void handleSetLaunchFile(const SetLaunchFileMessage &message);
    void handleFolderEntry(const FolderEntryMessage &message);
    void handleFileCount(const FileCountMessage &message);
    void handleFileInfo(const FileInfoMessage &message);
    void handleFileData(const FileDataMessage &message);
    void refuseFileData();
    void checkLocalVersion(int index);
    // Decodes a message of type M from `fields` and gives it to `handle`; one that does not
    // decode is logged as `what` and ignored.
    template <typename M>
    void decodeThen(const Bytes &fields, const char *what, void (UpdaterCore::*handle)(const M &));

    FileStore &m_store;
    const common::Clock &m_clock;
    common::Transport &m_transport;
    UpdaterView &m_view;
    ProgramLauncher &m_launcher;
    UpdaterConfig m_config;
    std::unique_ptr<FileWriter> m_ownWriter; // when no writer is given
    FileWriter &m_writer;

    FileTable m_table;
    std::array<bool, kFileTableSize> m_done{};   // transfer finished this run (written or not)
    std::array<Bytes, 16> m_folderTable;         // 1..15
    std::set<Bytes, std::less<>> m_foldersAsked; // distinct folders of this connection
    bool m_folderLimitLogged = false;
    Bytes m_launchPath;
    std::string m_remoteHost;
    std::int32_t m_remotePort = 0;
    int m_serverAttempt = 0;
    std::int64_t m_nextAttemptTime = 0;
    std::int64_t m_nextSecondTime = 0;
    std::int64_t m_bytesThisSecond = 0;
    std::int64_t m_bytesLastSecond = 0;
    bool m_started = false;
    bool m_finished = false;
    bool m_handedOver = false;
    common::ReceiveBuffer m_buffer;
    Bytes m_outgoing; // messages of the event being handled, sent when it is done
    Bytes m_spare;    // memory of the last file written, for the next one
    // Where the pass stands between two messages.
    enum class Phase
    {
        Idle,                  // messages are read as they come
        AwaitingVersions,      // FileListEnd came; local versions are still being computed
        ReceivingFile,         // the bytes of the current file are arriving
        AwaitingUpdateExeSize, // Updater.dat is complete; Update.exe's size comes next
        WritingUpdateExe,      // Update.exe is complete and being written
        EndingPass,            // no file left: the pass ends once every file is written
    };
    Phase m_phase = Phase::Idle;
    // The list just read ended the pass: the rest of its arrival is read all the same.
    bool m_afterListEnd = false;
    bool receivingFile() const
    {
        return m_phase == Phase::ReceivingFile || m_phase == Phase::AwaitingUpdateExeSize;
    }
    int m_currentIndex = 0;
    std::int64_t m_nextAckTime = 0;
    std::int64_t m_stallStart = 0; // start of the current stall window
    std::int64_t m_stallBytes = 0; // file bytes received in it
    bool m_fileAsked = false;      // a file was requested and its last byte has not come
    std::array<std::int64_t, kFileTableSize> m_arrivalMs{}; // FileData to last byte
    // The run's log lines, held back while files handed over before them are being written.
    FileOrderedLog m_log{[this](const Bytes &text) { AddLogLine(text); }};
    // Complete files the writer has no room for yet. While any wait here the socket is not
    // read, so the sender is held back instead of the window's thread.
    struct QueuedFile
    {
        int index;
        Bytes path;
        Bytes data;
    };
    std::deque<QueuedFile> m_queuedFiles;
    std::deque<Bytes> m_writerPaths; // files with the writer, oldest first
    std::unique_ptr<VersionComputer> m_ownVersionComputer;
    VersionComputer *m_versionComputer = nullptr;
    std::array<std::uint32_t, kFileTableSize> m_infoGeneration{}; // FileInfo count per entry
    int m_versionsAwaited = 0;
    std::vector<int> m_listOrder; // entries of the list being read, first described first
    std::int64_t m_filesAnnounced = 0;
    std::int64_t m_filesDescribed = 0;
    bool m_selfUpdatePending = false;
    int m_filesWritten = 0;
    int m_filesFailed = 0; // game files of this run that could not be written
    int m_shownLogLines = 0;
};

} // namespace updater
