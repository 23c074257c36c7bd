#include "win_app.h"

#include "failure.h"

namespace {

CWinApp* g_pApp = nullptr;

std::string ProgramName(HINSTANCE hInstance)
{
    char szPath[MAX_PATH] = "";
    const DWORD dwLength = ::GetModuleFileNameA(hInstance, szPath, MAX_PATH);
    std::string strName(szPath, dwLength < MAX_PATH ? dwLength : 0);
    strName.erase(0, strName.find_last_of("\\/:") + 1);  // npos + 1 == 0: no folder part
    const std::size_t nDot = strName.rfind('.');
    if (nDot != std::string::npos)
        strName.erase(nDot);
    return strName;
}

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp() { g_pApp = this; }

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

HICON CWinApp::LoadIcon(UINT nIDResource) const
{
    return ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource));
}

void CWinApp::SetRegistryKey(LPCSTR) {}

void CWinApp::OnHelp() {}

CWinAppEx::CWinAppEx(BOOL) {}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle() { return g_pApp ? g_pApp->m_hInstance : nullptr; }

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

LPCSTR AfxGetAppName() { return g_pApp ? g_pApp->m_strAppName.c_str() : ""; }

void AfxEnableControlContainer() {}

int AfxWinMain(HINSTANCE hInstance)
{
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return 1;
    try {
        pApp->m_hInstance = hInstance;
        pApp->m_strAppName = ProgramName(hInstance);
        pApp->InitInstance();
        return 0;
    } catch (...) {
        AfxReportCurrentException(nullptr);
        return 1;
    }
}
