#include "gui_driver.h"

#include "program_paths.h"

namespace orvanta::test {

namespace {

std::wstring widen(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                     wide.data(), static_cast<int>(wide.size()));
    wide.resize(length > 0 ? length : 0);
    return wide;
}

std::string narrow(const std::wstring& wide)
{
    std::string text(wide.size() * 2, '\0');
    int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                     text.data(), static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(length > 0 ? length : 0);
    return text;
}

struct Search {
    DWORD process_id;
    const char* window_class;
    const char* caption;
    HWND owner;
    HWND found = nullptr;
};

BOOL CALLBACK match_top_level(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    if (process_id == search->process_id && IsWindowVisible(window) &&
        class_name(window) == search->window_class && window_text(window) == search->caption &&
        GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

struct ChildSearch {
    int id;
    const char* window_class;
    HWND found = nullptr;
};

BOOL CALLBACK match_child(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<ChildSearch*>(lParam);
    if (GetDlgCtrlID(window) == search->id && class_name(window) == search->window_class) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::string window_text(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    text.resize(copied);
    return narrow(text);
}

void set_window_text(HWND window, const std::string& text)
{
    const std::wstring wide = widen(text);
    SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

std::string class_name(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND find_descendant(HWND parent, int id, const char* window_class)
{
    ChildSearch search{id, window_class};
    EnumChildWindows(parent, match_child, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND find_window(DWORD process_id, const char* window_class, const char* caption, HWND owner)
{
    Search search{process_id, window_class, caption, owner};
    EnumWindows(match_top_level, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND focused_window(DWORD thread_id)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(thread_id, &info) ? info.hwndFocus : nullptr;
}

bool click(HWND button, int timeout_ms)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, timeout_ms, &ignored) != 0;
}

void post_click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void post_key(HWND window, WPARAM key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

RunningOrvanta::RunningOrvanta()
{
    std::string command = "\"" + built_program() + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process_))
        return;
    wait_until(
        [this] {
            main_ = find_window(process_.dwProcessId, "#32770", "Kestiva Orvanta", nullptr);
            return main_ != nullptr;
        },
        15000);
}

RunningOrvanta::~RunningOrvanta()
{
    if (!process_.hProcess)
        return;
    if (!ended(0)) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

HWND RunningOrvanta::dialog(const char* caption) const
{
    return find_window(process_.dwProcessId, "#32770", caption, main_);
}

HWND RunningOrvanta::wait_for_dialog(const char* caption, int timeout_ms) const
{
    HWND found = nullptr;
    wait_until([&] { return (found = dialog(caption)) != nullptr; }, timeout_ms);
    return found;
}

bool RunningOrvanta::ended(int timeout_ms) const
{
    return process_.hProcess &&
           WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout_ms)) == WAIT_OBJECT_0;
}

DWORD RunningOrvanta::exit_code() const
{
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
}

}  // namespace orvanta::test
