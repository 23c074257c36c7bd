#pragma once
// CDialog: a dialog made from a template in the program's resources, run modally. Its one dialog
// procedure hands each message to the class's message map; what no entry takes, and what a
// handler passes on with Default(), gets the dialog manager's default processing.
#include <windows.h>

#include "wnd.h"

// What DoDataExchange binds the dialog's members through. The program's dialogs only bind
// controls (DDX_Control), so the exchange carries nothing but the dialog.
class CDataExchange {
public:
    explicit CDataExchange(CWnd* pDlgWnd) : m_pDlgWnd(pDlgWnd) {}

    CWnd* m_pDlgWnd;
};

class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate);
    ~CDialog() override = default;

    // Shows the dialog and returns when it has ended: the value given to EndDialog, or -1 when
    // the dialog could not be created. The dialog is owned by the application's main window, if
    // that is open and is not this dialog.
    INT_PTR DoModal();
    BOOL EndDialog(INT_PTR nResult);

    // First applies the template's initialisation data, then binds the members to their controls
    // through DoDataExchange. TRUE lets the dialog manager give the focus to the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

protected:
    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnDialogMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    LPCSTR m_lpszTemplateName;
};
