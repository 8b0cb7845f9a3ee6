#include "updater/flow/FileWriter.h"

#include <chrono>
#include <exception>

namespace updater {

namespace {

std::int64_t elapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

} // namespace

void ImmediateFileWriter::write(Bytes path, Bytes data, Done done)
{
    FileContent content = FileContent::Unpack(std::move(data), std::move(m_unpacked));
    const FileError error = m_store.Write(path, content);
    m_unpacked = content.takeBuffer();
    done(error, content.takeReceived(), -1);
}

BackgroundFileWriter::BackgroundFileWriter(FileStore &store, Post post)
    : m_store(store), m_post(std::move(post))
{
}

BackgroundFileWriter::~BackgroundFileWriter()
{
    m_alive.reset(); // reports posted from now on find nobody to tell
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_unpacker.joinable())
        m_unpacker.join();
    if (m_storer.joinable())
        m_storer.join();
}

namespace {

// Memory a file takes while held: as handed over, and unpacked.
std::int64_t heldWeight(const Bytes &data)
{
    return static_cast<std::int64_t>(data.size()) + DeclaredLength(data);
}

} // namespace

bool BackgroundFileWriter::wouldWait(const Bytes &data) const
{
    return !m_waiting.empty() &&
           (m_waiting.size() >= kMaxHeld || m_heldWeight + heldWeight(data) > kHeldBudget);
}

void BackgroundFileWriter::write(Bytes path, Bytes data, Done done)
{
    const std::int64_t weight = heldWeight(data);
    while (wouldWait(data))
        waitOldest();
    m_waiting.push_back({std::move(done), weight});
    m_heldWeight += weight;
    {
        std::lock_guard lock(m_mutex);
        m_toUnpack.push_back(Job{std::move(path), std::move(data), {}});
    }
    m_wake.notify_all();
    if (!m_unpacker.joinable()) {
        m_unpacker = std::thread([this] { unpackLoop(); });
        m_storer = std::thread([this] { storeLoop(); });
    }
}

void BackgroundFileWriter::finish()
{
    while (!m_waiting.empty())
        waitOldest();
}

void BackgroundFileWriter::finishOldest()
{
    if (!m_waiting.empty())
        waitOldest();
}

void BackgroundFileWriter::waitOldest()
{
    {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return !m_ended.empty(); });
    }
    reportEnded();
}

void BackgroundFileWriter::reportEnded()
{
    while (!m_waiting.empty()) {
        Job job;
        {
            std::lock_guard lock(m_mutex);
            if (m_ended.empty())
                return;
            job = std::move(m_ended.front());
            m_ended.pop_front();
        }
        Waiting waiting = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_heldWeight -= waiting.weight;
        waiting.done(job.error, job.content.takeReceived(), job.workMs);
    }
}

void BackgroundFileWriter::unpackLoop()
{
    for (;;) {
        Job job;
        Bytes buffer;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_toUnpack.empty(); });
            if (m_toUnpack.empty()) {
                m_unpackerDone = true; // stopping, and every file handed over is unpacked
                break;
            }
            job = std::move(m_toUnpack.front());
            m_toUnpack.pop_front();
            buffer = std::move(m_keptBuffer);
            m_keptBuffer = Bytes();
        }
        const auto started = std::chrono::steady_clock::now();
        job.content = FileContent::Unpack(std::move(job.data), std::move(buffer));
        job.workMs = elapsedMs(started);
        {
            std::lock_guard lock(m_mutex);
            m_toStore.push_back(std::move(job));
        }
        m_wake.notify_all();
    }
    m_wake.notify_all();
}

void BackgroundFileWriter::storeLoop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return !m_toStore.empty() || m_unpackerDone; });
            if (m_toStore.empty())
                return; // the unpacker has stopped and everything is stored
            job = std::move(m_toStore.front());
            m_toStore.pop_front();
        }
        const auto started = std::chrono::steady_clock::now();
        try {
            job.error = m_store.Write(job.path, job.content);
        } catch (const std::exception &) {
            job.error = FileError::WriteFailed;
        }
        job.workMs += elapsedMs(started);
        {
            std::lock_guard lock(m_mutex);
            Bytes unpacked = job.content.takeBuffer();
            if (unpacked.capacity() <= kKeptBuffer && unpacked.capacity() > m_keptBuffer.capacity())
                m_keptBuffer = std::move(unpacked);
            m_ended.push_back(std::move(job));
        }
        m_wake.notify_all();
        m_post([alive = std::weak_ptr<bool>(m_alive), this] {
            if (alive.lock())
                reportEnded();
        });
    }
}

} // namespace updater
