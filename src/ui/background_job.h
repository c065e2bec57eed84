// Work that may take long (listing a deep folder, extracting a package) runs
// on a thread of its own, so that the window goes on repainting and answering
// keys; its result comes back to the GUI thread as a queued call, where alone
// widgets are touched.
//
// One job at a time: starting another stops the one under way and throws its
// result away, so that only the last thing the user asked for shows. The work
// receives a stop token and is expected to look at it often (per file, per
// 64 KiB): stopping waits for it to notice.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <memory>
#include <stop_token>
#include <thread>
#include <utility>

namespace dravik {

template <typename Result>
class CBackgroundJob {
  public:
    // `receiver` runs the completions on its thread. The job must not
    // outlive it; as a member of the receiver it is stopped before the
    // receiver goes, and Qt drops a completion still queued for it.
    explicit CBackgroundJob(QObject* receiver) : m_receiver(receiver) {}
    ~CBackgroundJob() { Stop(); }
    CBackgroundJob(const CBackgroundJob&) = delete;
    CBackgroundJob& operator=(const CBackgroundJob&) = delete;

    // Stops the job under way, then runs `work(stop_token) -> Result` on a
    // new thread; `done(Result)` gets its result on the receiver's thread
    // unless the job was stopped or replaced first.
    template <typename Work, typename Done>
    void Start(Work work, Done done) {
        Stop();
        const unsigned generation = ++m_generation;
        m_running = true;
        m_thread = std::jthread([this, generation, work = std::move(work),
                                 done = std::move(done)](std::stop_token stop) mutable {
            auto result = std::make_shared<Result>(work(stop));
            if (stop.stop_requested()) return;
            QMetaObject::invokeMethod(
                m_receiver,
                [this, generation, result, done = std::move(done)]() mutable {
                    if (generation != m_generation) return;  // stopped or replaced meanwhile
                    m_running = false;
                    m_thread.join();
                    done(std::move(*result));
                },
                Qt::QueuedConnection);
        });
    }

    // Asks the job under way to stop and waits for it; its result is dropped.
    void Stop() {
        ++m_generation;
        m_running = false;
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
    }

    // From Start until its result is handed over or the job is stopped.
    bool IsRunning() const noexcept { return m_running; }
    // Changes with every Start and Stop: a completion that shows a message
    // (and so lets the user act meanwhile) sees whether it is still the last word.
    unsigned Generation() const noexcept { return m_generation; }

  private:
    QObject* const m_receiver;
    // Touched on the receiver's thread only; the worker carries its own copy.
    unsigned m_generation = 0;
    bool m_running = false;
    std::jthread m_thread;
};

}  // namespace dravik
