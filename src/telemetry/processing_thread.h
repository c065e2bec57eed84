// The telemetry control's processing thread and what it is asked to do.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace dravik {

// One command for the processing thread: an event of the named resource (an
// empty name stands for the control's own messages).
struct CProcessCommand {
    std::string resource_name;
    int code = 0;
    std::uint64_t marker = 0;  // a flush marker's number
};

// Resources and the control queue commands from any thread; the thread takes
// what is queued in batches and hands each batch to its owner. One lock (the
// queue lock) guards the commands, the control's message text, the stop
// request and the flush markers that tell a waiting thread when everything
// queued before them has been carried out; it is taken last and only briefly.
class CProcessingThread {
  public:
    using Batch = std::deque<CProcessCommand>;
    // Starts the thread and returns once it runs. `run` gets every batch that
    // held a command, flush markers left out (so possibly none).
    explicit CProcessingThread(std::function<void(const Batch&)> run);
    // Stops the thread; one that is ending itself is let go.
    ~CProcessingThread();
    CProcessingThread(const CProcessingThread&) = delete;
    CProcessingThread& operator=(const CProcessingThread&) = delete;

    bool OnThread() const noexcept { return std::this_thread::get_id() == m_thread.get_id(); }
    // Asks the thread to stop and waits until it has: it delivers what is
    // queued, then ends. On the thread itself it only asks.
    void Stop();

    // Nothing is queued once the thread is stopping.
    void Push(const std::string& resource_name, int code);
    // The control's messages wait here for a command without a resource name.
    void AppendMessage(const std::string& text);
    std::string TakeMessageText();
    // Waits until every command queued so far has been carried out (at once
    // on the thread itself); false when nothing can be queued any more.
    bool WaitForQueued();

  private:
    void Main();
    Batch NextBatch(bool& stop);

    std::function<void(const Batch&)> m_run;

    std::mutex m_lock;  // the queue lock
    std::condition_variable m_queued;
    std::condition_variable m_passed;
    Batch m_commands;
    std::string m_message_text;
    bool m_stop_requested = false;
    bool m_stopping = false;
    std::uint64_t m_last_marker = 0;    // the last number handed out
    std::uint64_t m_passed_marker = 0;  // the last one whose batch has finished
    bool m_ended = false;               // nothing more passes

    std::mutex m_thread_lock;
    std::condition_variable m_thread_cv;
    bool m_started = false;
    bool m_running = false;
    std::thread m_thread;
};

}  // namespace dravik
