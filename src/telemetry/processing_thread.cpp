#include "telemetry/processing_thread.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace dravik {

namespace {

// A command of the thread's own: every command queued before it has been
// carried out once the thread has passed it.
constexpr int kCmdFlushMarker = 6;

}  // namespace

CProcessingThread::CProcessingThread(std::function<void(const Batch&)> run)
    : m_run(std::move(run)) {
    m_thread = std::thread(&CProcessingThread::Main, this);
    std::unique_lock lock(m_thread_lock);
    m_thread_cv.wait(lock, [this] { return m_started; });
    m_running = true;
}

CProcessingThread::~CProcessingThread() {
    Stop();
    if (m_thread.joinable()) {
        if (OnThread()) {
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
}

void CProcessingThread::Main() {
    {
        std::lock_guard lock(m_thread_lock);
        m_started = true;
    }
    m_thread_cv.notify_all();
    for (;;) {
        bool stop = false;
        Batch batch = NextBatch(stop);
        if (!batch.empty()) {
            std::uint64_t marker = 0;
            for (const CProcessCommand& command : batch) {
                if (command.code == kCmdFlushMarker) marker = std::max(marker, command.marker);
            }
            std::erase_if(batch,
                          [](const CProcessCommand& c) { return c.code == kCmdFlushMarker; });
            m_run(batch);
            if (marker != 0) {
                {
                    std::lock_guard lock(m_lock);
                    m_passed_marker = std::max(m_passed_marker, marker);
                }
                m_passed.notify_all();
            }
        }
        // A stop request makes the thread stopping and gives it one more
        // look at the queue.
        std::lock_guard lock(m_lock);
        if (stop) {
            m_stopping = true;
        } else if (m_stopping) {
            break;
        }
    }
    {
        std::lock_guard lock(m_lock);
        m_ended = true;
    }
    m_passed.notify_all();
}

CProcessingThread::Batch CProcessingThread::NextBatch(bool& stop) {
    Batch batch;
    std::unique_lock lock(m_lock);
    // Once it is stopping nothing can be queued any more: the last look at
    // the queue is at once.
    if (!m_stopping) {
        m_queued.wait_for(lock, std::chrono::milliseconds(500),
                          [this] { return !m_commands.empty() || m_stop_requested; });
    }
    // One batch is what is queued now. What its callbacks queue (the next
    // frame request) waits for the next batch, so the resource list lock is
    // let go between frames and a removal never waits for a whole conversion.
    batch.swap(m_commands);
    stop = std::exchange(m_stop_requested, false);
    return batch;
}

void CProcessingThread::Stop() {
    {
        std::lock_guard lock(m_thread_lock);
        if (!m_running) return;
    }
    {
        std::lock_guard lock(m_lock);
        m_stop_requested = true;
    }
    // The thread cannot wait for itself; a stop asked from one of its own
    // callbacks only marks the request.
    if (OnThread()) return;
    m_queued.notify_one();
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard lock(m_thread_lock);
    m_running = false;
}

void CProcessingThread::Push(const std::string& resource_name, int code) {
    {
        std::lock_guard lock(m_lock);
        if (m_stopping) return;
        m_commands.push_back(CProcessCommand{resource_name, code});
    }
    m_queued.notify_one();
}

void CProcessingThread::AppendMessage(const std::string& text) {
    std::lock_guard lock(m_lock);
    m_message_text += text;
}

std::string CProcessingThread::TakeMessageText() {
    std::string text;
    std::lock_guard lock(m_lock);
    text.swap(m_message_text);
    return text;
}

bool CProcessingThread::WaitForQueued() {
    if (OnThread()) return true;
    std::uint64_t marker = 0;
    {
        std::lock_guard lock(m_lock);
        if (m_stopping || m_ended) return false;
        marker = ++m_last_marker;
        m_commands.push_back(CProcessCommand{std::string(), kCmdFlushMarker, marker});
    }
    m_queued.notify_one();
    std::unique_lock lock(m_lock);
    m_passed.wait(lock, [&] { return m_passed_marker >= marker || m_ended; });
    return true;
}

}  // namespace dravik
