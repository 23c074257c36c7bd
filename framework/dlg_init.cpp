#include "dlg_init.h"

namespace {

template <class T> T read_le(const BYTE* p)
{
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<T>(p[i]) << (8 * i);
    return value;
}

}  // namespace

std::optional<std::vector<DlgInitRecord>> AfxParseDlgInit(const BYTE* pData, std::size_t nSize)
{
    std::vector<DlgInitRecord> records;
    std::size_t at = 0;
    for (;;) {
        if (nSize - at < 2)
            return std::nullopt;
        const WORD id = read_le<WORD>(pData + at);
        if (id == 0)
            return records;
        if (nSize - at < 8)
            return std::nullopt;
        const WORD msg = read_le<WORD>(pData + at + 2);
        const DWORD length = read_le<DWORD>(pData + at + 4);
        at += 8;
        if (nSize - at < length)
            return std::nullopt;
        records.push_back({id, msg, std::vector<BYTE>(pData + at, pData + at + length)});
        at += length;
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
    for (DlgInitRecord record : *records) {
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
