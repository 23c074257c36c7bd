// Orvanta.exe as the user meets it: the test starts the program, works its dialog from outside
// (texts, clicks, keys) and reads what reaches the far end of the virtual cable: COM2, the
// default port, is one end and COM3, read here, the other.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "com_line.h"
#include "frame.h"
#include "gui_driver.h"
#include "resource.h"
#include "test_files.h"

namespace orvanta::test {
namespace {

constexpr int OPEN_FILE_NAME = 0x47C;  // the Open dialog's file name field
constexpr int OPEN_READ_ONLY = 0x410;  // its "Open as read-only" check box
constexpr int MESSAGE_TEXT = 0xFFFF;   // a message box's text

class OrvantaGui : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.ok()) << "COM3 does not open: start scripts/wine-session.sh first";
        ASSERT_TRUE(app.main()) << "Orvanta.exe did not show its dialog";
    }

    HWND port_box() const { return app.control(IDC_PORT); }
    HWND file_box() const { return app.control(IDC_FILE_PATH); }
    std::string file_box_text() const { return window_text(file_box()); }

    // Opens the Open dialog with "...".
    HWND open_browse()
    {
        post_click(app.control(IDC_BROWSE));
        return app.wait_for_dialog("Select file");
    }

    // Picks a path in the Open dialog as a user types it, and waits for the file box to show it.
    void choose_file(const std::string& path)
    {
        HWND open = open_browse();
        ASSERT_TRUE(open) << "no \"Select file\" dialog";
        HWND name = find_descendant(open, OPEN_FILE_NAME, "Edit");
        ASSERT_TRUE(name);
        set_window_text(name, path);
        post_click(GetDlgItem(open, IDOK));
        ASSERT_TRUE(wait_until([&] { return !app.dialog("Select file"); }));
        ASSERT_TRUE(wait_until([&] { return file_box_text() == path; }))
            << "file box shows \"" << file_box_text() << "\"";
    }

    // Presses Send and waits for the message box it must show; returns the box's text after
    // closing it with OK.
    std::string send_expecting_message()
    {
        post_click(app.control(IDC_SEND));
        HWND box = app.wait_for_dialog("Orvanta", 10000);
        if (!box) {
            ADD_FAILURE() << "no message box captioned \"Orvanta\"";
            return {};
        }
        const std::string text = window_text(GetDlgItem(box, MESSAGE_TEXT));
        EXPECT_TRUE(GetDlgItem(box, IDOK)) << "an OK button";
        EXPECT_FALSE(GetDlgItem(box, IDCANCEL)) << "no other button";
        post_click(GetDlgItem(box, IDOK));
        EXPECT_TRUE(wait_until([&] { return !app.dialog("Orvanta"); }));
        return text;
    }

    // Presses Send; it must finish with no message box.
    void send_silently()
    {
        ASSERT_TRUE(click(app.control(IDC_SEND)))
            << "Send did not return: " << (app.dialog("Orvanta") ? "a message box" : "still busy");
    }

    ComReader line{"COM3"};
    RunningOrvanta app;
    ScratchDir files;
};

TEST_F(OrvantaGui, OpensWithPortListDefaultPortAndEmptyReadOnlyFileBox)
{
    EXPECT_EQ(window_text(app.main()), "Kestiva Orvanta");

    ASSERT_EQ(SendMessageW(port_box(), CB_GETCOUNT, 0, 0), 9);
    for (int i = 0; i < 9; ++i) {
        wchar_t item[16] = L"";
        SendMessageW(port_box(), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        EXPECT_EQ(std::wstring(item), L"COM" + std::to_wstring(i));
    }
    EXPECT_EQ(SendMessageW(port_box(), CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(window_text(port_box()), "COM2");

    EXPECT_EQ(file_box_text(), "");
    EXPECT_TRUE(GetWindowLongW(file_box(), GWL_STYLE) & ES_READONLY);

    HWND exit = app.control(IDCANCEL);
    EXPECT_TRUE(wait_until([&] { return focused_window(app.thread_id()) == exit; }))
        << "Exit has the focus";
    // With no default push button the dialog manager reports IDOK, and no control has that id.
    const LRESULT default_id = SendMessageW(app.main(), DM_GETDEFID, 0, 0);
    EXPECT_FALSE(GetDlgItem(app.main(), LOWORD(default_id)));
    for (int id : {IDC_BROWSE, IDC_SEND})
        EXPECT_EQ(GetWindowLongW(app.control(id), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
}

TEST_F(OrvantaGui, BrowseShowsATypedPathEvenForAFileThatDoesNotExist)
{
    HWND open = open_browse();
    ASSERT_TRUE(open);
    HWND read_only = GetDlgItem(open, OPEN_READ_ONLY);
    EXPECT_TRUE(read_only && IsWindowVisible(read_only)) << "the read-only check box is shown";
    post_click(GetDlgItem(open, IDCANCEL));
    ASSERT_TRUE(wait_until([&] { return !app.dialog("Select file"); }));

    const std::string missing = files.path("not-there.bin");
    choose_file(missing);

    // Send then opens the port and writes nothing; the file that will not open is reported.
    const std::string message = send_expecting_message();
    EXPECT_EQ(message.rfind("Could not open " + missing + ":", 0), 0u) << message;
    EXPECT_TRUE(line.received().empty());
}

TEST_F(OrvantaGui, CancelledBrowseStillSetsTheFileBoxFromTheBuffer)
{
    const std::string chosen = files.write("chosen.bin", pattern(10));
    choose_file(chosen);

    set_window_text(file_box(), "not what the buffer holds");
    HWND open = open_browse();
    ASSERT_TRUE(open);
    post_click(GetDlgItem(open, IDCANCEL));
    EXPECT_TRUE(wait_until([&] { return file_box_text() == chosen; }))
        << "file box shows \"" << file_box_text() << "\"";
}

TEST_F(OrvantaGui, SendWritesTheFrameByteForByteOnEveryPress)
{
    // The largest file the 16-bit count describes, with every byte value in it.
    const std::vector<std::uint8_t> payload = pattern(65535);
    choose_file(files.write("largest.bin", payload));

    for (int press = 1; press <= 2; ++press) {
        SCOPED_TRACE("press " + std::to_string(press));
        send_silently();
        EXPECT_EQ(line.received(), orvanta::encode_frame(payload));
    }
}

TEST_F(OrvantaGui, FileOverTheCountLimitIsRefusedAndNothingIsSent)
{
    const std::string big = files.write("too-big.bin", pattern(65536));
    choose_file(big);

    const std::string message = send_expecting_message();
    EXPECT_EQ(message.rfind(big, 0), 0u) << message;
    for (const char* part : {"65,536", "65,535", "Nothing was sent."})
        EXPECT_NE(message.find(part), std::string::npos) << part << " in: " << message;
    EXPECT_TRUE(line.received().empty());
}

// With no file chosen, Send still opens COM2 and sets its line (seen here as the speed the
// driver had changed coming back to 115,200), writes nothing and says nothing.
TEST_F(OrvantaGui, SendWithNoFileSetsUpThePortAndWritesNothing)
{
    auto com2_speed = [](DWORD set_to) {
        HANDLE port = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr);
        if (port == INVALID_HANDLE_VALUE)
            return DWORD{0};
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        GetCommState(port, &dcb);
        if (set_to) {
            dcb.BaudRate = set_to;
            SetCommState(port, &dcb);
        }
        CloseHandle(port);
        return dcb.BaudRate;
    };
    ASSERT_NE(com2_speed(9600), 0u);
    ASSERT_EQ(com2_speed(0), 9600u);

    send_silently();
    EXPECT_EQ(com2_speed(0), 115200u);
    EXPECT_TRUE(line.received().empty());
}

// A port that will not open: a typed name with no port behind it, a list entry for which the
// machine has no port, and the erased field. Each time the message is the name and " port
// error\n", and the dialog carries on as it was.
TEST_F(OrvantaGui, PortThatWillNotOpenShowsThePortErrorMessage)
{
    choose_file(files.write("small.bin", pattern(3)));

    const std::function<void()> select_com7 = [&] { SendMessageW(port_box(), CB_SETCURSEL, 7, 0); };
    const struct {
        const char* name;
        std::function<void()> pick;
    } cases[] = {
        {"NOPORT", [&] { set_window_text(port_box(), "NOPORT"); }},
        {"COM7", select_com7},
        {"", [&] { set_window_text(port_box(), ""); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("port \"") + c.name + "\"");
        c.pick();
        ASSERT_EQ(window_text(port_box()), c.name);
        EXPECT_EQ(send_expecting_message(), std::string(c.name) + " port error\n");
        EXPECT_EQ(window_text(port_box()), c.name);
        EXPECT_TRUE(line.received().empty());
    }

    // And Send works again once the port is one that opens.
    set_window_text(port_box(), "COM2");
    send_silently();
    EXPECT_EQ(line.received(), orvanta::encode_frame(pattern(3)));
}

// The About entry is the last of the system menu: opened by keyboard (Alt+Space, Up from the
// first entry to the last, Enter) it brings up the About box over the main dialog. Leaving the
// box by any of its ways returns to the main dialog with port and file as they were.
TEST_F(OrvantaGui, SystemMenuAboutOpensTheAboutBoxAndReturnsUnchanged)
{
    const std::vector<std::uint8_t> payload = pattern(100, 7);
    const std::string path = files.write("about.bin", payload);
    choose_file(path);
    set_window_text(port_box(), "COM10");  // COM10 reaches the same line as COM2

    PostMessageW(app.main(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
    HWND menu = nullptr;
    ASSERT_TRUE(wait_until([&] {
        return (menu = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(menu);
    }));
    post_key(app.main(), VK_UP);
    post_key(app.main(), VK_RETURN);

    const struct {
        const char* way;
        std::function<void(HWND)> leave;
    } ways[] = {
        {"OK", [](HWND about) { post_click(GetDlgItem(about, IDOK)); }},
        {"Esc", [](HWND about) { post_key(GetDlgItem(about, IDOK), VK_ESCAPE); }},
        {"close box", [](HWND about) { PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        HWND about = app.wait_for_dialog("About Orvanta");
        ASSERT_TRUE(about) << "no About box";
        EXPECT_FALSE(IsWindowEnabled(app.main())) << "the About box is modal";

        HWND icon = GetWindow(about, GW_CHILD);
        EXPECT_EQ(GetWindowLongW(icon, GWL_STYLE) & SS_TYPEMASK, SS_ICON);
        EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0) << "the icon is shown";
        std::vector<std::string> texts;
        for (HWND child = GetWindow(icon, GW_HWNDNEXT); child;
             child = GetWindow(child, GW_HWNDNEXT))
            texts.push_back(window_text(child));
        EXPECT_EQ(texts, (std::vector<std::string>{"Orvanta, Version 1.0",
                                                   "Copyright (C) 2026 Kestiva", "OK"}));

        way.leave(about);
        ASSERT_TRUE(wait_until([&] { return !app.dialog("About Orvanta"); }));
        EXPECT_TRUE(wait_until([&] { return IsWindowEnabled(app.main()) != FALSE; }));
        EXPECT_EQ(window_text(port_box()), "COM10");
        EXPECT_EQ(file_box_text(), path);

        // The next round opens the box with the entry's command itself.
        PostMessageW(app.main(), WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    }
    HWND about = app.wait_for_dialog("About Orvanta");
    ASSERT_TRUE(about);
    post_click(GetDlgItem(about, IDOK));
    ASSERT_TRUE(wait_until([&] { return !app.dialog("About Orvanta"); }));

    send_silently();
    EXPECT_EQ(line.received(), orvanta::encode_frame(payload)) << "the same file, on the same port";
}

// System commands other than the About entry keep their usual effect: Move, as the system menu
// sends it, moves the window with the arrow keys. (Close is among the ways of closing below.)
TEST_F(OrvantaGui, MoveFromTheSystemMenuMovesTheWindow)
{
    RECT before;
    GetWindowRect(app.main(), &before);
    auto moving = [&] {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(app.thread_id(), &info) && (info.flags & GUI_INMOVESIZE);
    };
    PostMessageW(app.main(), WM_SYSCOMMAND, SC_MOVE, 0);
    ASSERT_TRUE(wait_until(moving));
    // The move loop takes the first keys to place the pointer; later ones move the frame.
    for (int i = 0; i < 5; ++i) {
        post_key(app.main(), VK_RIGHT);
        Sleep(50);
    }
    post_key(app.main(), VK_RETURN);
    ASSERT_TRUE(wait_until([&] { return !moving(); }));

    RECT after;
    GetWindowRect(app.main(), &after);
    EXPECT_GT(after.left, before.left);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
}

// Exit, Esc, Enter in the port box, the close box and the system menu's Close each end the
// dialog, and with it the program.
TEST(OrvantaGuiClosing, EveryWayOfClosingEndsTheProgram)
{
    const struct {
        const char* way;
        std::function<void(const RunningOrvanta&)> close;
    } ways[] = {
        {"Exit", [](const RunningOrvanta& app) { post_click(app.control(IDCANCEL)); }},
        {"Esc",
         [](const RunningOrvanta& app) {
             wait_until([&] { return focused_window(app.thread_id()) != nullptr; });
             post_key(focused_window(app.thread_id()), VK_ESCAPE);
         }},
        {"Enter in the port box",
         [](const RunningOrvanta& app) {
             HWND combo = app.control(IDC_PORT);
             SendMessageW(app.main(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(combo), TRUE);
             HWND field = nullptr;
             wait_until([&] {
                 field = focused_window(app.thread_id());
                 return field && GetParent(field) == combo;
             });
             post_key(field, VK_RETURN);
         }},
        {"close box",
         [](const RunningOrvanta& app) { PostMessageW(app.main(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"system menu Close",
         [](const RunningOrvanta& app) {
             PostMessageW(app.main(), WM_SYSCOMMAND, SC_KEYMENU, ' ');
             wait_until([] { return FindWindowA("#32768", nullptr) != nullptr; });
             post_key(app.main(), 'C');
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.way);
        RunningOrvanta app;
        ASSERT_TRUE(app.main());
        way.close(app);
        EXPECT_TRUE(app.ended()) << "still running";
        EXPECT_EQ(app.exit_code(), 0u);
    }
}

}  // namespace
}  // namespace orvanta::test
