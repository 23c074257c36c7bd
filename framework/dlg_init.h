#pragma once
// Dialog initialisation data: a resource (type 240, named like its dialog) of messages to send
// to the dialog's controls when it opens, such as the strings of a combo box's list. Each record
// is a WORD control id, a WORD message, a DWORD byte count and that many bytes (the message's
// lParam); a WORD 0 ends the list.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#define RT_DLGINIT MAKEINTRESOURCEA(240)

struct AFX_DLGINIT_RECORD {
    WORD nIDC;
    WORD nMsg;
    std::vector<BYTE> data;  // the message's lParam
};

// The records of the data, or nothing when it is cut short or lacks its end mark.
std::optional<std::vector<AFX_DLGINIT_RECORD>> AfxParseDlgInit(const BYTE* pData,
                                                               std::size_t nSize);

// The Win32 message for a record's message: the data keeps the 16-bit Windows numbers of the
// list and combo box "add string" messages.
UINT AfxDlgInitMessage(WORD nMsg);

// Sends each record's message to its control of hWnd. False when the data is malformed
// (nothing is sent then).
BOOL AfxExecuteDlgInit(HWND hWnd, const BYTE* pData, std::size_t nSize);

// Finds the initialisation data of the dialog template lpszTemplateName in hInstance and
// applies it to hWnd. True when there is none.
BOOL AfxExecuteDlgInit(HWND hWnd, HINSTANCE hInstance, LPCSTR lpszTemplateName);
