#pragma once
// The About box, opened from the main dialog's system menu.
#include <windows.h>

#include "framework.h"
#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override;

    enum { IDD = IDD_ABOUTBOX };

    DECLARE_MESSAGE_MAP()

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};
