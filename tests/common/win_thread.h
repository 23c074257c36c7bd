#pragma once
// A thread for the Windows tests on CreateThread: the shipped build's compiler (MinGW-w64's win32
// thread model, which keeps the programs on XP's own calls) has no std::thread.
#include <windows.h>

#include <functional>
#include <utility>

namespace orvanta::test {

class WinThread {
public:
    explicit WinThread(std::function<void()> work) : work_(std::move(work))
    {
        handle_ = CreateThread(nullptr, 0, &WinThread::run, this, 0, nullptr);
        if (!handle_)
            work_();  // no second thread: do the work here rather than lose it
    }
    ~WinThread() { join(); }
    WinThread(const WinThread&) = delete;
    WinThread& operator=(const WinThread&) = delete;

    void join()
    {
        if (!handle_)
            return;
        WaitForSingleObject(handle_, INFINITE);
        CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    static DWORD WINAPI run(void* self)
    {
        static_cast<WinThread*>(self)->work_();
        return 0;
    }

    std::function<void()> work_;
    HANDLE handle_ = nullptr;
};

}  // namespace orvanta::test
