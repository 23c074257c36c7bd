#pragma once
// The application: runs the main dialog, and ends when it closes.
#include <windows.h>

#include "framework.h"

class COrvantaApp : public CWinAppEx {
public:
    COrvantaApp();
    ~COrvantaApp() override;

    DECLARE_MESSAGE_MAP()

public:
    BOOL InitInstance() override;
};

extern COrvantaApp theApp;
