#pragma once

#include "common/Bytes.h"
#include "updater/files/FileStore.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

namespace updater {

// Computes the version numbers of local files (packing each whole), once per run for each
// (path, size, modification time): a server that describes one large file again and again
// costs one computation. Results are reported on the thread that asked.
class VersionComputer
{
public:
    using Done = std::function<void(std::int32_t version)>;
    virtual ~VersionComputer() = default;
    // Reports the version of the file at `path` (local version rule: packed and summed).
    virtual void compute(const Bytes &path, Done done) = 0;
    // Versions asked for and not yet reported.
    virtual std::size_t pending() const = 0;
    // Files actually packed so far (the rest came from the record of this run).
    virtual int computations() const = 0;
};

// What was computed in this run, by (path, size, modification time).
class VersionRecordOfRun
{
public:
    using Key = std::tuple<Bytes, std::uintmax_t, std::int64_t>;
    // The key of the file as it is now; false when it cannot be read.
    static bool keyOf(const Bytes &path, Key &key);
    bool find(const Key &key, std::int32_t &version) const;
    void add(const Key &key, std::int32_t version);

private:
    mutable std::mutex m_mutex;
    std::map<Key, std::int32_t> m_versions;
};

// Computes on the caller's thread, before compute() returns.
class ImmediateVersionComputer final : public VersionComputer
{
public:
    explicit ImmediateVersionComputer(const FileStore &store) : m_store(store) {}
    void compute(const Bytes &path, Done done) override;
    std::size_t pending() const override { return 0; }
    int computations() const override { return m_computations; }

private:
    const FileStore &m_store;
    VersionRecordOfRun m_record;
    int m_computations = 0;
};

// Computes on worker threads (one per core, at least two), so the window stays responsive;
// each result is handed to `post` to run on the owner's thread (a queued call in its event
// loop). Several requests for the same file while it is being computed share the one
// computation.
class ThreadedVersionComputer final : public VersionComputer
{
public:
    using Post = std::function<void(std::function<void()>)>;
    ThreadedVersionComputer(const FileStore &store, Post post, unsigned workers = 0);
    ~ThreadedVersionComputer() override;
    ThreadedVersionComputer(const ThreadedVersionComputer &) = delete;
    ThreadedVersionComputer &operator=(const ThreadedVersionComputer &) = delete;

    void compute(const Bytes &path, Done done) override;
    std::size_t pending() const override { return m_pending; }
    int computations() const override;

private:
    void work();

    const FileStore &m_store;
    Post m_post;
    unsigned m_workerCount;
    std::size_t m_pending = 0; // owner's thread only
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    VersionRecordOfRun m_record;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Bytes> m_queue;                 // paths to compute, oldest first
    std::map<Bytes, std::vector<Done>> m_asks; // waiting for each queued or running path
    int m_computations = 0;
    bool m_stop = false;
    std::vector<std::thread> m_workers; // started with the first request
};

} // namespace updater
