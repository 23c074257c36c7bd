#include "message_map.h"

namespace {

bool EntryMatches(const AFX_MSGMAP_ENTRY& rEntry, UINT nMessage, UINT nCode, UINT nID)
{
    if (rEntry.nMessage != nMessage)
        return false;
    return nMessage != WM_COMMAND || (rEntry.nCode == nCode && rEntry.nID == nID);
}

}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY messageEntries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP messageMap = {nullptr, messageEntries};
    return &messageMap;
}

const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode,
                                            UINT nID)
{
    for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->nMessage; ++pEntry) {
            if (EntryMatches(*pEntry, nMessage, nCode, nID))
                return pEntry;
        }
    }
    return nullptr;
}
