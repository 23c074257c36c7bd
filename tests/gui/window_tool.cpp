// window_tool: helps scripts work with a dialog under Wine.
//   window_tool wait CAPTION    waits (up to 15 s) for a visible dialog with this caption and
//                               prints its screen rectangle as "x y width height"
//   window_tool close CAPTION   closes it through its system menu's Close command
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "wait") && std::strcmp(argv[1], "close"))) {
        std::fprintf(stderr, "usage: window_tool wait|close CAPTION\n");
        return 2;
    }
    HWND window = nullptr;
    for (int waited = 0; waited < 15000; waited += 50) {
        window = FindWindowA("#32770", argv[2]);
        if (window && IsWindowVisible(window))
            break;
        window = nullptr;
        Sleep(50);
    }
    if (!window) {
        std::fprintf(stderr, "window_tool: no window \"%s\"\n", argv[2]);
        return 1;
    }
    if (!std::strcmp(argv[1], "close"))
        return PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
    RECT rect;
    GetWindowRect(window, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
    return 0;
}
