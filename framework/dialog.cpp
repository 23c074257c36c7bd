#include "dialog.h"

#include "dlg_init.h"
#include "failure.h"
#include "win_app.h"

namespace {

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return true;
    default:
        return false;
    }
}

}  // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate) : m_lpszTemplateName(MAKEINTRESOURCEA(nIDTemplate)) {}

INT_PTR CDialog::DoModal()
{
    HWND hWndParent = nullptr;
    CWinApp* pApp = AfxGetApp();
    if (pApp && pApp->m_pMainWnd && pApp->m_pMainWnd != this)
        hWndParent = pApp->m_pMainWnd->m_hWnd;
    const INT_PTR nResult =
        ::DialogBoxParamA(AfxGetResourceHandle(), m_lpszTemplateName, hWndParent,
                          &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return nResult;
}

BOOL CDialog::EndDialog(INT_PTR nResult) { return ::EndDialog(m_hWnd, nResult); }

BOOL CDialog::OnInitDialog()
{
    AfxExecuteDlgInit(m_hWnd, AfxGetResourceHandle(), m_lpszTemplateName);
    CDataExchange dx(this);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The object arrives with WM_INITDIALOG; the few messages before it get default processing.
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        reinterpret_cast<CDialog*>(lParam)->m_hWnd = hWnd;
    }
    auto* pDialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    return pDialog ? pDialog->OnDialogMessage(hWnd, message, wParam, lParam) : FALSE;
}

INT_PTR CDialog::OnDialogMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_INITDIALOG)
            return OnInitDialog();
        LRESULT lResult = 0;
        if (!OnWndMsg(message, wParam, lParam, &lResult))
            return FALSE;
        if (ReturnsResultDirectly(message))
            return lResult;
        ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
        return TRUE;
    } catch (...) {
        AfxReportCurrentException(hWnd);  // and the dialog carries on
    }
    return TRUE;
}
