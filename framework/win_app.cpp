#include "win_app.h"

#include "failure.h"

namespace {

CWinApp* g_pApp = nullptr;

std::string module_base_name(HINSTANCE hInstance)
{
    char path[MAX_PATH] = "";
    DWORD length = ::GetModuleFileNameA(hInstance, path, MAX_PATH);
    std::string name(path, length < MAX_PATH ? length : 0);
    name.erase(0, name.find_last_of("\\/:") + 1);  // npos + 1 == 0: no folder part
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
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

void CWinApp::SetRegistryKey(LPCSTR lpszRegistryKey) { m_strRegistryKey = lpszRegistryKey; }

void CWinApp::OnHelp() {}

CWinAppEx::CWinAppEx(BOOL bResourceSmartUpdate) : m_bResourceSmartUpdate(bResourceSmartUpdate) {}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle() { return g_pApp ? g_pApp->m_hInstance : nullptr; }

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

LPCSTR AfxGetAppName() { return g_pApp ? g_pApp->m_strAppName.c_str() : ""; }

void AfxEnableControlContainer() {}

int AfxWinMain(HINSTANCE hInstance)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    try {
        app->m_hInstance = hInstance;
        app->m_strAppName = module_base_name(hInstance);
        app->InitInstance();
        return 0;
    } catch (...) {
        AfxReportCurrentException(nullptr);
        return 1;
    }
}
