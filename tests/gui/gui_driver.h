#pragma once
// Drives a running Orvanta.exe from another process, as a user would: finds its windows, reads
// and sets their texts, clicks buttons and posts keys. Window texts are read with the wide
// messages (Wine returns UTF-16 to cross-process narrow calls of some of them).
#include <windows.h>

#include <string>
#include <vector>

namespace orvanta::test {

// Polls done() every 20 ms until it holds or timeout_ms have passed.
template <class Done> bool wait_until(Done done, int timeout_ms = 5000)
{
    for (int waited = 0;; waited += 20) {
        if (done())
            return true;
        if (waited >= timeout_ms)
            return false;
        Sleep(20);
    }
}

std::string window_text(HWND window);
void set_window_text(HWND window, const std::string& text);
std::string class_name(HWND window);

// A control of a dialog by id, searched among all descendants (the Open dialog nests its file
// name field inside a combo box).
HWND find_descendant(HWND parent, int id, const char* window_class);

// A visible top-level window of the process with this class and caption, owned by owner.
HWND find_window(DWORD process_id, const char* window_class, const char* caption, HWND owner);

// The window that has the keyboard focus in the given thread.
HWND focused_window(DWORD thread_id);

// Clicks a button and waits until its handler has returned. False when it did not return within
// timeout_ms (a handler that shows a message box waits for the box).
bool click(HWND button, int timeout_ms = 10000);
// Clicks a button without waiting: for buttons that open a modal window.
void post_click(HWND button);
void post_key(HWND window, WPARAM key);

// One Orvanta.exe of this build, started for a test and ended, if it still runs, with the test.
class RunningOrvanta {
public:
    RunningOrvanta();
    ~RunningOrvanta();
    RunningOrvanta(const RunningOrvanta&) = delete;
    RunningOrvanta& operator=(const RunningOrvanta&) = delete;

    HWND main() const { return main_; }
    HWND control(int id) const { return GetDlgItem(main_, id); }
    DWORD thread_id() const { return process_.dwThreadId; }

    // A dialog of this process captioned caption and owned by the main dialog, once it is up.
    HWND wait_for_dialog(const char* caption, int timeout_ms = 5000) const;
    HWND dialog(const char* caption) const;

    bool ended(int timeout_ms = 5000) const;
    DWORD exit_code() const;

private:
    PROCESS_INFORMATION process_ = {};
    HWND main_ = nullptr;
};

}  // namespace orvanta::test
