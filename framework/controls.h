#pragma once
// Wrappers of the standard controls the program uses, bound to a dialog's controls with
// DDX_Control.
#include <windows.h>

#include "dialog.h"

class CEdit : public CWnd {
public:
    ~CEdit() override = default;
};

class CComboBox : public CWnd {
public:
    ~CComboBox() override = default;

    int SetCurSel(int nSelect);
};

// Binds rControl to the dialog's control nIDC. Binding again (a dialog run a second time)
// takes the new control.
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
