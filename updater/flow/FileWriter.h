#pragma once

#include "common/Bytes.h"
#include "updater/files/FileStore.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace updater {

// Stores finished downloads through the file store (unpacking what is packed). Outcomes are
// reported in the order the files were handed over, always on the thread that handed them
// over.
class FileWriter
{
public:
    // The outcome of a write, the buffer that held the file as handed over (for use again),
    // and the time in ms spent unpacking and storing that file, without the time it waited
    // behind others: -1 when this writer does not measure it (its owner then counts from
    // hand-over to report).
    using Done = std::function<void(FileError error, Bytes buffer, std::int64_t workMs)>;

    virtual ~FileWriter() = default;
    // Starts storing `data` as the whole content of `path`. When the writer holds as many
    // files as it can, the oldest is finished (and reported) first.
    virtual void write(Bytes path, Bytes data, Done done) = 0;
    // Waits for every file handed over and reports each before returning.
    virtual void finish() = 0;
    // Waits for the oldest file handed over and reports it (and any ended before it); by
    // default, for every file.
    virtual void finishOldest() { finish(); }
    // True while a file has been handed over and not yet reported.
    virtual bool busy() const = 0;
    // True when write(data) would first wait for a file held before it to be finished. An
    // owner that must not block asks first and holds the file back meanwhile.
    virtual bool wouldWait(const Bytes &data) const
    {
        (void)data;
        return false;
    }
};

// Writes on the caller's thread: the outcome is reported before write() returns.
class ImmediateFileWriter final : public FileWriter
{
public:
    explicit ImmediateFileWriter(FileStore &store) : m_store(store) {}
    void write(Bytes path, Bytes data, Done done) override;
    void finish() override {}
    bool busy() const override { return false; }

private:
    FileStore &m_store;
    Bytes m_unpacked; // kept from file to file
};

// Writes on threads of its own, one file being unpacked while the one before it is written
// and flushed to disk, so that the next file arrives meanwhile. Whenever a file has been
// stored, `post` is given a function to run later on the owner's thread (a queued call in
// its event loop); it reports what has ended and not been reported by finish() or write().
class BackgroundFileWriter final : public FileWriter
{
public:
    using Post = std::function<void(std::function<void()>)>;
    // Files held at once: one being unpacked, one being stored.
    static constexpr std::size_t kMaxHeld = 2;
    // A second file is taken only while both, packed and unpacked, fit in this much memory:
    // large files are written one at a time, so the Updater never holds more than one large
    // file being written and one arriving.
    static constexpr std::int64_t kHeldBudget = std::int64_t{24} << 20;
    // An unpacking buffer is kept for the next file only up to this size.
    static constexpr std::size_t kKeptBuffer = std::size_t{16} << 20;

    BackgroundFileWriter(FileStore &store, Post post);
    // Stores every file handed over (none is left half-written); their outcomes are not
    // reported.
    ~BackgroundFileWriter() override;
    BackgroundFileWriter(const BackgroundFileWriter &) = delete;
    BackgroundFileWriter &operator=(const BackgroundFileWriter &) = delete;

    void write(Bytes path, Bytes data, Done done) override;
    void finish() override;
    void finishOldest() override;
    bool busy() const override { return !m_waiting.empty(); }
    bool wouldWait(const Bytes &data) const override;

private:
    struct Job
    {
        Bytes path;
        Bytes data;          // as handed over, until it is unpacked into `content`
        FileContent content; // from then on
        FileError error = FileError::None;
        std::int64_t workMs = 0; // unpacking and storing
    };
    void unpackLoop();
    void storeLoop();
    void waitOldest();
    void reportEnded();

    FileStore &m_store;
    Post m_post;
    struct Waiting
    {
        Done done;
        std::int64_t weight; // memory the file takes while held
    };
    std::deque<Waiting> m_waiting; // files handed over and not yet reported, oldest first
    std::int64_t m_heldWeight = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_toUnpack;
    std::deque<Job> m_toStore;
    std::deque<Job> m_ended;
    Bytes m_keptBuffer; // an unpacking buffer not in use, kept for the next file
    bool m_stop = false;
    bool m_unpackerDone = false;
    std::thread m_unpacker; // both started with the first file
    std::thread m_storer;
};

} // namespace updater
