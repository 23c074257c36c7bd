#pragma once
// CPaintDC: the device context of one WM_PAINT, from BeginPaint to EndPaint.
#include <windows.h>

class CWnd;

class CPaintDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON hIcon);

private:
    PAINTSTRUCT m_ps;
    HWND m_hWnd;
    HDC m_hDC;
};
