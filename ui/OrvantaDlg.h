#pragma once
// The main dialog: the port list, the file box with its "..." button, Send and Exit.
#include <windows.h>

#include "framework.h"
#include "resource.h"

class COrvantaDlg : public CDialog {
public:
    COrvantaDlg();
    ~COrvantaDlg() override;

    enum { IDD = IDD_MAIN };

    DECLARE_MESSAGE_MAP()

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnSend();
    void OnBrowse();

    HICON m_hIcon;
    char m_szFilePath[MAX_PATH];  // the chosen file; written only by the Open dialog
    CEdit m_editFilePath;
    CComboBox m_comboPort;
};
