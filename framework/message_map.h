#pragma once
// Static message maps: each class that handles messages keeps a constant table of entries
// (message, notification code, control id, handler) and a link to its base class's table.
// One lookup walks the tables from the most derived class to the root.
#include <windows.h>

#include <type_traits>

class CCmdTarget;

// Calls one handler on its object; the result is the message's result.
using AFX_PMSG = LRESULT (*)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message; 0 ends the table
    UINT nCode;     // WM_COMMAND: the notification code (BN_CLICKED, or 0 for a command)
    UINT nID;       // WM_COMMAND: the control or command id
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // null for the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// The entry of map (or of one of its base maps) for a message; null when none takes it.
// For WM_COMMAND, code and id must match too; for other messages they are ignored.
const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode,
                                            UINT nID);

// The root of every class with a message map.
class CCmdTarget {
public:
    CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;
    virtual ~CCmdTarget() = default;

    virtual const AFX_MSGMAP* GetMessageMap() const { return GetThisMessageMap(); }

protected:
    static const AFX_MSGMAP* GetThisMessageMap();
};

// Adapters from a message's parameters to a handler's signature, one per signature in use.
template <class> struct AfxMemberClass;
template <class R, class C, class... A> struct AfxMemberClass<R (C::*)(A...)> {
    using type = C;
};
template <auto F> using AfxClassOf = typename AfxMemberClass<decltype(F)>::type;

// void OnX(): commands, WM_PAINT.
template <auto F> LRESULT AfxCallVoid(CCmdTarget* pTarget, WPARAM, LPARAM)
{
    (static_cast<AfxClassOf<F>*>(pTarget)->*F)();
    return 0;
}

// void OnSysCommand(UINT nID, LPARAM lParam).
template <auto F> LRESULT AfxCallUIntLParam(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam)
{
    (static_cast<AfxClassOf<F>*>(pTarget)->*F)(static_cast<UINT>(wParam), lParam);
    return 0;
}

// HCURSOR OnQueryDragIcon(): the handle is the result.
template <auto F> LRESULT AfxCallHandle(CCmdTarget* pTarget, WPARAM, LPARAM)
{
    return reinterpret_cast<LRESULT>((static_cast<AfxClassOf<F>*>(pTarget)->*F)());
}

// In a class: declares its map and the accessor that returns it.
#define DECLARE_MESSAGE_MAP()                         \
protected:                                            \
    static const AFX_MSGMAP* GetThisMessageMap();     \
                                                      \
public:                                               \
    const AFX_MSGMAP* GetMessageMap() const override; \
                                                      \
private:

// In the class's source file: the entries go between these two.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                   \
    {                                                                                 \
        using ThisClass [[maybe_unused]] = theClass;                                  \
        using TheBaseClass = baseClass;                                               \
        static const AFX_MSGMAP_ENTRY messageEntries[] = {

#define END_MESSAGE_MAP()                                                                    \
    {                                                                                        \
        0, 0, 0, nullptr                                                                     \
    }                                                                                        \
    }                                                                                        \
    ;                                                                                        \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, messageEntries}; \
    return &messageMap;                                                                      \
    }

#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, (id), &AfxCallVoid<memberFxn>},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, (id), &AfxCallVoid<memberFxn>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, &AfxCallVoid<&ThisClass::OnPaint>},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, &AfxCallUIntLParam<&ThisClass::OnSysCommand>},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, &AfxCallHandle<&ThisClass::OnQueryDragIcon>},
