// _beginthreadex rather than CreateThread: the job uses the C runtime (stdio, errno), whose
// per-thread state msvcrt sets up and frees only for threads it started.
#include "worker_thread.h"

#include <windows.h>

#include <process.h>

namespace orvanta {

struct WorkerThread::Impl {
    std::function<void()> job;
    HANDLE thread = nullptr;
};

namespace {

unsigned __stdcall run_job(void* job)
{
    static_cast<std::function<void()>*>(job)->operator()();
    return 0;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> job) : impl_(std::make_unique<Impl>())
{
    impl_->job = std::move(job);
    impl_->thread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, run_job, &impl_->job, 0, nullptr));
}

WorkerThread::~WorkerThread()
{
    if (!impl_->thread)
        return;
    WaitForSingleObject(impl_->thread, INFINITE);
    CloseHandle(impl_->thread);
}

bool WorkerThread::started() const { return impl_->thread != nullptr; }

}  // namespace orvanta

namespace orvanta {

void pause_ms(unsigned ms) { Sleep(ms); }

}  // namespace orvanta
