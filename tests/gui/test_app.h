#pragma once
// The application object of the in-process tests: what the program's entry would set up, with
// the program's own name so that message boxes carry the caption Orvanta.exe gives them. Its
// command map counts the Help commands that reach it.
#include "framework.h"

namespace orvanta::test {

class CTestApp : public CWinApp {
public:
    CTestApp();
    ~CTestApp() override = default;

    void OnHelpCommand() { ++m_nHelpCommands; }
    int m_nHelpCommands = 0;

    DECLARE_MESSAGE_MAP()
};

extern CTestApp theTestApp;

}  // namespace orvanta::test
