#include "dlg_init.h"

namespace {

// A little-endian number of the data.
template <class T> T ReadLE(const BYTE* pData)
{
    T nValue = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        nValue |= static_cast<T>(pData[i]) << (8 * i);
    return nValue;
}

}  // namespace

std::optional<std::vector<AFX_DLGINIT_RECORD>> AfxParseDlgInit(const BYTE* pData, std::size_t nSize)
{
    std::vector<AFX_DLGINIT_RECORD> records;
    std::size_t nAt = 0;
    for (;;) {
        if (nSize - nAt < 2)
            return std::nullopt;
        const WORD nIDC = ReadLE<WORD>(pData + nAt);
        if (nIDC == 0)
            return records;
        if (nSize - nAt < 8)
            return std::nullopt;
        const WORD nMsg = ReadLE<WORD>(pData + nAt + 2);
        const DWORD dwLength = ReadLE<DWORD>(pData + nAt + 4);
        nAt += 8;
        if (nSize - nAt < dwLength)
            return std::nullopt;
        records.push_back({nIDC, nMsg, std::vector<BYTE>(pData + nAt, pData + nAt + dwLength)});
        nAt += dwLength;
    }
}

UINT AfxDlgInitMessage(WORD nMsg)
{
    switch (nMsg) {
    case 0x0401:
        return LB_ADDSTRING;
    case 0x0403:
        return CB_ADDSTRING;
    default:
        return nMsg;
    }
}

BOOL AfxExecuteDlgInit(HWND hWnd, const BYTE* pData, std::size_t nSize)
{
    const auto records = AfxParseDlgInit(pData, nSize);
    if (!records)
        return FALSE;
    for (AFX_DLGINIT_RECORD record : *records) {
        // A string record carries its own NUL; one more behind the bytes keeps a record that
        // lacks it from being read past its end.
        record.data.push_back(0);
        ::SendDlgItemMessageA(hWnd, record.nIDC, AfxDlgInitMessage(record.nMsg), 0,
                              reinterpret_cast<LPARAM>(record.data.data()));
    }
    return TRUE;
}

BOOL AfxExecuteDlgInit(HWND hWnd, HINSTANCE hInstance, LPCSTR lpszTemplateName)
{
    HRSRC hResource = ::FindResourceA(hInstance, lpszTemplateName, RT_DLGINIT);
    if (!hResource)
        return TRUE;
    HGLOBAL hData = ::LoadResource(hInstance, hResource);
    const void* pData = hData ? ::LockResource(hData) : nullptr;
    if (!pData)
        return FALSE;
    return AfxExecuteDlgInit(hWnd, static_cast<const BYTE*>(pData),
                             ::SizeofResource(hInstance, hResource));
}
