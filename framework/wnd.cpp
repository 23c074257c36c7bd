#include "wnd.h"

#include <vector>

#include "win_app.h"

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

void CWnd::GetWindowText(std::string& rString) const
{
    std::vector<char> buffer(::GetWindowTextLengthA(m_hWnd) + 1);
    const int nLength = ::GetWindowTextA(m_hWnd, buffer.data(), static_cast<int>(buffer.size()));
    rString.assign(buffer.data(), nLength > 0 ? nLength : 0);
}

void CWnd::SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon)
{
    return reinterpret_cast<HICON>(
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(hIcon)));
}

HMENU CWnd::GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }

BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }

void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }

int CWnd::MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType)
{
    if (!lpszCaption)
        lpszCaption = AfxGetAppName();
    return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::Default() { m_bDefault = true; }

void CWnd::OnPaint() { Default(); }

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const UINT nCode = message == WM_COMMAND ? HIWORD(wParam) : 0;
    const UINT nID = message == WM_COMMAND ? LOWORD(wParam) : 0;
    CCmdTarget* pTarget = this;
    const AFX_MSGMAP_ENTRY* pEntry = AfxFindMessageEntry(GetMessageMap(), message, nCode, nID);
    // A command no window takes gets a last look from the application's command map.
    if (!pEntry && message == WM_COMMAND && AfxGetApp()) {
        pTarget = AfxGetApp();
        pEntry = AfxFindMessageEntry(pTarget->GetMessageMap(), message, nCode, nID);
    }
    if (!pEntry)
        return FALSE;

    // A handler may run a modal loop that dispatches other messages to this window, so each
    // dispatch keeps its own default flag.
    const bool bOuterDefault = m_bDefault;
    m_bDefault = false;
    *pResult = pEntry->pfn(pTarget, wParam, lParam);
    const bool bHandled = !m_bDefault;
    m_bDefault = bOuterDefault;
    return bHandled;
}
