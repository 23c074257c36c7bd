#pragma once
// CWnd: a window handle and the operations on it that the program uses, named as Win32 names
// them. The object does not own the window; Windows destroys it.
#include <windows.h>

#include <string>

#include "message_map.h"

class CDataExchange;

class CWnd : public CCmdTarget {
public:
    CWnd() = default;
    ~CWnd() override = default;

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void GetWindowText(std::string& rString) const;
    void SetWindowText(LPCSTR lpszString);
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    HMENU GetSystemMenu(BOOL bRevert) const;
    BOOL IsIconic() const;
    void GetClientRect(LPRECT lpRect) const;
    // With a null caption the box is captioned with the application's name.
    int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption = nullptr, UINT nType = MB_OK);

    // Runs the map's handler for a message, if one takes it; false leaves the message to the
    // window's default processing.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    HWND m_hWnd = nullptr;

protected:
    // Binds the members to their controls (DDX_Control); a window with none keeps this one.
    virtual void DoDataExchange(CDataExchange* pDX);

    // Called by a handler that wants the platform's usual behaviour for the message it is
    // handling: the message goes on to the default processing once the handler returns.
    void Default();

    // Handlers that do nothing but ask for the default processing.
    void OnPaint();
    void OnSysCommand(UINT nID, LPARAM lParam);

private:
    bool m_bDefault = false;
};
