#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace murmo {

// A serial background queue on one thread of its own, for the few places
// that must wait or block away from the main thread. Jobs run one after the
// other in the order posted. Destruction runs every job already posted, then
// joins: whatever a job was sent to finish (stopping a process, filing its
// last output) is finished, and no job outlives what it reports to. (A
// SerialQueue drops what is still queued when it goes, and keeps timers; use
// it where late work may be abandoned.)
class WorkerThread {
public:
    using Job = std::function<void()>;

    WorkerThread();
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Any thread but the worker's own when destroying.
    void post(Job job);
    bool isWorkerThread() const;

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool closing_ = false;
    std::thread thread_;
};

}  // namespace murmo
