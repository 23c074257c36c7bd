// The main dialog run inside the test process, where its system menu and icons can be read
// (Wine answers neither for another process's window).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "OrvantaDlg.h"
#include "modal_script.h"
#include "resource.h"

namespace orvanta::test {
namespace {

TEST(OrvantaDlg, SystemMenuEndsWithASeparatorAndTheAboutEntry)
{
    COrvantaDlg dialog;
    ModalScript().run(
        dialog, {[](HWND hwnd) {
                     HMENU menu = GetSystemMenu(hwnd, FALSE);
                     EXPECT_TRUE(menu);
                     const int count = GetMenuItemCount(menu);
                     EXPECT_GT(count, 2) << "the platform's own entries come first";
                     EXPECT_TRUE(GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
                     char text[64] = "";
                     GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
                     EXPECT_STREQ(text, "&About Orvanta...");
                     EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
                     return true;
                 },
                 post(WM_COMMAND, IDCANCEL)});
}

TEST(OrvantaDlg, IconIsTheWindowsBigAndSmallIconAndItsDragImage)
{
    COrvantaDlg dialog;
    ModalScript().run(dialog, {[](HWND hwnd) {
                                   const LRESULT big = SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0);
                                   EXPECT_NE(big, 0);
                                   EXPECT_EQ(SendMessageA(hwnd, WM_GETICON, ICON_SMALL, 0), big);
                                   EXPECT_EQ(SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0), big);
                                   return true;
                               },
                               post(WM_COMMAND, IDCANCEL)});
}

}  // namespace
}  // namespace orvanta::test
