#include "Orvanta.h"

#include <commctrl.h>

#include "OrvantaDlg.h"

BEGIN_MESSAGE_MAP(COrvantaApp, CWinAppEx)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

COrvantaApp::COrvantaApp() : CWinAppEx(TRUE) {}

COrvantaApp::~COrvantaApp() = default;

COrvantaApp theApp;

// The dialog's modal loop is the program's only loop: returning FALSE ends the process.
BOOL COrvantaApp::InitInstance()
{
    INITCOMMONCONTROLSEX InitCtrls;
    InitCtrls.dwSize = sizeof(InitCtrls);
    InitCtrls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&InitCtrls);

    CWinAppEx::InitInstance();

    AfxEnableControlContainer();

    SetRegistryKey("Local AppWizard-Generated Applications");

    {
        COrvantaDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }  // the dialog is destroyed here

    return FALSE;
}
