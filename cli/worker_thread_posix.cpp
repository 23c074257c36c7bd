// The stop signals are blocked while the thread is created, so the new thread inherits the mask
// and the signal always reaches the main thread, whose waits it interrupts.
#include "worker_thread.h"

#include <csignal>
#include <pthread.h>
#include <time.h>

namespace orvanta {

struct WorkerThread::Impl {
    std::function<void()> job;
    pthread_t thread{};
    bool running = false;
};

namespace {

void* run_job(void* impl)
{
    static_cast<std::function<void()>*>(impl)->operator()();
    return nullptr;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> job) : impl_(std::make_unique<Impl>())
{
    impl_->job = std::move(job);
    sigset_t stop_signals, previous;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, &previous);
    impl_->running = pthread_create(&impl_->thread, nullptr, run_job, &impl_->job) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

WorkerThread::~WorkerThread()
{
    if (impl_->running)
        pthread_join(impl_->thread, nullptr);
}

bool WorkerThread::started() const { return impl_->running; }

}  // namespace orvanta

namespace orvanta {

void pause_ms(unsigned ms)
{
    timespec wait = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&wait, nullptr);
}

}  // namespace orvanta
