// The framework layer in the test process: message map lookup, dialog initialisation data, and
// the dialog procedure's default handling, command routing and failure reporting.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "dlg_init.h"
#include "framework.h"
#include "gui_driver.h"
#include "modal_script.h"
#include "resource.h"
#include "test_app.h"

namespace orvanta::test {

class CBaseTarget : public CCmdTarget {
public:
    void OnPaint() { m_strCalls += "base paint;"; }
    void OnCommandOK() { m_strCalls += "base ok;"; }
    std::string m_strCalls;

    DECLARE_MESSAGE_MAP()
};

class CDerivedTarget : public CBaseTarget {
public:
    void OnPaint() { m_strCalls += "derived paint;"; }
    void OnSend() { m_strCalls += "send;"; }
    void OnSysCommand(UINT nID, LPARAM lParam)
    {
        m_strCalls += "syscommand " + std::to_string(nID) + "," + std::to_string(lParam) + ";";
    }
    HCURSOR OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(0x1234); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseTarget, CCmdTarget)
ON_WM_PAINT()
ON_COMMAND(IDOK, &CBaseTarget::OnCommandOK)
END_MESSAGE_MAP()

BEGIN_MESSAGE_MAP(CDerivedTarget, CBaseTarget)
ON_WM_PAINT()
ON_WM_SYSCOMMAND()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_SEND, &CDerivedTarget::OnSend)
END_MESSAGE_MAP()

namespace {

// The most derived entry wins; a command needs both its id and its notification code to match;
// parameters reach the handler and its result comes back.
TEST(MessageMap, LookupFindsTheMostDerivedMatchingEntry)
{
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        const char* calls;  // nullptr: no entry takes the message
        LRESULT result;
    } cases[] = {
        {WM_PAINT, 0, 0, "derived paint;", 0},
        {WM_COMMAND, MAKEWPARAM(IDOK, 0), 0, "base ok;", 0},
        {WM_COMMAND, MAKEWPARAM(IDC_SEND, BN_CLICKED), 0, "send;", 0},
        {WM_COMMAND, MAKEWPARAM(IDC_SEND, BN_DOUBLECLICKED), 0, nullptr, 0},
        {WM_COMMAND, MAKEWPARAM(IDC_BROWSE, BN_CLICKED), 0, nullptr, 0},
        {WM_SYSCOMMAND, SC_CLOSE, 7, "syscommand 61536,7;", 0},
        {WM_QUERYDRAGICON, 0, 0, "", 0x1234},
        {WM_TIMER, 1, 0, nullptr, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("message " + std::to_string(c.message) + ", wParam " +
                     std::to_string(c.wParam));
        CDerivedTarget target;
        const UINT code = c.message == WM_COMMAND ? HIWORD(c.wParam) : 0;
        const UINT id = c.message == WM_COMMAND ? LOWORD(c.wParam) : 0;
        const AFX_MSGMAP_ENTRY* entry =
            AfxFindMessageEntry(target.GetMessageMap(), c.message, code, id);
        if (!c.calls) {
            EXPECT_EQ(entry, nullptr);
            continue;
        }
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->pfn(&target, c.wParam, c.lParam), c.result);
        EXPECT_EQ(target.m_strCalls, c.calls);
    }
}

std::vector<BYTE> bytes(std::initializer_list<int> values)
{
    return std::vector<BYTE>(values.begin(), values.end());
}

TEST(DlgInit, ParsesRecordsAndRefusesDamagedData)
{
    const std::vector<BYTE> two_records = bytes({0xEB, 0x03, 0x03, 0x04, 3, 0, 0, 0, 'A', 'B', 0,
                                                 0xE8, 0x03, 0x0C, 0x00, 0, 0, 0, 0, 0,   0});
    const auto parsed = AfxParseDlgInit(two_records.data(), two_records.size());
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), 2u);
    EXPECT_EQ((*parsed)[0].nIDC, 1003);
    EXPECT_EQ((*parsed)[0].nMsg, 0x0403);
    EXPECT_EQ((*parsed)[0].data, bytes({'A', 'B', 0}));
    EXPECT_EQ((*parsed)[1].nIDC, 1000);
    EXPECT_EQ((*parsed)[1].nMsg, WM_SETTEXT);
    EXPECT_TRUE((*parsed)[1].data.empty());

    const std::vector<BYTE> end_only = bytes({0, 0});
    ASSERT_TRUE(AfxParseDlgInit(end_only.data(), end_only.size()));
    EXPECT_TRUE(AfxParseDlgInit(end_only.data(), end_only.size())->empty());

    const struct {
        const char* what;
        std::vector<BYTE> data;
    } damaged[] = {
        {"nothing at all", {}},
        {"no end mark", bytes({0xEB, 0x03, 0x03, 0x04, 1, 0, 0, 0, 0})},
        {"a record cut inside its header", bytes({0xEB, 0x03, 0x03, 0x04, 1, 0})},
        {"a length past the end", bytes({0xEB, 0x03, 0x03, 0x04, 9, 0, 0, 0, 'A', 0, 0})},
        {"an end mark cut in half", bytes({0xEB, 0x03, 0x03, 0x04, 1, 0, 0, 0, 0, 0})},
    };
    for (const auto& d : damaged)
        EXPECT_FALSE(AfxParseDlgInit(d.data.data(), d.data.size())) << d.what;
}

TEST(DlgInit, SixteenBitAddStringMessagesBecomeTheirWin32Numbers)
{
    EXPECT_EQ(AfxDlgInitMessage(0x0403), static_cast<UINT>(CB_ADDSTRING));
    EXPECT_EQ(AfxDlgInitMessage(0x0401), static_cast<UINT>(LB_ADDSTRING));
    EXPECT_EQ(AfxDlgInitMessage(WM_SETTEXT), static_cast<UINT>(WM_SETTEXT));
}

TEST(Dialog, OkAndCancelEndTheDialogWithTheirIds)
{
    for (int id : {IDOK, IDCANCEL}) {
        CDialog dialog(IDD_ABOUTBOX);
        EXPECT_EQ(ModalScript().run(dialog, {post(WM_COMMAND, id)}), id);
        EXPECT_EQ(dialog.m_hWnd, nullptr);
    }
}

TEST(Dialog, CommandsNoDialogTakesReachTheApplicationsCommandMap)
{
    const int before = theTestApp.m_nHelpCommands;
    CDialog dialog(IDD_ABOUTBOX);
    ModalScript().run(dialog, {post(WM_COMMAND, ID_HELP),
                               [&](HWND) { return theTestApp.m_nHelpCommands == before + 1; },
                               post(WM_COMMAND, IDCANCEL)});
    EXPECT_EQ(theTestApp.m_nHelpCommands, before + 1);
}

// A handler that throws: the dialog procedure catches it, tells the user in a message box
// captioned with the program's name, and the dialog goes on.
class CThrowingDlg : public CDialog {
public:
    explicit CThrowingDlg(std::function<void()> fnFail) : CDialog(IDD_ABOUTBOX), m_fnFail(fnFail) {}
    void OnOK() override { m_fnFail(); }

private:
    std::function<void()> m_fnFail;
};

TEST(Dialog, AFailureInAHandlerIsShownAndTheDialogCarriesOn)
{
    const struct {
        const char* what;
        std::function<void()> fail;
        const char* message;
    } cases[] = {
        {"runtime_error", [] { throw std::runtime_error("The disk is on fire."); },
         "The disk is on fire."},
        {"bad_alloc", [] { throw std::bad_alloc(); },
         "There is not enough memory to finish this operation."},
        {"anything else", [] { throw 42; }, "An unexpected error stopped this operation."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CThrowingDlg dialog(c.fail);
        std::string shown;
        auto close_message_box = [&](HWND owner) {
            HWND box = find_window(GetCurrentProcessId(), "#32770", "Orvanta", owner);
            if (!box)
                return false;
            shown = window_text(GetDlgItem(box, 0xFFFF));
            return PostMessageA(box, WM_COMMAND, IDOK, 0) != FALSE;
        };
        const INT_PTR result = ModalScript().run(
            dialog, {post(WM_COMMAND, IDOK), close_message_box, post(WM_COMMAND, IDCANCEL)});
        EXPECT_EQ(shown, c.message);
        EXPECT_EQ(result, IDCANCEL);
    }
}

}  // namespace
}  // namespace orvanta::test
