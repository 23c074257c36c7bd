#pragma once
// The application object: one global object of a class derived from CWinApp. The entry point
// (AfxWinMain) runs its InitInstance; the program does its work there, typically by running a
// modal dialog, and the process ends when InitInstance returns.
#include <windows.h>

#include <string>

#include "message_map.h"

class CWnd;

#define ID_HELP 0xE146

class CWinApp : public CCmdTarget {
public:
    CWinApp();
    ~CWinApp() override;

    // The program's work, run by the entry point. This base does nothing and returns TRUE; a
    // derived InitInstance calls it first, as every application object does.
    virtual BOOL InitInstance();

    // The Help command. This program has no help file, so there is nothing to show.
    void OnHelp();

    // Loads an icon resource of this program at the system's large icon size.
    HICON LoadIcon(UINT nIDResource) const;

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    std::string m_strAppName;  // the program file's name without its extension

protected:
    // Names the registry key that settings would be kept under. The program keeps no settings,
    // so nothing is ever stored there and the name is not kept: this does nothing.
    void SetRegistryKey(LPCSTR lpszRegistryKey);

    DECLARE_MESSAGE_MAP()
};

class CWinAppEx : public CWinApp {
public:
    // bResourceSmartUpdate asks that resources be updated in place; this framework loads every
    // resource from the program file as it is, so there is nothing to update and it is ignored.
    explicit CWinAppEx(BOOL bResourceSmartUpdate = FALSE);
    ~CWinAppEx() override = default;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
LPCSTR AfxGetAppName();

// Enables hosting of ActiveX controls in dialogs. Our dialogs hold only standard Windows
// controls, so there is nothing to enable: this does nothing.
void AfxEnableControlContainer();

// Sets up the one application object for this module, runs its InitInstance and returns the
// process's exit code. The program has no message loop besides those of its modal dialogs.
int AfxWinMain(HINSTANCE hInstance);
