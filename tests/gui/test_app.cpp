#include "test_app.h"

namespace orvanta::test {

BEGIN_MESSAGE_MAP(CTestApp, CWinApp)
ON_COMMAND(ID_HELP, &CTestApp::OnHelpCommand)
END_MESSAGE_MAP()

CTestApp::CTestApp()
{
    m_hInstance = GetModuleHandleA(nullptr);
    m_strAppName = "Orvanta";
}

CTestApp theTestApp;

}  // namespace orvanta::test
