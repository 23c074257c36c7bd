#include "controls.h"

int CComboBox::SetCurSel(int nSelect)
{
    return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(nSelect), 0));
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    rControl.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
}
