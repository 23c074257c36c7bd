#include "dialog.h"

#include "dlg_init.h"
#include "failure.h"
#include "win_app.h"

namespace {

// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool returns_result_directly(UINT message)
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

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEA(nIDTemplate)), m_pParentWnd(pParentWnd)
{
}

INT_PTR CDialog::DoModal()
{
    HWND hWndParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    CWinApp* app = AfxGetApp();
    if (!hWndParent && app && app->m_pMainWnd && app->m_pMainWnd != this)
        hWndParent = app->m_pMainWnd->m_hWnd;
    const INT_PTR nResult = ::DialogBoxParamA(AfxGetResourceHandle(), m_lpszTemplateName,
                                              hWndParent, &CDialog::DialogProc,
                                              reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return nResult;
}

BOOL CDialog::EndDialog(INT_PTR nResult) { return ::EndDialog(m_hWnd, nResult); }

BOOL CDialog::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    AfxExecuteDlgInit(m_hWnd, AfxGetResourceHandle(), m_lpszTemplateName);
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The object arrives with WM_INITDIALOG; the few messages before it get default processing.
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        reinterpret_cast<CDialog*>(lParam)->m_hWnd = hWnd;
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    return dialog ? dialog->OnDialogMessage(hWnd, message, wParam, lParam) : FALSE;
}

INT_PTR CDialog::OnDialogMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_INITDIALOG)
            return OnInitDialog();
        LRESULT result = 0;
        if (!OnWndMsg(message, wParam, lParam, &result))
            return FALSE;
        if (returns_result_directly(message))
            return result;
        ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
        return TRUE;
    } catch (...) {
        AfxReportCurrentException(hWnd);  // and the dialog carries on
    }
    return TRUE;
}
