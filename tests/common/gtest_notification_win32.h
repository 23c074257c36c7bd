#pragma once
// GoogleTest's Notification on a Win32 event, for MinGW-w64's win32 thread model (the shipped
// build's, which keeps the programs to XP's calls): it has no std::mutex or
// std::condition_variable, which GoogleTest's own Notification is made of. Everything else of
// GoogleTest's locking on Windows is its own, on critical sections. tests/CMakeLists.txt
// includes this before GoogleTest's headers and defines GTEST_HAS_NOTIFICATION_.
#include <windows.h>

namespace testing::internal {

class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace testing::internal
