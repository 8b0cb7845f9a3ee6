#include "updater/flow/VersionComputer.h"

#include <exception>

#include "common/Platform.h"

namespace updater {

bool VersionRecordOfRun::keyOf(const Bytes &path, Key &key)
{
    const std::optional<common::FileStamp> stamp = common::StampOf(common::LocalPath(path));
    if (!stamp)
        return false;
    key = Key(path, stamp->size, stamp->modified);
    return true;
}

bool VersionRecordOfRun::find(const Key &key, std::int32_t &version) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_versions.find(key);
    if (it == m_versions.end())
        return false;
    version = it->second;
    return true;
}

void VersionRecordOfRun::add(const Key &key, std::int32_t version)
{
    std::lock_guard lock(m_mutex);
    m_versions[key] = version;
}

void ImmediateVersionComputer::compute(const Bytes &path, Done done)
{
    VersionRecordOfRun::Key key;
    const bool known = VersionRecordOfRun::keyOf(path, key);
    std::int32_t version = 0;
    if (!known || !m_record.find(key, version)) {
        ++m_computations;
        version = m_store.ComputeFileVersion(path);
        if (known)
            m_record.add(key, version);
    }
    done(version);
}

ThreadedVersionComputer::ThreadedVersionComputer(const FileStore &store, Post post,
                                                 unsigned workers)
    : m_store(store), m_post(std::move(post)),
      m_workerCount(workers ? workers : std::max(2u, std::thread::hardware_concurrency()))
{
}

ThreadedVersionComputer::~ThreadedVersionComputer()
{
    m_alive.reset(); // results posted from now on find nobody to tell
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    for (auto &t : m_workers)
        t.join();
}

int ThreadedVersionComputer::computations() const
{
    std::lock_guard lock(m_mutex);
    return m_computations;
}

void ThreadedVersionComputer::compute(const Bytes &path, Done done)
{
    ++m_pending;
    {
        std::lock_guard lock(m_mutex);
        auto &asks = m_asks[path];
        if (asks.empty())
            m_queue.push_back(path); // otherwise the computation under way answers this too
        asks.push_back(std::move(done));
    }
    m_wake.notify_one();
    while (m_workers.size() < m_workerCount)
        m_workers.emplace_back([this] { work(); });
}

void ThreadedVersionComputer::work()
{
    for (;;) {
        Bytes path;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            path = std::move(m_queue.front());
            m_queue.pop_front();
        }
        VersionRecordOfRun::Key key;
        const bool known = VersionRecordOfRun::keyOf(path, key);
        std::int32_t version = 0;
        if (!known || !m_record.find(key, version)) {
            try {
                version = m_store.ComputeFileVersion(path);
            } catch (const std::exception &) {
                version = 0; // memory ran out: the file counts as differing, and is fetched
            }
            if (known)
                m_record.add(key, version);
            std::lock_guard lock(m_mutex);
            ++m_computations;
        }
        std::vector<Done> asks;
        {
            std::lock_guard lock(m_mutex);
            asks = std::move(m_asks[path]);
            m_asks.erase(path);
        }
        m_post([alive = std::weak_ptr<bool>(m_alive), this, asks = std::move(asks), version] {
            if (!alive.lock())
                return;
            for (const Done &done : asks) {
                --m_pending;
                done(version);
            }
        });
    }
}

} // namespace updater
