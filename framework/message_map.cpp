#include "message_map.h"

namespace {

bool matches(const AFX_MSGMAP_ENTRY& entry, UINT nMessage, UINT nCode, UINT nID)
{
    if (entry.nMessage != nMessage)
        return false;
    return nMessage != WM_COMMAND || (entry.nCode == nCode && entry.nID == nID);
}

}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode,
                                            UINT nID)
{
    for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = pMap->lpEntries; entry->nMessage; ++entry) {
            if (matches(*entry, nMessage, nCode, nID))
                return entry;
        }
    }
    return nullptr;
}
