#pragma once
// A thread that runs one job and is joined when the object goes. The shipped 32-bit Windows
// build has no std::thread (its compiler uses the win32 thread model), so each platform starts
// the thread with its own call: worker_thread_posix.cpp and worker_thread_win32.cpp.
#include <functional>
#include <memory>

namespace orvanta {

class WorkerThread {
public:
    // Starts job on a thread of its own. The stop signals (Ctrl-C, SIGTERM, SIGHUP) are left to
    // the thread that started it: the job sees them through the stop flag only.
    explicit WorkerThread(std::function<void()> job);
    ~WorkerThread();  // waits for the job to end
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // False when the system would not start the thread; then the job never runs.
    bool started() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Waits ms milliseconds on the calling thread (a stop signal may cut it short on POSIX).
void pause_ms(unsigned ms);

}  // namespace orvanta
