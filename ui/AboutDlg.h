#pragma once
// The About box, opened from the main dialog's system menu. It binds no controls, so it keeps
// the base class's DoDataExchange.
#include <windows.h>

#include "framework.h"
#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
    ~CAboutDlg() override;

    enum { IDD = IDD_ABOUTBOX };

    DECLARE_MESSAGE_MAP()
};
