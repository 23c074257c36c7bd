#include "OrvantaDlg.h"

#include <commdlg.h>

#include <string>

#include "AboutDlg.h"
#include "SendMessage.h"

// The shipped build is 32-bit, where the record is the 88 bytes of the Windows 2000 layout;
// a 64-bit build has its own size, so the size always comes from sizeof.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEA) == 88);

BEGIN_MESSAGE_MAP(COrvantaDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_SEND, &COrvantaDlg::OnSend)
ON_BN_CLICKED(IDC_BROWSE, &COrvantaDlg::OnBrowse)
END_MESSAGE_MAP()

COrvantaDlg::COrvantaDlg() : CDialog(IDD) { m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME); }

COrvantaDlg::~COrvantaDlg() = default;

void COrvantaDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_FILE_PATH, m_editFilePath);
    DDX_Control(pDX, IDC_PORT, m_comboPort);
}

BOOL COrvantaDlg::OnInitDialog()
{
    // Fills the port list from the dialog's initialisation data and binds the controls.
    CDialog::OnInitDialog();

    // The About entry at the end of the system menu.
    HMENU hSysMenu = GetSystemMenu(FALSE);
    if (hSysMenu) {
        char szAboutMenu[256] = "";
        if (::LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, szAboutMenu, sizeof szAboutMenu) >
            0) {
            ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, szAboutMenu);
        }
    }

    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    m_szFilePath[0] = '\0';
    m_comboPort.SetCurSel(2);  // "COM2"
    return TRUE;               // the focus goes to the first tab stop, Exit
}

void COrvantaDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

// Minimised, the dialog draws its icon centred in the client area; otherwise it paints as any
// dialog does.
void COrvantaDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR COrvantaDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void COrvantaDlg::OnSend()
{
    std::string strPort;
    m_comboPort.GetWindowText(strPort);
    // The port is closed again before anything is shown, however the send ends.
    const orvanta::SendOutcome outcome = orvanta::send_file(strPort, m_szFilePath);
    const std::string strText = FormatSendMessage(outcome, strPort, m_szFilePath);
    if (!strText.empty())
        MessageBox(strText.c_str(), nullptr, 0);
}

// The box shows the buffer whatever the Open dialog's outcome: a cancelled dialog leaves the
// buffer as it was.
void COrvantaDlg::OnBrowse()
{
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(OPENFILENAMEA);
    ofn.hwndOwner = m_hWnd;
    ofn.hInstance = AfxGetInstanceHandle();
    ofn.lpstrFilter = "File\0*.*\0";
    ofn.nFilterIndex = 0;
    ofn.lpstrFile = m_szFilePath;
    ofn.nMaxFile = sizeof m_szFilePath;
    ofn.lpstrInitialDir = nullptr;
    ofn.lpstrTitle = "Select file";
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
    ::GetOpenFileNameA(&ofn);
    m_editFilePath.SetWindowText(m_szFilePath);
}
